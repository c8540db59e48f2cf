#include "report/ReportWriter.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>

namespace kestrin {
namespace {

// Often enough that a stop is seen within milliseconds.
constexpr std::size_t kStep = 1 << 16;

std::string_view LineEnd(const ReportForm& form) {
    return form.lf ? "\n" : "\r\n";
}

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
        char tail[32] = "\t ";
        char* end = std::to_chars(tail + 2, tail + sizeof tail - 3, count).ptr;
        Append(url);
        Append({tail, std::size_t(end - tail)});
        Append(LineEnd());
    }
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

// Writes the first `entries` of `table` in its current order, as phase `name`.
Status WriteListing(ReportLines& report, const UrlTable& table, std::size_t entries, bool counting,
                    RunControl& control, RunPhase name) {
    Phase listing = control.Begin(name, entries);
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
                               RunControl& control) {
    (void)control.Begin(RunPhase::Listing, 0);
    if (Status stop = Rank(table, control)) return *stop;
    return WriteWithRoom(file, table, form, [&](ReportLines& report) {
        return WriteListing(report, table, std::min(form.top, table.EntryCount()), true, control,
                            RunPhase::RankedListing);
    });
}

Result<ReportWritten> WriteListings(ReportFile& file, UrlTable& table, const ReportForm& form,
                                    RunControl& control) {
    return WriteWithRoom(file, table, form, [&](ReportLines& report) -> Status {
        if (Status stop =
                WriteListing(report, table, table.EntryCount(), true, control, RunPhase::Listing))
            return stop;
        if (!form.ranked) return std::nullopt;
        report.WriteLine(kRankedBanner);
        if (Status stop = Rank(table, control)) return stop;
        return WriteListing(report, table, table.EntryCount(), false, control,
                            RunPhase::RankedListing);
    });
}

}  // namespace

Result<ReportWritten> WriteReport(ReportFile& file, UrlTable& table, const ReportForm& form,
                                  RunControl& control) {
    return form.top > 0 ? WriteTop(file, table, form, control)
                        : WriteListings(file, table, form, control);
}

}  // namespace kestrin
