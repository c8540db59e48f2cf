#!/usr/bin/env bash
# Packs the Windows build with cpack, an installer (NSIS) and a ZIP, and uses both
# as a user would, under wine: the installer installs silently into a folder of
# its own, where kestrin-cut runs and says its version (and kestrin.exe is, when
# the build has the window), and the uninstaller takes it all away again; the ZIP
# holds the same files, and its kestrin-cut runs too.
# usage: installer_test.sh BUILD_DIR WORK_DIR VERSION HAS_WINDOW RUNNER...
# RUNNER... runs a Windows program (scripts/wine-run.sh and its prefix).
set -euo pipefail
build=$1
work=$2
version=$3
window=$4
shift 4
run=("$@")

fail() { echo "installer test: $*" >&2; exit 1; }

files=(bin/kestrin-cut.exe README.md copyright.txt third-party-notices.txt)
[ "$window" = 1 ] && files+=(bin/kestrin.exe)

rm -rf "$work"
mkdir -p "$work"
(cd "$work" && cpack -G "NSIS;ZIP" --config "$build/CPackConfig.cmake" -B "$work/package" \
    >cpack.log 2>&1) || fail "cpack failed: $(cat "$work/cpack.log")"
package=$work/package/kestrin-$version-win64

# kestrin-cut of a folder runs and tells the version.
runs() {
    local said
    said=$("${run[@]}" "$1/bin/kestrin-cut.exe" --version) || fail "$1/bin/kestrin-cut.exe does not run"
    [[ $said == *" $version"* ]] || fail "$1/bin/kestrin-cut.exe says '$said', not version $version"
}

# wine sees this machine's / as the drive Z:. /D= must come last, unquoted.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
installed=$work/installed
"${run[@]}" "$package.exe" /S "/D=$(windows_path "$installed")" || fail "the installer failed"
for file in "${files[@]}"; do
    [ -s "$installed/$file" ] || fail "the installer left out $file"
done
runs "$installed"
# _?= runs the uninstaller where it is, waiting for it, instead of a copy of it.
"${run[@]}" "$installed/Uninstall.exe" /S "_?=$(windows_path "$installed")" ||
    fail "the uninstaller failed"
for file in "${files[@]}"; do
    [ ! -e "$installed/$file" ] || fail "the uninstaller left $file"
done

mkdir "$work/unzipped"
(cd "$work/unzipped" && cmake -E tar xf "$package.zip") || fail "the ZIP does not unpack"
for file in "${files[@]}"; do
    [ -s "$work/unzipped/kestrin-$version-win64/$file" ] || fail "the ZIP leaves out $file"
done
runs "$work/unzipped/kestrin-$version-win64"
echo "installer test: installed, ran and uninstalled ${#files[@]} files; the ZIP holds them too"
