#pragma once

#include <string>
#include <string_view>

#include "os/win32/WideText.h"

namespace kestrin::win32 {

// Windows speaks UTF-16 in wchar_t, the engine UTF-8 and the shared window code
// UTF-16 in char16_t.

using os::win32::Utf8;
using os::win32::Wide;

inline std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}
inline std::u16string Utf16(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace kestrin::win32
