#!/usr/bin/env python3
"""Loads one generated 100,000-track / 200-playlist library export with the
music source and with python3's plistlib, in the same run, and prints the
times (wall and CPU, the machine may be shared), the ratio and the peak
memory of our load.

usage: bench/itunes/compare_export_load.py <build dir>/bench/itunes/itunes_benchmarks
"""
import os
import subprocess
import sys
import tempfile
import time

RUNS = 3


def timed(argv):
    """Wall seconds, CPU seconds and peak resident megabytes of one child process."""
    start = time.monotonic()
    proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.monotonic() - start
    output = proc.stdout.read().decode().strip()
    proc.stdout.close()
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(argv)}")
    return elapsed, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0, output


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    bench = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        export = os.path.join(folder, "iTunes Music Library.xml")
        subprocess.run([bench, f"--write-export={export}"], check=True)
        size_mb = os.path.getsize(export) / 1e6
        ours, python = [], []
        for _ in range(RUNS):
            wall, cpu, peak, output = timed([bench, f"--load-export={export}"])
            inner = float(output.split()[0])
            ours.append((wall, inner, cpu, peak))
            wall, cpu, _, _ = timed([sys.executable, "-c", f"import plistlib; plistlib.load(open({export!r}, 'rb'))"])
            python.append((wall, cpu))
        best_wall, best_inner, _, _ = min(ours)
        best_cpu = min(cpu for _, _, cpu, _ in ours)
        peak = max(p for _, _, _, p in ours)
        best_python, best_python_cpu = min(python)[0], min(cpu for _, cpu in python)
        print(f"export file: {size_mb:.1f} MB")
        print(f"music source load: {best_inner:.3f} s inside, {best_wall:.3f} s with process start "
              f"({best_cpu:.3f} s CPU), peak {peak:.0f} MB")
        print(f"python3 plistlib.load: {best_python:.3f} s ({best_python_cpu:.3f} s CPU)")
        print(f"ratio (ours with process start / plistlib): {best_wall / best_python:.2f}, "
              f"CPU {best_cpu / best_python_cpu:.2f}")


if __name__ == "__main__":
    main()
