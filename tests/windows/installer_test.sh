#!/usr/bin/env bash
# Packs the Windows build with cpack, an installer (NSIS) and a ZIP, and uses both
# as a user would, under wine: the installer installs silently into a folder of
# its own, where kestrin-cut runs and says its version (and kestrin.exe is, when
# the build has the window), with its folder on PATH; the uninstaller takes it all
# away again, PATH's entry and the registry's keys too; the ZIP holds the same
# files, and its kestrin-cut runs too. The licence page shows the MIT licence, and
# kestrin-cut.exe carries its version and manifest.
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

# wine sees this machine's / as the drive Z:. /D= must come last, unquoted.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
installed=$work/installed
# A run that failed before its uninstaller leaves the installation registered in
# the prefix, where the next installer would try to remove it first: gone now.
if [ -f "$installed/Uninstall.exe" ]; then
    "${run[@]}" "$installed/Uninstall.exe" /S "_?=$(windows_path "$installed")" || true
fi
rm -rf "$work"
mkdir -p "$work"
(cd "$work" && cpack -G "NSIS;ZIP" --config "$build/CPackConfig.cmake" -B "$work/package" \
    >cpack.log 2>&1) || fail "cpack failed: $(cat "$work/cpack.log")"
package=$work/package/kestrin-$version-win64

# The licence page's text is the licence itself, not the copyright file's fields.
licence=$(sed -n 's/^ *!insertmacro MUI_PAGE_LICENSE "\(.*\)"/\1/p' \
    "$work/package/_CPack_Packages/win64/NSIS/project.nsi")
[ -f "$licence" ] || fail "the installer has no licence page"
head -n 1 "$licence" | grep -qx 'MIT License' || fail "the licence page begins: $(head -n 1 "$licence")"
grep -q 'Permission is hereby granted' "$licence" || fail "the licence page lacks the MIT terms"
! grep -qE '^(Format|Files|License):|^ \.$' "$licence" || fail "the licence page shows the copyright file's fields"

# The exe's resources: its manifest (long paths, UTF-8 as the ANSI code page) and
# its version, whose strings are UTF-16.
exe=$build/cli/kestrin-cut.exe
grep -q '<longPathAware[^>]*>true</longPathAware>' "$exe" || fail "kestrin-cut.exe is not long path aware"
grep -q '<activeCodePage[^>]*>UTF-8</activeCodePage>' "$exe" || fail "kestrin-cut.exe has no UTF-8 code page"
for text in "kestrin-cut.exe" "$version"; do
    strings -n 3 -el "$exe" | grep -qxF "$text" || fail "kestrin-cut.exe's version resource lacks $text"
done

# PATH as a new console has it: the system's, which the installer adds to.
environment='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
system_path() { "${run[@]}" reg query "$environment" /v PATH 2>/dev/null | tr -d '\r' | grep -i ' PATH '; }
vendor_key() { "${run[@]}" reg query 'HKLM\Software\The Kestrin developers' >/dev/null 2>&1; }

# kestrin-cut of a folder runs and tells the version.
runs() {
    local said
    said=$("${run[@]}" "$1/bin/kestrin-cut.exe" --version) || fail "$1/bin/kestrin-cut.exe does not run"
    [[ $said == *" $version"* ]] || fail "$1/bin/kestrin-cut.exe says '$said', not version $version"
}

"${run[@]}" "$package.exe" /S "/D=$(windows_path "$installed")" || fail "the installer failed"
for file in "${files[@]}"; do
    [ -s "$installed/$file" ] || fail "the installer left out $file"
done
runs "$installed"
bin=$(windows_path "$installed/bin")
system_path | grep -qiF "$bin" || fail "the installer left kestrin-cut off PATH: $(system_path)"
vendor_key || fail "the installer wrote no key of its own"
# _?= runs the uninstaller where it is, waiting for it, instead of a copy of it.
"${run[@]}" "$installed/Uninstall.exe" /S "_?=$(windows_path "$installed")" ||
    fail "the uninstaller failed"
for file in "${files[@]}"; do
    [ ! -e "$installed/$file" ] || fail "the uninstaller left $file"
done
! system_path | grep -qiF "$bin" || fail "the uninstaller left kestrin-cut on PATH"
! vendor_key || fail "the uninstaller left HKLM\\Software\\The Kestrin developers"

mkdir "$work/unzipped"
(cd "$work/unzipped" && cmake -E tar xf "$package.zip") || fail "the ZIP does not unpack"
for file in "${files[@]}"; do
    [ -s "$work/unzipped/kestrin-$version-win64/$file" ] || fail "the ZIP leaves out $file"
done
runs "$work/unzipped/kestrin-$version-win64"
echo "installer test: installed, ran and uninstalled ${#files[@]} files and PATH's entry; the ZIP holds them too"
