#include "report/ReportWriter.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace kestrin {
namespace {

// Often enough that a stop is seen within milliseconds.
constexpr std::size_t kStep = 1 << 16;

std::size_t Digits(std::uint64_t count) {
    std::size_t digits = 1;
    for (; count >= 10; count /= 10) ++digits;
    return digits;
}

// Writes every entry of `table` in its current order; false when stopped.
bool WriteListing(ReportWriter& report, const UrlTable& table, Progress& progress, double share,
                  bool mayStop) {
    const std::size_t entries = table.EntryCount();
    Progress::Phase listing(progress, share, entries);
    for (std::size_t i = 0; i < entries; ++i) {
        if (i % kStep == 0 && !listing.Advance(i == 0 ? 0 : kStep) && mayStop) return false;
        const UrlEntry entry = table[i];
        report.WriteEntry(entry.Url, entry.Count);
    }
    return true;
}

}  // namespace

std::int64_t ReportSize(const UrlTable& table, bool ranked) {
    std::int64_t listing = 0;
    for (std::size_t i = 0; i < table.EntryCount(); ++i) {
        const UrlEntry entry = table[i];
        listing += std::int64_t(entry.Url.size() + Digits(entry.Count) + 4);
    }
    return ranked ? 2 * listing + std::int64_t(kRankedBanner.size()) + 2 : listing;
}

Status WriteReport(os::ReportFile& file, UrlTable& table, bool ranked, Progress& progress) {
    const bool mayStop = !file.WritesInPlace();
    ReportWriter report(file);
    if (!WriteListing(report, table, progress, kListingShare, mayStop)) return std::nullopt;
    if (ranked) {
        report.WriteLine(kRankedBanner);
        {
            Progress::Phase ranking(progress, kRankingShare, table.EntryCount());
            table.RankByCount(mayStop ? &ranking : nullptr);
            if (mayStop && ranking.StopRequested()) return std::nullopt;
        }
        if (!WriteListing(report, table, progress, kRankedShare, mayStop)) return std::nullopt;
    }
    return report.Flush();
}

ReportWriter::ReportWriter(os::ReportFile& file, std::size_t bufferSize)
    : file_(file), buffer_(bufferSize) {}

void ReportWriter::Append(std::string_view bytes) {
    while (!bytes.empty()) {
        if (used_ == buffer_.size() && Flush()) return;
        const std::size_t part = std::min(bytes.size(), buffer_.size() - used_);
        std::memcpy(buffer_.data() + used_, bytes.data(), part);
        used_ += part;
        bytes.remove_prefix(part);
    }
}

void ReportWriter::WriteEntry(std::string_view url, std::uint64_t count) {
    char tail[32] = "\t ";
    char* end = std::to_chars(tail + 2, tail + sizeof tail - 2, count).ptr;
    *end++ = '\r';
    *end++ = '\n';
    Append(url);
    Append({tail, std::size_t(end - tail)});
}

void ReportWriter::WriteLine(std::string_view text) {
    Append(text);
    Append("\r\n");
}

Status ReportWriter::Flush() {
    if (!failure_ && used_ > 0) failure_ = file_.Write(buffer_.data(), used_);
    used_ = 0;
    return failure_;
}

}  // namespace kestrin
