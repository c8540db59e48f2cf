#!/usr/bin/env bash
# Installs the build into a staging root and packs it as a Debian package, then
# checks both as a desktop would: the desktop entry and the AppStream metadata pass
# their validators, the package holds every installed file, depends on the
# libraries the programs link and recommends the window's font, lintian finds no
# error or warning in it, and its kestrin-cut runs.
# usage: install_test.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1
work=$2

fail() { echo "install test: $*" >&2; exit 1; }
for tool in desktop-file-validate appstreamcli dpkg-deb dpkg-shlibdeps lintian; do
    command -v "$tool" >/dev/null || fail "$tool is missing: run scripts/setup.sh"
done

id=org.kestrin.Kestrin
files=(usr/bin/kestrin usr/bin/kestrin-cut
    usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml
    usr/share/icons/hicolor/scalable/apps/$id.svg
    usr/share/man/man1/kestrin.1.gz usr/share/man/man1/kestrin-cut.1.gz
    usr/share/doc/kestrin/copyright usr/share/doc/kestrin/changelog.gz)
for size in 16 32 48 64 128 256; do
    files+=("usr/share/icons/hicolor/${size}x$size/apps/$id.png")
done

rm -rf "$work"
mkdir -p "$work"
DESTDIR="$work/root" cmake --install "$build" --prefix /usr >"$work/install.log" ||
    fail "cmake --install failed: $(cat "$work/install.log")"
for file in "${files[@]}"; do
    [ -s "$work/root/$file" ] || fail "cmake --install left out $file"
done
desktop-file-validate "$work/root/usr/share/applications/$id.desktop" ||
    fail "the desktop entry is not valid"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/$id.metainfo.xml" ||
    fail "the AppStream metadata is not valid"

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >cpack.log) ||
    fail "cpack failed: $(cat "$work/cpack.log")"
deb=("$work"/deb/kestrin_*.deb)
[ -f "${deb[0]}" ] || fail "cpack made no package kestrin"
dpkg-deb -c "${deb[0]}" >"$work/contents"
for file in "${files[@]}"; do
    grep -q " \./$file\$" "$work/contents" || fail "the package leaves out $file"
done
depends=$(dpkg-deb -f "${deb[0]}" Depends)
[[ $depends == *libqt6widgets6* && $depends == *libicu* ]] ||
    fail "the package depends on '$depends', not on Qt and ICU"
# libarchive and libpsl are loaded as the programs run, so that no reading of
# them finds them: the package names them itself.
[[ $depends == *libarchive13* && $depends == *libpsl5* ]] ||
    fail "the package depends on '$depends', not on the libraries the engine loads"
recommends=$(dpkg-deb -f "${deb[0]}" Recommends)
[[ $recommends == *fonts-ipafont-gothic* ]] ||
    fail "the package recommends '$recommends', not the window's font fonts-ipafont-gothic"
# Info and pedantic tags are advice; errors and warnings are Debian's rules broken.
lintian --fail-on error,warning "${deb[0]}" >"$work/lintian.log" 2>&1 ||
    fail "lintian finds errors or warnings in the package: $(cat "$work/lintian.log")"
dpkg-deb -x "${deb[0]}" "$work/unpacked"
"$work/unpacked/usr/bin/kestrin-cut" --version >"$work/version" ||
    fail "kestrin-cut from the package does not run"
echo "install test: $(cat "$work/version"), ${#files[@]} files installed and packed"
