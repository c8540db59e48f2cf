#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "os/Fault.h"

namespace kestrin::os::win32 {

/// UTF-8, which the rest of the program speaks, as Windows' UTF-16, and back.
std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

/// A path as the wide file functions take it: made absolute and given the long
/// form ("\\?\C:\...", "\\?\UNC\server\...") so that it may pass 260 characters.
/// A device ("\\.\NUL", "CON") stays as it is.
std::wstring SystemPath(const std::string& path);

/// The fault of a Windows error: the errno it amounts to where there is one, so
/// that the reason reads alike on every system, else Windows' own words.
Fault WindowsFault(DWORD error);
inline Fault LastFault() {
    return WindowsFault(GetLastError());
}

}  // namespace kestrin::os::win32
