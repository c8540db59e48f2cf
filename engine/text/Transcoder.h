#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "os/CodePageTables.h"
#include "os/Fault.h"
#include "text/CodePage.h"

namespace kestrin {

/// Writes text of one code page in another: the log's URLs in the report's code
/// page. Text that does not decode in the first, or has a character the second
/// lacks, cannot be written there.
class Transcoder {
  public:
    /// From `from` to the code page named `to` (as --codepage takes it).
    static Result<std::unique_ptr<Transcoder>> Open(const CodePage& from, const std::string& to);
    ~Transcoder();
    Transcoder(const Transcoder&) = delete;
    Transcoder& operator=(const Transcoder&) = delete;

    /// `text` in the second code page into `out`: false, and `out` unchanged, when
    /// it cannot be written there. Not for several threads at once.
    bool Convert(std::string_view text, std::string& out);

    /// `text` in the second code page into `out`, where every byte of a character
    /// that cannot be written there (one not text in the first code page, or one
    /// the second lacks) is written as the URL's own escape, `%` and the byte in
    /// upper-case hex: so the output is always text, and no URL becomes another's
    /// bytes. Returns whether any byte was escaped. Not for several threads at once.
    bool ConvertEscaping(std::string_view text, std::string& out);

    const CodePage& From() const { return from_; }
    const CodePage& To() const { return toPage_; }

  private:
    Transcoder(const CodePage& from, const CodePage& toPage,
               std::unique_ptr<os::CodePageEncoder> to, bool asciiAlike);
    // Writes `units` in the second code page, only where its bytes read back as
    // them: a character written as another's bytes would make two URLs one.
    bool Carries(std::u16string_view units, std::string& out);

    const CodePage& from_;
    const CodePage& toPage_;
    std::unique_ptr<os::CodePageEncoder> to_;
    bool asciiAlike_;  // printable ASCII is the same bytes in both
    std::u16string units_;
    std::u16string back_;
    std::string character_;
};

}  // namespace kestrin
