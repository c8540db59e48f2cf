#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "input/ByteSource.h"
#include "text/ByteScan.h"
#include "text/CuttingRule.h"

namespace kestrin {

/// The log's lines, each cut down to its first URL, streamed through one buffer.
///
/// Lines are found as the window of 1024 bytes at the line's start shows them: the
/// first CR or LF in the window ends the line, and a CR with an LF right after it
/// inside the window ends it as one terminator. A window without CR or LF ends the
/// line at its first NUL, and one the log's end cuts short ends it there. A full
/// window with none of the three runs the line on to its first CR or LF (a CR LF as
/// one, wherever the LF lies), or to the end of the log. Each line's URL is the one
/// ExtractUrl cuts out of it.
///
/// A line is never held whole: the buffer keeps what is not cut yet and the URL
/// being cut, so a line without a URL costs nothing however long it is, and a URL
/// its own length. Each call of Cut does about a buffer's worth of work, whatever
/// the log holds (a run of NULs, a line or a URL of gigabytes), so that its caller
/// can tell progress and stop between calls.
class LineCutter {
  public:
    static constexpr std::size_t kWindow = 1024;
    /// The longest URL a tally holds; a longer one is a fault of the log.
    static constexpr std::int64_t kMaxUrl = 0x7FFFFFFF;
    /// URLs one call of Cut hands out at most.
    static constexpr std::size_t kBatch = 64;

    /// Reads from `source` and cuts by `rule`, which must outlive the cutter. The
    /// buffer grows past `bufferSize` only for a URL that does not fit it.
    LineCutter(ByteSource& source, const CuttingRule& rule, std::size_t bufferSize = 1 << 20);
    ~LineCutter();
    LineCutter(const LineCutter&) = delete;
    LineCutter& operator=(const LineCutter&) = delete;

    /// Cuts on from where the last call left off. False once the log has ended, or
    /// failed (see Failure); Urls holds this call's URLs either way.
    bool Cut();
    /// The URLs the last call of Cut cut, in the order of their lines; valid until
    /// the next call. A URL goes out once it has ended, never part of it.
    std::span<const std::string_view> Urls() const { return {urls_.data(), found_}; }

    /// The fault that ended the log early, if any.
    const Status& Failure() const { return failure_; }
    /// Lines ended so far.
    std::uint64_t LinesCut() const { return lines_; }
    /// Bytes of the log read so far.
    std::int64_t BytesRead() const { return fileOffset_; }

  private:
    // What a step of the cut came to: the batch of URLs is full, the buffer needs
    // more of the log, the cut can go on, or the log has ended.
    enum class Step { kFull, kBytes, kOn, kEnd };
    // Where a line that runs on past its window stands: looking for its URL, in
    // it, past it to the line's end, or at a CR whose LF is not read yet.
    enum class Phase { kNone, kSeeking, kInUrl, kSkipping, kEnding };

    Step CutLines();
    // The lines with a whole window in the buffer (or the log's last ones) whose
    // window holds a CR or LF: the common case, cut in one pass each.
    void CutWindowedLines();
    // The line at `start` whose window is `window` bytes, cut from the masks of the
    // buffer's bytes; as the rule's CutBeforeBreak would cut it.
    UrlBeforeBreak CutMasked(std::int64_t start, std::size_t window);
    // The first byte at buffer index `from` or after, before `limit`, whose bit is
    // set in `masks`' `field`; `limit` when there is none.
    std::size_t NextMarked(std::uint64_t scan::ByteMasks::*field, std::size_t from,
                           std::size_t limit);
    // The line at next_, whose window holds no CR or LF.
    Step CutLineWithoutBreak();
    void SkipEmptyNuls();
    Step CutLongLine();
    Step SeekUrl(std::int64_t lineBreak);
    Step CutUrl(std::int64_t lineBreak);
    // Ends the current line at its CR or LF, or at the log's end.
    void EndLine(std::int64_t lineBreak);
    void HandOut(std::int64_t from, std::int64_t to);

    // Reads about a buffer's worth more, keeping what the cut still needs.
    void Refill();
    std::int64_t KeepFrom() const;
    void Resize(std::size_t capacity);
    // The first CR or LF at or after `from` in the buffer, or its end.
    std::int64_t FirstBreak(std::int64_t from);

    const char* At(std::int64_t pos) const { return buffer_ + (pos - base_); }
    std::string_view Bytes(std::int64_t from, std::int64_t to) const {
        return {At(from), std::size_t(to - from)};
    }
    std::int64_t Available() const { return base_ + std::int64_t(size_); }

    ByteSource& source_;
    const CuttingRule& rule_;
    const scan::LineSearches& searches_ = scan::FastestLineSearches();
    // Byte positions are offsets in the log; the buffer holds [base_, base_ + size_).
    // malloc'd, so that a long URL grows it with realloc, which moves pages rather
    // than copying them and never holds the old and the new buffer at once.
    const std::size_t bufferSize_;
    char* buffer_ = nullptr;
    std::size_t capacity_ = 0;
    std::int64_t base_ = 0;
    std::size_t size_ = 0;
    std::int64_t fileOffset_ = 0;
    bool atEnd_ = false;
    Status failure_;

    std::int64_t next_ = 0;  // where the next line starts, or the current one
    std::uint64_t lines_ = 0;
    std::array<std::string_view, kBatch> urls_;
    std::size_t found_ = 0;

    // The line that runs on past its window: where its search goes on (in the URL,
    // a character's start), a character's start at most five bytes before that
    // while seeking (so that a scheme cut off by the buffer's end is found whole),
    // and the URL's start.
    Phase phase_ = Phase::kNone;
    std::int64_t scan_ = 0, known_ = 0, url_ = 0;

    // No CR or LF lies in [breakFrom_, breakTo_), and one lies at breakTo_ when
    // breakFound_: positions only grow, so each byte is searched once.
    std::int64_t breakFrom_ = 0, breakTo_ = 0;
    bool breakFound_ = false;

    // The masks of the buffer's bytes, 64 a word from its start, made as the lines
    // need them: each byte is looked at once for the three things a short line is
    // cut at, however the lines fall, instead of once for each search a line
    // makes. `masked_` words are made; a refill moves the bytes and starts over.
    const bool byMasks_;
    std::vector<scan::ByteMasks> masks_;
    std::size_t masked_ = 0;
};

}  // namespace kestrin
