# Builds for 64-bit Windows with Debian's mingw-w64 and runs what it builds under
# wine. scripts/windows-setup.sh installs the compilers and wine and builds the
# libraries Debian has no mingw build of into .windows-sysroot/; then
#   cmake -S . -B build-windows -G Ninja --toolchain cmake/mingw-w64.cmake
# KESTRIN_WINDOWS_SYSROOT names another sysroot.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix thread model: GCC 12's default win32 one has no std::thread.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

get_filename_component(_kestrinRoot "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(KESTRIN_WINDOWS_SYSROOT "${_kestrinRoot}/.windows-sysroot" CACHE PATH
    "The libraries built for Windows by scripts/windows-setup.sh")

# Headers, libraries and packages come from the sysroot, then from Debian's mingw
# tree (the C runtime, the Windows API, zlib), never from the build machine;
# programs, from the build machine.
set(CMAKE_FIND_ROOT_PATH "${KESTRIN_WINDOWS_SYSROOT}" /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The same for pkg-config, which knows nothing of the find root: only the sysroot's
# and the mingw tree's .pc files, none of the build machine's.
set(ENV{PKG_CONFIG_LIBDIR}
    "${KESTRIN_WINDOWS_SYSROOT}/lib/pkgconfig:/usr/x86_64-w64-mingw32/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# A Windows program built here should start on any Windows from its folder alone:
# the C++ runtime, winpthreads and every library linked in, no mingw DLL beside it.
# The sysroot holds static libraries only; Debian's zlib has an import library
# too, which the search would take first.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)
set(ZLIB_USE_STATIC_LIBS ON)

# ctest, GoogleTest's test discovery and try_run start the programs through wine,
# with a prefix of the build tree's own. Cached, so that it names the build tree
# and not the scratch project of a try_run.
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${_kestrinRoot}/scripts/wine-run.sh;--prefix;${CMAKE_BINARY_DIR}/wine-prefix"
    CACHE STRING "Runs the programs built here: wine, in a prefix of this build tree")
