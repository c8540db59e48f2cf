#pragma once

#include <atomic>
#include <string>
#include <string_view>

namespace kestrin {

/// The code page logs are read and reports written in unless a run names another.
inline constexpr const char* kDefaultCodePage = "CP932";

/// The back keyword list entries, in list order: the first stands for one space.
inline constexpr const char16_t* kBackKeywordEntries[] = {u"Space", u"\"", u","};

/// The back keyword that text typed into the keyword box (or given on the command
/// line) stands for: one space for the entry "Space", the text itself otherwise.
std::u16string BackKeywordFrom(std::u16string_view typed);

/// The inputs of one run.
struct RunRequest {
    std::string logPath{};
    std::string savePath{};
    /// The effective terminator of a URL; a run accepts only one character of one byte.
    std::u16string backKeyword = u" ";
    /// An ICU converter name for a code page of one- and two-byte characters.
    std::string codePage = kDefaultCodePage;
    /// When not -1, the report goes to this already open descriptor (which the run
    /// neither truncates nor closes) and savePath only names it in messages.
    int saveDescriptor = -1;
    /// When set, the run stops as soon as it sees it true (a window that closes),
    /// leaving any earlier report as it was.
    const std::atomic<bool>* stop = nullptr;
};

}  // namespace kestrin
