#!/usr/bin/env bash
# Makes this Debian machine build Kestrin for 64-bit Windows and run it under wine:
# installs the cross compilers, wine and nsis, then builds the libraries Debian
# ships no mingw build of (ISA-L, zstd, xz, bzip2, lz4, libarchive, libpsl, GoogleTest) from
# Debian's own source packages into a sysroot kept once per machine, outside any
# clone (in ~/.cache/kestrin, or $KESTRIN_CACHE_DIR), named by what it was built
# from; .windows-sysroot in the clone links to it, and cmake/mingw-w64.cmake
# searches it first.
#
# Idempotent: when the packages are installed and a sysroot was built by this very
# recipe with this compiler, a fresh clone links to it and takes a moment. Anything
# else builds a new sysroot from scratch, so that none ever mixes libraries built by
# two versions of the recipe. Two clones setting up at once take turns.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

packages=(
    # the posix thread model: GCC 12's win32 one has no std::thread
    gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
    binutils-mingw-w64-x86-64
    # zlib is the one compression library Debian builds for mingw
    libz-mingw-w64-dev
    # running the programs and tests, and packing the installer; wine's own fonts
    # for the window's standard controls
    wine wine64 fonts-wine nsis
    # building the libraries below from Debian's source packages
    dpkg-dev cmake ninja-build make pkg-config xz-utils gzip
    # ISA-L's own build: its assembly is yasm's for Windows
    autoconf automake libtool yasm
    # libpsl's built-in list: Debian's Public Suffix List, made into libpsl's
    # table by its own Python script
    publicsuffix python3
)

cache=${KESTRIN_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/kestrin}
host=x86_64-w64-mingw32
cc=$host-gcc-posix
cxx=$host-g++-posix
deb_src_list=/etc/apt/sources.list.d/kestrin-windows-deb-src.sources
# The source packages, by their Debian names, in the order they are built: each
# library after the ones it links.
sources=(libisal libzstd xz-utils bzip2 lz4 libarchive libpsl googletest)

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$' ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "windows-setup: installing ${missing[*]}" >&2
    "${as_root[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

# What the sysroot is built from, which names it: a change of any of these builds
# another.
recipe="recipe $(cat scripts/windows-setup.sh cmake/mingw-w64.cmake scripts/wine-run.sh |
    sha256sum | cut -c1-16)"
recipe+=" g++ $(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix)"
sysroot=$cache/windows-sysroot-$(echo "$recipe" | sha256sum | cut -c1-16)
stamp=$sysroot/.built-by

# The link the toolchain file follows, made whether the sysroot is built now or was
# built before.
link_sysroot() {
    ln -sfn "$sysroot" "$root/.windows-sysroot"
}
mkdir -p "$cache"
exec 9>"$cache/windows-sysroot.lock"
flock 9
if [ -f "$stamp" ] && [ "$(head -n1 "$stamp")" = "$recipe" ]; then
    link_sysroot
    exit 0
fi
# A clone from before the sysroot was shared kept it in a folder of its own.
[ -L "$root/.windows-sysroot" ] || rm -rf "$root/.windows-sysroot"

started=$(date +%s)
jobs=$(nproc)
scratch=$sysroot.scratch
rm -rf "$sysroot" "$scratch"
mkdir -p "$sysroot/include" "$sysroot/lib/pkgconfig" "$scratch"
log=$scratch/log

building() {
    echo "windows-setup: [$(($(date +%s) - started)) s] building $*" >&2
}

# Runs a step quietly, its output kept in the log; a failure shows the log's end.
quietly() {
    if ! "$@" >>"$log" 2>&1; then
        tail -n 40 "$log" >&2
        echo "windows-setup: failed: $*" >&2
        echo "windows-setup: the whole log is $log" >&2
        exit 1
    fi
}

# apt-get source needs deb-src entries: the same archives as the machine's own.
if [ -z "$(apt-cache showsrc libarchive 2>/dev/null)" ]; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
            "${as_root[@]}" tee "$deb_src_list" >/dev/null
    else
        grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
            "${as_root[@]}" tee "${deb_src_list%.sources}.list" >/dev/null
    fi
    echo "windows-setup: added Debian's source archives to apt" >&2
    "${as_root[@]}" apt-get update -qq
fi

