#!/usr/bin/env bash
# Builds the Debian package with CPack, checks it with lintian (errors fail),
# installs it on this machine, runs what it installed, and removes it again.
#
# Usage: package_test.sh BUILD_DIR VERSION EXPECT_DESKTOP(0|1)
# Exit 77 (skipped) when not root, or when the package is installed already:
# this test never replaces or removes an install it did not make itself.
set -euo pipefail

build_dir=$1
version=$2
expect_desktop=$3
package=orvanasync
skipped=77

if [[ $(id -u) -ne 0 ]]; then
  echo "SKIP: installing a package needs root"
  exit $skipped
fi
for tool in cpack lintian dpkg-deb apt-get; do
  if ! command -v "$tool" >/dev/null; then
    echo "FAIL: $tool is missing: install the packages of scripts/packages.txt"
    exit 1
  fi
done
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed'; then
  echo "SKIP: $package is installed on this machine already; this test leaves it alone"
  exit $skipped
fi

# Another apt or dpkg run on this machine holds the lock for a while at most.
apt_get=(apt-get -y -o DPkg::Lock::Timeout=120)

scratch=$(mktemp -d)
installed_by_us=0
cleanup() {
  if [[ $installed_by_us -eq 1 ]]; then
    "${apt_get[@]}" purge "$package" >/dev/null 2>&1 || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

echo "== cpack"
cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" 2>&1 || {
  cat "$scratch/cpack.log"
  fail "cpack failed"
  exit 1
}
deb=("$scratch"/*.deb)
[[ ${#deb[@]} -eq 1 && -f ${deb[0]} ]] || { fail "cpack made no single .deb: ${deb[*]}"; exit 1; }
deb=${deb[0]}
arch=$(dpkg --print-architecture)
[[ $(basename "$deb") == "${package}_${version}-1_${arch}.deb" ]] || fail "package file named $(basename "$deb")"

echo "== control fields"
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == "$package" ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version-1" ]] || fail "Version: $(field Version), the project is at $version"
[[ $(field Architecture) == "$arch" ]] || fail "Architecture: $(field Architecture) on $arch"
[[ $(field Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
depends=$(field Depends)
for library in libc6 libqt6core6 libqt6network6 libxml2 libtag1v5 libplist3; do
  [[ $depends == *"$library "* || $depends == *"$library," || $depends == *"$library" ]] ||
    fail "Depends lacks $library (computed from the program's libraries): $depends"
done
recommends=$(field Recommends)
for helper in gvfs-backends gvfs-fuse cifs-utils avahi-daemon; do
  [[ $recommends == *"$helper"* ]] || fail "Recommends lacks $helper: $recommends"
done

echo "== contents"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$scratch/contents"
expected=(
  /usr/bin/orvanasync-cli
  /usr/share/man/man1/orvanasync-cli.1.gz
  /usr/share/bash-completion/completions/orvanasync-cli
  /usr/lib/systemd/user/orvanasync-sync.service
  /usr/lib/systemd/user/orvanasync-sync.timer
  /usr/share/doc/orvanasync/copyright
  /usr/share/doc/orvanasync/changelog.Debian.gz
)
desktop=(
  /usr/bin/orvanasync
  /usr/share/man/man1/orvanasync.1.gz
  /usr/share/applications/orvanasync.desktop
  /usr/share/metainfo/org.orvanasync.OrvanaSync.metainfo.xml
  /usr/share/icons/hicolor/scalable/apps/orvanasync.svg
)
if [[ $expect_desktop -eq 1 ]]; then
  expected+=("${desktop[@]}")
else
  for path in "${desktop[@]}"; do
    grep -qx "$path" "$scratch/contents" && fail "$path is packaged, but the desktop program is not built"
  done
fi
for path in "${expected[@]}"; do
  grep -qx "$path" "$scratch/contents" || fail "the package lacks $path"
done
if grep -i 'simulator' "$scratch/contents"; then
  fail "a development tool is packaged"
fi

echo "== lintian"
# Errors fail; warnings and notes are printed for the record. lintian leaves
# a database file in its temporary folder on every run: the scratch folder.
TMPDIR="$scratch" lintian --display-info --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1 || true
grep -v -e '^running with root privileges' "$scratch/lintian.log" || true
if grep -q '^E: ' "$scratch/lintian.log"; then
  fail "lintian reports errors"
fi

echo "== install"
"${apt_get[@]}" install --no-install-recommends "$deb" >"$scratch/install.log" 2>&1 || {
  cat "$scratch/install.log"
  fail "apt-get install failed"
  exit 1
}
installed_by_us=1
dpkg-query -L "$package" >"$scratch/installed"

echo "== run"
# A home of its own: nothing of this machine's user is read.
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home/.config
mkdir -p "$HOME"
cli_path=$(command -v orvanasync-cli || true)
[[ $cli_path == /usr/bin/orvanasync-cli ]] || fail "orvanasync-cli is found at '$cli_path'"
shown_version=$(/usr/bin/orvanasync-cli --version)
[[ $shown_version == *"$version"* ]] || fail "orvanasync-cli --version says '$shown_version'"
/usr/bin/orvanasync-cli --help >"$scratch/help" || fail "orvanasync-cli --help failed"
if [[ $expect_desktop -eq 1 ]]; then
  shown_version=$(QT_QPA_PLATFORM=offscreen /usr/bin/orvanasync --version 2>/dev/null)
  [[ $shown_version == *"$version"* ]] || fail "orvanasync --version says '$shown_version'"
fi
grep -q 'sync' "$scratch/help" || fail "orvanasync-cli --help does not mention sync"
units_check=(python3 "$(dirname "$0")/check_units.py" /usr/lib/systemd/user)
if [[ -f /usr/share/man/man1/orvanasync-cli.1.gz ]]; then
  man -w orvanasync-cli >/dev/null 2>&1 || fail "man does not find orvanasync-cli(1)"
else
  # Minimal images tell dpkg to leave manual pages out (dpkg.cfg.d path-exclude).
  grep -qx /usr/share/man/man1/orvanasync-cli.1.gz "$scratch/contents" || fail "no manual page packaged"
  echo "note: this machine's dpkg does not install manual pages"
  units_check+=(--no-man)
fi
bash -c 'source /usr/share/bash-completion/bash_completion
  __load_completion orvanasync-cli && complete -p orvanasync-cli' >/dev/null 2>&1 ||
  fail "bash-completion does not load the installed completion"
"${units_check[@]}" || fail "the installed units do not verify"

echo "== remove"
"${apt_get[@]}" purge "$package" >"$scratch/remove.log" 2>&1 || {
  cat "$scratch/remove.log"
  fail "apt-get purge failed"
}
installed_by_us=0
while read -r path; do
  [[ -f $path || -L $path ]] && fail "$path is left after removal"
done <"$scratch/installed"

if [[ $failures -gt 0 ]]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "package $(basename "$deb") built, checked, installed, run and removed"
