#include "report/ReportWriter.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace kestrin {
namespace {

// Often enough that a stop is seen within milliseconds.
constexpr std::size_t kStep = 1 << 16;

// The report's lines, through one buffer, in the report's form.
class ReportLines {
  public:
    ReportLines(os::ReportFile& file, const ReportForm& form)
        : file_(file), form_(form), buffer_(1 << 20) {}

    // One entry line; counts a URL kept in the log's bytes when `counting`.
    void WriteEntry(std::string_view url, std::uint64_t count, bool counting) {
        if (form_.transcoder != nullptr) {
            if (form_.transcoder->Convert(url, converted_)) {
                url = converted_;
            } else if (counting) {
                ++written_.keptBytes;
            }
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
        if (!failure_ && used_ > 0) failure_ = file_.Write(buffer_.data(), used_);
        used_ = 0;
        return failure_;
    }
    // Bytes the entry's line takes.
    std::int64_t SizeOf(std::string_view url, std::uint64_t count) {
        if (form_.transcoder != nullptr && form_.transcoder->Convert(url, converted_))
            url = converted_;
        char digits[24];
        const char* end = std::to_chars(digits, digits + sizeof digits, count).ptr;
        return std::int64_t(url.size() + 2 + std::size_t(end - digits) + LineEnd().size());
    }
    std::string_view LineEnd() const { return form_.lf ? "\n" : "\r\n"; }
    const ReportWritten& Written() const { return written_; }

  private:
    void Append(std::string_view bytes) {
        while (!bytes.empty()) {
            if (used_ == buffer_.size() && Flush()) return;
            const std::size_t part = std::min(bytes.size(), buffer_.size() - used_);
            std::memcpy(buffer_.data() + used_, bytes.data(), part);
            used_ += part;
            bytes.remove_prefix(part);
        }
    }

    os::ReportFile& file_;
    const ReportForm& form_;
    std::vector<char> buffer_;
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

std::int64_t ListingSize(ReportLines& report, const UrlTable& table, std::size_t entries) {
    std::int64_t size = 0;
    for (std::size_t i = 0; i < entries; ++i) size += report.SizeOf(table[i].Url, table[i].Count);
    return size;
}

// A report written in place makes room for all of it before its first byte.
Status MakeRoom(os::ReportFile& file, ReportLines& report, const UrlTable& table,
                const ReportForm& form) {
    if (!file.WritesInPlace()) return std::nullopt;
    const std::size_t entries =
        form.top > 0 ? std::min(form.top, table.EntryCount()) : table.EntryCount();
    std::int64_t size = ListingSize(report, table, entries);
    if (form.ranked && form.top == 0)
        size = 2 * size + std::int64_t(kRankedBanner.size() + report.LineEnd().size());
    return file.Reserve(size);
}

Status Rank(UrlTable& table, RunControl& control) {
    Phase ranking = control.Begin(RunPhase::Ranking, table.EntryCount());
    return table.RankByCount(&ranking);
}

// The ranked listing's head alone: ranked first, then written.
Status WriteTop(os::ReportFile& file, ReportLines& report, UrlTable& table, const ReportForm& form,
                RunControl& control) {
    (void)control.Begin(RunPhase::Listing, 0);
    if (Status stop = Rank(table, control)) return stop;
    if (Status fault = MakeRoom(file, report, table, form)) return fault;
    return WriteListing(report, table, std::min(form.top, table.EntryCount()), true, control,
                        RunPhase::RankedListing);
}

Status WriteListings(os::ReportFile& file, ReportLines& report, UrlTable& table,
                     const ReportForm& form, RunControl& control) {
    if (Status fault = MakeRoom(file, report, table, form)) return fault;
    if (Status stop =
            WriteListing(report, table, table.EntryCount(), true, control, RunPhase::Listing))
        return stop;
    if (!form.ranked) return std::nullopt;
    report.WriteLine(kRankedBanner);
    if (Status stop = Rank(table, control)) return stop;
    return WriteListing(report, table, table.EntryCount(), false, control, RunPhase::RankedListing);
}

}  // namespace

Result<ReportWritten> WriteReport(os::ReportFile& file, UrlTable& table, const ReportForm& form,
                                  RunControl& control) {
    ReportLines report(file, form);
    Status fault = form.top > 0 ? WriteTop(file, report, table, form, control)
                                : WriteListings(file, report, table, form, control);
    if (fault) return *fault;
    if (Status fault = report.Flush()) return *fault;
    return report.Written();
}

}  // namespace kestrin
