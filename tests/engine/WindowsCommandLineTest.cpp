// How kestrin-cut.exe and kestrin.exe split the wide command line Windows hands
// them into arguments: by the C runtime's rules, which every program started with
// quoted arguments relies on.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Processes.h"
#include "os/win32/CommandLine.h"

namespace kestrin {
namespace {

using Arguments = std::vector<std::wstring>;

TEST(WindowsCommandLine, SplitsByTheRuntimesRules) {
    struct Case {
        const wchar_t* line;
        Arguments arguments;
    };
    const Case cases[] = {
        {L"", {L""}},
        {L"kestrin-cut a b", {L"kestrin-cut", L"a", L"b"}},
        {L" \t kestrin-cut\t a  \t", {L"", L"kestrin-cut", L"a"}},
        {L"\"C:\\Program Files\\k\\kestrin-cut.exe\" -",
         {L"C:\\Program Files\\k\\kestrin-cut.exe", L"-"}},
        {L"C:\\k\\x\\\"y z\" a", {L"C:\\k\\x\\y z", L"a"}},
        {L"p \"a b\" c", {L"p", L"a b", L"c"}},
        {L"p a\"b c\"d e", {L"p", L"ab cd", L"e"}},
        {L"p \"\" \"\"", {L"p", L"", L""}},
        {L"p C:\\logs\\ \\\\server\\share", {L"p", L"C:\\logs\\", L"\\\\server\\share"}},
        {L"p \"C:\\logs\\\\\" x", {L"p", L"C:\\logs\\", L"x"}},
        {L"p a\\\"b \\\\\\\"c", {L"p", L"a\"b", L"\\\"c"}},
        {L"p a\\\\\\\\\"b c\"", {L"p", L"a\\\\b c"}},
        {L"p \"a\"\"b\" \"\"\"\"", {L"p", L"a\"b", L"\""}},
        {L"p \"open to the end ", {L"p", L"open to the end "}},
        {L"p \u30ed\u30b0 \"\u65e5 \u672c\"", {L"p", L"\u30ed\u30b0", L"\u65e5 \u672c"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(os::win32::SplitCommandLine(c.line), c.arguments) << "line: [" << c.line << "]";
}

TEST(WindowsCommandLine, GivesBackWhatAStarterQuoted) {
    const Arguments given = {L"--keyword", L"\"",           L"-o",           L"",
                             L"a b\\",     L"\\\\\"\\",     L"tab\there",    L"\\\"\"",
                             L"C:\\x y\\", L"\u30ed\u30b0", L"trailing \\\\"};
    std::wstring line = L"kestrin-cut.exe";
    for (const std::wstring& argument : given) line += L" " + testing::Quoted(argument);
    Arguments expected = {L"kestrin-cut.exe"};
    expected.insert(expected.end(), given.begin(), given.end());
    EXPECT_EQ(os::win32::SplitCommandLine(line), expected) << "line: [" << line << "]";
}

}  // namespace
}  // namespace kestrin
