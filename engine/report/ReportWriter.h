#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrin {

/// The line between a report's listing in URL order and the ranked one.
inline constexpr std::string_view kRankedBanner = "*********** SORTTING DATA ************";

/// The report file: entry lines through one buffer, with every failed write kept
/// as an error instead of being lost.
class ReportWriter {
  public:
    /// Writes to `fd`, which stays the caller's to close.
    explicit ReportWriter(int fd, std::size_t bufferSize = 1 << 20);

    /// One entry line: the URL's bytes, TAB, blank, the count in decimal, CR LF.
    void WriteEntry(std::string_view url, std::uint64_t count);
    /// One line of text followed by CR LF.
    void WriteLine(std::string_view text);
    /// Hands everything buffered to the file; false once any write has failed.
    bool Flush();

    /// The errno of the first failed write, 0 while all have succeeded.
    int Error() const { return error_; }

  private:
    void Append(std::string_view bytes);

    int fd_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    int error_ = 0;
};

}  // namespace kestrin
