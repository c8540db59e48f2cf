#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>

#include "os/Fault.h"
#include "tally/RunControl.h"
#include "tally/UrlTable.h"
#include "text/Transcoder.h"

namespace kestrin {

/// How a URL went into a report written in another code page than the logs'.
enum class UrlWritten {
    Converted,  // as the same text in the report's code page
    Escaped,    // with bytes it cannot carry written as %XX
    LookAlike,  // converted whole, but escaped lest it read as an escaped URL
};

/// The URLs of a report in another code page than the logs', written so that no
/// two lines are alike and none is lost.
///
/// A URL that is text in the logs' code page and whose characters the report's has
/// is written as that text. One with a byte that is not text, or a character the
/// report's code page lacks, is written escaped: each byte of such a character as
/// `%` and its upper-case hex, and its own `%` as `%25`, so that its line reads
/// back as its bytes. A URL written as text whose line would read as an escaped
/// URL's (the text `/%82` beside the bytes `/` 0x82) is written escaped as well,
/// its `%` as `%25`; and so on for a URL whose text would then read as that one's.
class ReportUrls {
  public:
    /// The URLs of `table`, in URL order, as `transcoder` writes them; looks for
    /// the run's stop as it goes.
    static Result<std::unique_ptr<ReportUrls>> Find(Transcoder& transcoder, const UrlTable& table,
                                                    const RunControl& control);

    /// `url` as the report writes it, into `out`. Not for several threads at once.
    UrlWritten Write(std::string_view url, std::string& out);

  private:
    explicit ReportUrls(Transcoder& transcoder) : transcoder_(transcoder) {}
    // `url` escaped, its own `%` as `%25` too.
    void Escape(std::string_view url, std::string& out);
    // The entry of `table` whose text is `units`, if any.
    static std::optional<std::string_view> EntryOf(const UrlTable& table, const CodePage& page,
                                                   std::u16string_view units);

    Transcoder& transcoder_;
    // The URLs written escaped though they convert whole.
    std::unordered_set<std::string> lookAlikes_;
    std::string piece_;
};

}  // namespace kestrin
