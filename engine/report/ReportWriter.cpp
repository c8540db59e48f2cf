#include "report/ReportWriter.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>

#include "tally/Threads.h"

namespace kestrin {
namespace {

// Often enough that a stop is seen within milliseconds.
constexpr std::size_t kStep = 1 << 16;

std::string_view LineEnd(const ReportForm& form) {
    return form.lf ? "\n" : "\r\n";
}

// What follows an entry's URL on its line: TAB, blank, the count in decimal.
class EntryTail {
  public:
    explicit EntryTail(std::uint64_t count)
        : size_(
              std::size_t(std::to_chars(bytes_ + 2, bytes_ + sizeof bytes_, count).ptr - bytes_)) {}
    std::string_view View() const { return {bytes_, size_}; }

  private:
    char bytes_[24] = "\t ";
    std::size_t size_;
};

// The report's lines, through one buffer, in the report's form.
class ReportLines {
  public:
    ReportLines(ReservedReport file, const ReportForm& form)
        : file_(file), form_(form), buffer_(std::make_unique_for_overwrite<char[]>(kBufferBytes)) {}

    // One entry line; counts a URL written escaped when `counting`.
    void WriteEntry(std::string_view url, std::uint64_t count, bool counting) {
        if (form_.urls != nullptr) {
            const UrlWritten how = form_.urls->Write(url, converted_);
            url = converted_;
            if (counting && how == UrlWritten::Escaped) ++written_.escaped;
            if (counting && how == UrlWritten::LookAlike) ++written_.lookAlikes;
        }
        Append(url);
        Append(EntryTail(count).View());
        Append(LineEnd());
    }
    // Entry lines formed elsewhere, as WriteEntry forms them.
    void WriteLines(std::string_view lines) { Append(lines); }
    // Whether a URL is written as its bytes are, so that its line may be formed anywhere.
    bool UrlsAsTheyAre() const { return form_.urls == nullptr; }
    void WriteLine(std::string_view text) {
        Append(text);
        Append(LineEnd());
    }
    // Hands everything buffered to the file; the first fault of any write.
    Status Flush() {
        if (!failure_ && used_ > 0) failure_ = file_.Write(buffer_.get(), used_);
        used_ = 0;
        return failure_;
    }
    std::string_view LineEnd() const { return kestrin::LineEnd(form_); }
    const ReportWritten& Written() const { return written_; }

  private:
    void Append(std::string_view bytes) {
        while (!bytes.empty()) {
            if (used_ == kBufferBytes && Flush()) return;
            const std::size_t part = std::min(bytes.size(), kBufferBytes - used_);
            std::memcpy(buffer_.get() + used_, bytes.data(), part);
            used_ += part;
            bytes.remove_prefix(part);
        }
    }

    // Left unwritten until used: a short report touches only the pages it fills,
    // where zeroing it first would fault in all of them for one line. A quarter of
    // a megabyte is written at once as fast as a megabyte, with a quarter of the
    // page faults.
    static constexpr std::size_t kBufferBytes = 256 << 10;

