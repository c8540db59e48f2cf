// How kestrin-cut.exe and kestrin.exe split the wide command line Windows hands
// them: by the C runtime's rules, which every program that starts them relies on.

#include <gtest/gtest.h>

#include "Processes.h"
#include "os/win32/CommandLine.h"

namespace kestrin {
namespace {

using Arguments = std::vector<std::wstring>;

TEST(WindowsCommandLine, SplitsByTheRuntimesRules) {
    const std::pair<std::wstring, Arguments> cases[] = {
        {L"", {L""}},
        {L" \t p\t a  \t", {L"", L"p", L"a"}},
        {L"C:\\k\\x\\\"y z\" a", {L"C:\\k\\x\\y z", L"a"}},
        {L"p a\"b c\"d \"\" \"open to the end ", {L"p", L"ab cd", L"", L"open to the end "}},
        {L"p C:\\logs\\ \"C:\\logs\\\\\" a\\\"b \\\\\\\"c",
         {L"p", L"C:\\logs\\", L"C:\\logs\\", L"a\"b", L"\\\"c"}},
        {L"p a\\\\\\\\\"b c\" \"a\"\"b\" \"\"\"\"", {L"p", L"a\\\\b c", L"a\"b", L"\""}},
    };
    for (const auto& [line, arguments] : cases)
        EXPECT_EQ(os::win32::SplitCommandLine(line), arguments) << "line: [" << line << "]";
    // What a starter quotes by the same rules comes back as it was.
    const Arguments given = {L"p",         L"\"",          L"", L"a b\\", L"\\\\\"\\",
                             L"tab\there", L"\u30ed\u30b0"};
    std::wstring line = given[0];
    for (std::size_t i = 1; i < given.size(); ++i) line += L" " + testing::Quoted(given[i]);
    EXPECT_EQ(os::win32::SplitCommandLine(line), given) << "line: [" << line << "]";
}

}  // namespace
}  // namespace kestrin