# Debian versions, newest first.
newest_first() {
    local versions=() newest version
    mapfile -t versions
    while [ ${#versions[@]} -gt 0 ]; do
        newest=${versions[0]}
        for version in "${versions[@]}"; do
            dpkg --compare-versions "$version" gt "$newest" && newest=$version
        done
        echo "$newest"
        local rest=()
        for version in "${versions[@]}"; do
            [ "$version" = "$newest" ] || rest+=("$version")
        done
        versions=("${rest[@]}")
    done
}

# The newest version the archives offer; when its files cannot be had (a mirror
# that lags behind the security archive's index, say), the one before it.
fetch_source() {
    local package=$1 version
    for version in $(apt-cache showsrc "$package" | sed -n 's/^Version: //p' | newest_first); do
        if (cd "$scratch" && apt-get source -qq "$package=$version") >>"$log" 2>&1; then
            echo "$package $version" >>"$scratch/versions"
            return
        fi
        echo "windows-setup: the source of $package $version could not be fetched;" \
            "trying an older one" >&2
    done
    tail -n 20 "$log" >&2
    echo "windows-setup: no source of $package could be fetched" >&2
    exit 1
}
: >"$scratch/versions"
for package in "${sources[@]}"; do
    fetch_source "$package"
done
source_dir() {
    local version
    version=$(sed -n "s/^$1 //p" "$scratch/versions")
    version=${version#*:}
    echo "$scratch/$1-${version%-*}"
}

# The libraries' checks that run a program (libarchive's of zlib's calling
# convention) share one wine prefix, whose server goes with the scratch folder.
wine_prefix=$scratch/wine-prefix
stop_wine() {
    if [ -d "$wine_prefix" ]; then
        WINEPREFIX=$wine_prefix wineserver -k 2>/dev/null || true
        WINEPREFIX=$wine_prefix wineserver -w 2>/dev/null || true
    fi
}
trap stop_wine EXIT

cmake_library() {
    local name=$1 source=$2
    shift 2
    quietly cmake -S "$source" -B "$scratch/build-$name" -G Ninja \
        --toolchain "$root/cmake/mingw-w64.cmake" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine-run.sh;--prefix;$wine_prefix" \
        -DKESTRIN_WINDOWS_SYSROOT="$sysroot" -DCMAKE_INSTALL_PREFIX="$sysroot" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF "$@"
}

# ISA-L: the gzip reader's inflate, its own build system, which writes libisal.pc.
building libisal
(
    cd "$(source_dir libisal)"
    quietly ./autogen.sh
    quietly ./configure --host=$host CC=$cc --prefix="$sysroot" --disable-shared --enable-static
    quietly make -j "$jobs"
    quietly make install
    rm -f "$sysroot/lib/libisal.la" "$sysroot/bin/igzip.exe"
)

# zstd
building zstd
cmake_library zstd "$(source_dir libzstd)/build/cmake" \
    -DZSTD_BUILD_SHARED=OFF -DZSTD_BUILD_STATIC=ON -DZSTD_BUILD_PROGRAMS=OFF \
    -DZSTD_BUILD_TESTS=OFF
quietly cmake --build "$scratch/build-zstd" -j "$jobs"
quietly cmake --install "$scratch/build-zstd"

# xz: its own build system, the one that writes liblzma.pc.
building liblzma
(
    cd "$(source_dir xz-utils)"
    quietly ./configure --host=$host CC=$cc --prefix="$sysroot" --disable-shared --enable-static \
        --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo --disable-lzma-links \
        --disable-scripts --disable-doc --disable-nls
    quietly make -j "$jobs"
    quietly make install
    rm -f "$sysroot/lib/liblzma.la"
)

# bzip2: a plain Makefile, which installs nothing for Windows and writes no .pc.
building libbz2
bzip2_version=$(sed -n 's/^bzip2 \([0-9.]*\).*/\1/p' "$scratch/versions")
(
    cd "$(source_dir bzip2)"
    quietly make -j "$jobs" libbz2.a CC=$cc AR=$host-ar RANLIB=$host-ranlib \
        CFLAGS="-O2 -D_FILE_OFFSET_BITS=64"
    install -m 644 bzlib.h "$sysroot/include/"
    install -m 644 libbz2.a "$sysroot/lib/"
)
cat >"$sysroot/lib/pkgconfig/bzip2.pc" <<PC
prefix=$sysroot
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: bzip2
Description: Lossless, block-sorting data compression library
Version: $bzip2_version
Libs: -L\${libdir} -lbz2
Cflags: -I\${includedir}
PC

# lz4
building liblz4
cmake_library lz4 "$(source_dir lz4)/build/cmake" \
    -DBUILD_STATIC_LIBS=ON -DLZ4_BUILD_CLI=OFF -DLZ4_BUILD_LEGACY_LZ4C=OFF
quietly cmake --build "$scratch/build-lz4" -j "$jobs"
quietly cmake --install "$scratch/build-lz4"

# libarchive: reading tar and zip, with every compression above and nothing else.
# Its CMake build makes a DLL beside the static library and installs both, the
# static one as libarchive_static.a, which no lookup finds: only the static one is
# built.
building libarchive
cmake_library libarchive "$(source_dir libarchive)" \
    -DENABLE_ZLIB=ON -DENABLE_BZip2=ON -DENABLE_LZMA=ON -DENABLE_LZ4=ON -DENABLE_ZSTD=ON \
    -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF -DENABLE_NETTLE=OFF -DENABLE_CNG=OFF \
    -DENABLE_LIBB2=OFF -DENABLE_LZO=OFF -DENABLE_LIBXML2=OFF -DENABLE_EXPAT=OFF \
    -DENABLE_PCREPOSIX=OFF -DENABLE_LIBGCC=OFF -DENABLE_ICONV=OFF -DENABLE_ACL=OFF \
    -DENABLE_XATTR=OFF -DENABLE_TAR=OFF -DENABLE_CPIO=OFF -DENABLE_CAT=OFF \
    -DENABLE_TEST=OFF -DENABLE_WERROR=OFF -DPOSIX_REGEX_LIB=NONE
# A compression library not found is left out without a word: make it one.
for feature in HAVE_ZLIB_H HAVE_BZLIB_H HAVE_LIBBZ2 HAVE_LZMA_H HAVE_LIBLZMA HAVE_LZ4_H \
    HAVE_LIBLZ4 HAVE_ZSTD_H HAVE_LIBZSTD; do
    grep -q "^#define $feature 1" "$scratch/build-libarchive/config.h" || {
        echo "windows-setup: libarchive was configured without $feature" >&2
        exit 1
    }
done
quietly cmake --build "$scratch/build-libarchive" -j "$jobs" --target archive_static
(
    source=$(source_dir libarchive)
    install -m 644 "$source/libarchive/archive.h" "$source/libarchive/archive_entry.h" \
        "$sysroot/include/"
    install -m 644 "$scratch/build-libarchive/libarchive/libarchive_static.a" "$sysroot/lib/"
    install -m 644 "$scratch/build-libarchive/build/pkgconfig/libarchive.pc" \
        "$sysroot/lib/pkgconfig/"
)
# A static library does not carry the libraries it needs, and a program that calls
# zlib, liblzma and the others itself may name them before libarchive (the engine
# does): the linker, reading each archive once and in order, would then leave
# libarchive's own calls into them unresolved. So libarchive.a is a linker script,
# as glibc's libc.so is: libarchive and the libraries it calls, searched as a group
# wherever libarchive is named.
zlib=$(realpath "$("$cc" -print-file-name=libz.a)")
cat >"$sysroot/lib/libarchive.a" <<SCRIPT
/* libarchive and the libraries it calls (written by scripts/windows-setup.sh) */
GROUP ( "$sysroot/lib/libarchive_static.a" "$sysroot/lib/libzstd.a" "$sysroot/lib/liblz4.a"
        "$sysroot/lib/liblzma.a" "$sysroot/lib/libbz2.a" "$zlib" )
SCRIPT

# libpsl: two C files and the list made into a table they include, built as
# Debian builds it but for the IDNA library, which it goes without: the built-in
# table holds the list's names in UTF-8 as well as in punycode, and --group site
# looks up names lower-cased already. No distribution file: Windows has none.
building libpsl
psl_version=$(sed -n 's/^libpsl \([0-9.]*\).*/\1/p' "$scratch/versions")
(
    source=$(source_dir libpsl)
    build=$scratch/build-libpsl
    mkdir -p "$build"
    IFS=. read -r major minor patch <<<"$psl_version"
    sed -e "s/@LIBPSL_VERSION@/$psl_version/" -e "s/@LIBPSL_VERSION_MAJOR@/$major/" \
        -e "s/@LIBPSL_VERSION_MINOR@/$minor/" -e "s/@LIBPSL_VERSION_PATCH@/$patch/" \
        -e "s/@LIBPSL_VERSION_NUMBER@/$(printf '0x%02x%02x%02x' "$major" "$minor" "$patch")/" \
        "$source/include/libpsl.h.in" >"$sysroot/include/libpsl.h"
    quietly /usr/bin/python3 "$source/src/psl-make-dafsa" --output-format=cxx+ \
        /usr/share/publicsuffix/public_suffix_list.dat "$build/suffixes_dafsa.h"
    for file in psl lookup_string_in_fixed_set; do
        quietly $cc -O2 -DENABLE_BUILTIN -DPSL_STATIC -DBUILDING_PSL \
            -DPACKAGE_VERSION="\"$psl_version\"" -DPSL_DISTFILE='""' -I"$build" \
            -I"$sysroot/include" -c "$source/src/$file.c" -o "$build/$file.o"
    done
    quietly $host-ar rcs "$sysroot/lib/libpsl.a" "$build/psl.o" "$build/lookup_string_in_fixed_set.o"
)
# psl.c tells an IP address by Winsock's parser.
cat >"$sysroot/lib/pkgconfig/libpsl.pc" <<PC
prefix=$sysroot
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: libpsl
Description: Public Suffix List C library
Version: $psl_version
Libs: -L\${libdir} -lpsl -lws2_32
Cflags: -I\${includedir} -DPSL_STATIC
PC

# GoogleTest and GoogleMock
building GoogleTest
cmake_library googletest "$(source_dir googletest)" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
quietly cmake --build "$scratch/build-googletest" -j "$jobs"
quietly cmake --install "$scratch/build-googletest"

# lz4 installs its manual page even without its program, and xz leaves an empty bin/.
rm -rf "$sysroot/share"
find "$sysroot" -type d -empty -delete
{
    echo "$recipe"
    sed 's/^/source: /' "$scratch/versions"
} >"$stamp"
stop_wine
rm -rf "$scratch"
link_sysroot
echo "windows-setup: built the Windows libraries in $(($(date +%s) - started)) s into $sysroot" >&2
