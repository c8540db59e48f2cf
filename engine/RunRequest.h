#pragma once

#include <cstdint>
#include <string>

namespace kestrin {

/// The code page logs are read and reports written in unless a run names another.
inline constexpr const char* kDefaultCodePage = "CP932";

/// The back keyword list entries, in list order: entry 0 stands for one space.
inline constexpr const char16_t* kBackKeywordEntries[] = {u"Space", u"\"", u","};

/// The inputs of one run, as the window's controls (or the command line) hold them.
struct RunRequest {
    std::string logPath;
    std::string savePath;
    /// Index of the selected list entry, or -1 when the user typed into the box.
    std::int16_t keywordIndex = 0;
    /// The text shown in the keyword box.
    std::u16string keywordText = u"Space";
    /// An ICU converter name for a code page of one- and two-byte characters.
    std::string codePage = kDefaultCodePage;
    /// When not -1, the report goes to this already open descriptor (which the run
    /// neither truncates nor closes) and savePath only names it in messages.
    int saveDescriptor = -1;
};

/// The effective terminator of a run: one space for entry 0, the box text otherwise.
std::u16string BackKeyword(const RunRequest& request);

/// The list index that typed text stands for: the entry it equals, or -1.
std::int16_t KeywordIndexOf(std::u16string_view typed);

}  // namespace kestrin
