#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrin::os::win32 {

/// A Windows command line split into its arguments, the program's name first, by
/// the C runtime's rules: blanks (spaces, tabs) part arguments outside quotes; a
/// quote starts or ends a quoted part; inside one, two quotes are a quote; 2n
/// backslashes before a quote are n backslashes, 2n + 1 are n and the quote itself;
/// other backslashes are themselves. The program's name takes quotes as grouping only.
std::vector<std::wstring> SplitCommandLine(std::wstring_view line);

}  // namespace kestrin::os::win32