    ReservedReport file_;
    const ReportForm& form_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    Status failure_;
    std::string converted_;
    ReportWritten written_;
};

// Entries whose lines a thread forms at a time when a listing is shared out, and
// the fewest so shared: the records of a smaller table are mostly in the caches,
// and the pieces' memory, new to the process, costs more than the threads save.
constexpr std::size_t kPieceEntries = 1 << 13;
constexpr std::size_t kSharedListing = 1 << 18;

// A listing reads its records in its own order, not theirs, and a big table's
// waits for memory at nearly every entry: on several threads, each forms the lines
// of a piece of entries, and the pieces are written in order, each by the thread
// that formed the last piece before it, while the others form on.
Status WriteListingShared(ReportLines& report, const UrlTable& table, std::size_t entries,
                          Phase& listing, unsigned threads) {
    const std::size_t pieces = (entries + kPieceEntries - 1) / kPieceEntries;
    const std::string_view lineEnd = report.LineEnd();
    Phase::Piece told(listing);
    std::mutex mutex;
    std::vector<std::string> formed(pieces);
    std::vector<bool> ready(pieces, false);
    std::size_t next = 0;  // the next piece to write
    bool writing = false;  // a thread is writing pieces
    // Pieces formed ahead of the writing, at most: while the report's writes wait
    // (a slow disk, a pipe), the others would hold the whole report in memory.
    const std::size_t ahead = 2 * std::size_t(threads);
    std::condition_variable written;
    const auto form = [&](std::size_t piece) {
        const std::size_t first = piece * kPieceEntries;
        const std::size_t last = std::min(entries, first + kPieceEntries);
        std::string lines;
        lines.reserve((last - first) * 64);
        for (std::size_t i = first; i < last; ++i) {
            const UrlEntry entry = table[i];
            lines += entry.Url;
            lines += EntryTail(entry.Count).View();
            lines += lineEnd;
        }
        return lines;
    };
    ShareOut(
        pieces, threads,
        [&](std::size_t piece) {
            {
                std::unique_lock lock(mutex);
                while (piece >= next + ahead && !listing.Check())
                    written.wait_for(lock, std::chrono::milliseconds(20));
            }
            if (listing.Check()) return;  // nothing more is formed once the run is to stop
            std::string lines = form(piece);
            std::unique_lock lock(mutex);
            formed[piece] = std::move(lines);
            ready[piece] = true;
            if (writing) return;  // the writing thread comes to it
            writing = true;
            // Nothing more is written, nor told, once the run is to stop.
            while (next < pieces && ready[next] && !listing.Check()) {
                const std::string out = std::move(formed[next]);
                lock.unlock();
                report.WriteLines(out);
                (void)told.Reach(std::min(entries, (next + 1) * kPieceEntries));
                lock.lock();
                ++next;
                written.notify_all();
            }
            writing = false;
        },
        [&] {
            if (!listing.Check()) (void)listing.Poll();
        });
    return next == pieces ? Status() : listing.Check();
}

// Writes the first `entries` of `table` in its current order, as phase `name`, on
// up to `threads` threads.
Status WriteListing(ReportLines& report, const UrlTable& table, std::size_t entries, bool counting,
                    RunControl& control, RunPhase name, unsigned threads) {
    Phase listing = control.Begin(name, entries);
    if (threads > 1 && entries >= kSharedListing && report.UrlsAsTheyAre())
        return WriteListingShared(report, table, entries, listing, threads);
    for (std::size_t i = 0; i < entries; ++i) {
        if (i % kStep == 0) {
            if (Status stop = listing.Reach(i)) return stop;
        }
        const UrlEntry entry = table[i];
        report.WriteEntry(entry.Url, entry.Count, counting);
    }
    return std::nullopt;
}

// The bytes of the report of `table` in `form`, written as ReportLines writes them.
std::int64_t ReportSize(const UrlTable& table, const ReportForm& form) {
    const std::size_t entries =
        form.top > 0 ? std::min(form.top, table.EntryCount()) : table.EntryCount();
    std::string converted;
    std::int64_t size = 0;
    for (std::size_t i = 0; i < entries; ++i) {
        std::string_view url = table[i].Url;
        if (form.urls != nullptr) {
            (void)form.urls->Write(url, converted);
            url = converted;
        }
        char digits[24];
        const char* end = std::to_chars(digits, digits + sizeof digits, table[i].Count).ptr;
        size += std::int64_t(url.size() + 2 + std::size_t(end - digits) + LineEnd(form).size());
    }
    if (form.ranked && form.top == 0)
        size = 2 * size + std::int64_t(kRankedBanner.size() + LineEnd(form).size());
    return size;
}

// The report's lines, once a report written in place has room for all of it (its
// size is reckoned then only): `write` writes them, and they are flushed.
template <typename Write>
Result<ReportWritten> WriteWithRoom(ReportFile& file, const UrlTable& table, const ReportForm& form,
                                    Write write) {
    Result<ReservedReport> room = file.Reserve([&] { return ReportSize(table, form); });
    if (!room) return room.Failure();
    ReportLines report(*room, form);
    if (Status fault = write(report)) return *fault;
    if (Status fault = report.Flush()) return *fault;
    return report.Written();
}

Status Rank(UrlTable& table, RunControl& control) {
    Phase ranking = control.Begin(RunPhase::Ranking, table.EntryCount());
    return table.RankByCount(&ranking);
}

// The ranked listing's head alone: ranked first, then written.
Result<ReportWritten> WriteTop(ReportFile& file, UrlTable& table, const ReportForm& form,
                               RunControl& control, unsigned threads) {
    (void)control.Begin(RunPhase::Listing, 0);
    if (Status stop = Rank(table, control)) return *stop;
    return WriteWithRoom(file, table, form, [&](ReportLines& report) {
        return WriteListing(report, table, std::min(form.top, table.EntryCount()), true, control,
                            RunPhase::RankedListing, threads);
    });
}

Result<ReportWritten> WriteListings(ReportFile& file, UrlTable& table, const ReportForm& form,
                                    RunControl& control, unsigned threads) {
    return WriteWithRoom(file, table, form, [&](ReportLines& report) -> Status {
        if (Status stop = WriteListing(report, table, table.EntryCount(), true, control,
                                       RunPhase::Listing, threads))
            return stop;
        if (!form.ranked) return std::nullopt;
        report.WriteLine(kRankedBanner);
        if (Status stop = Rank(table, control)) return stop;
        return WriteListing(report, table, table.EntryCount(), false, control,
                            RunPhase::RankedListing, threads);
    });
}

}  // namespace

Result<ReportWritten> WriteReport(ReportFile& file, UrlTable& table, const ReportForm& form,
                                  RunControl& control, unsigned threads) {
    return form.top > 0 ? WriteTop(file, table, form, control, threads)
                        : WriteListings(file, table, form, control, threads);
}

}  // namespace kestrin
