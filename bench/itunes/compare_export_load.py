#!/usr/bin/env python3
"""Loads one generated 100,000-track / 200-playlist library export with the
music source and with python3's plistlib, in the same run, and prints the
times, the ratio and the peak memory of our load.

usage: bench/itunes/compare_export_load.py <build dir>/bench/itunes/itunes_benchmarks
"""
import os
import subprocess
import sys
import tempfile
import time

RUNS = 3


def timed(argv):
    """Wall seconds and peak resident megabytes of one child process."""
    start = time.monotonic()
    proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.monotonic() - start
    output = proc.stdout.read().decode().strip()
    proc.stdout.close()
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(argv)}")
    return elapsed, usage.ru_maxrss / 1024.0, output


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
            wall, peak, output = timed([bench, f"--load-export={export}"])
            inner = float(output.split()[0])
            ours.append((wall, inner, peak))
            wall, _, _ = timed([sys.executable, "-c", f"import plistlib; plistlib.load(open({export!r}, 'rb'))"])
            python.append(wall)
        best_wall, best_inner, _ = min(ours)
        peak = max(p for _, _, p in ours)
        best_python = min(python)
        print(f"export file: {size_mb:.1f} MB")
        print(f"music source load: {best_inner:.3f} s inside, {best_wall:.3f} s with process start, peak {peak:.0f} MB")
        print(f"python3 plistlib.load: {best_python:.3f} s")
        print(f"ratio (ours with process start / plistlib): {best_wall / best_python:.2f}")


if __name__ == "__main__":
    main()
