#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrin::os {

/// UTF-8's number among Windows' code pages.
inline constexpr unsigned kUtf8CodePage = 65001;

/// What a code page's name stands for, alike on every system: the Windows code
/// page, and the name of ICU's converter for it.
struct CodePageName {
    unsigned number;
    std::string converter;
};

/// The names both builds take, in any case: "CP", "windows-" or "IBM-" and the
/// number of a Windows code page, and the usual names of the table in the README
/// ("UTF-8", "Shift_JIS", "EUC-KR", "ISO-8859-2", ...), each the Windows code page
/// that holds it. Nothing for any other name, which only ICU may know.
std::optional<CodePageName> FindCodePageName(std::string_view name);

}  // namespace kestrin::os
