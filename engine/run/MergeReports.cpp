#include "run/MergeReports.h"

#include "report/ReportListing.h"
#include "text/HostFilter.h"

namespace kestrin {
namespace {

// The fault names the report, and a member's the member.
Fault Named(Fault fault, const OpenedLog& report, const LogStreams& streams) {
    if (!streams.MemberName().empty() && !fault.IsStop())
        fault.detail = streams.MemberName() + ": " + fault.Reason();
    fault.subject = report.Path();
    return fault;
}

Status MergeReport(OpenedLog& report, const UrlCut& cut, UrlTally& tally, Phase& reading,
                   MergeCounts& counts) {
    if (Status fault = report.Failure()) {
        fault->subject = report.Path();
        return fault;
    }
    LogStreams streams = report.Streams([&] { return reading.Check(); });
    for (;;) {
        Result<ByteSource*> listing = streams.Next();
        if (!listing) {
            // Its reasons name the member where a member is at fault.
            Fault fault = listing.Failure();
            fault.subject = report.Path();
            return fault;
        }
        if (*listing == nullptr) {
            counts.skipped += streams.Skipped();
            for (const std::string& warning : streams.Warnings())
                counts.warnings.push_back(report.Path() + ": " + warning);
            return std::nullopt;
        }
        ++counts.reports;
        Phase::Piece piece(reading);
        Status fault =
            ReadReportListing(**listing, piece, [&](std::string_view url, std::uint64_t count) {
                ++counts.entries;
                if (!cut.hosts.Excludes(url)) tally.Count(url, count);
            });
        // No log has so many lines that a count passes 2^64 - 1: the report's
        // counts were made up.
        if (!fault) fault = tally.Failure();
        if (fault) return Named(*fault, report, streams);
    }
}

}  // namespace

Status MergeReports(const FoundLogs& reports, const UrlCut& cut, UrlTally& tally, Phase& reading,
                    MergeCounts& counts) {
    for (const FoundLog& found : reports) {
        Result<std::unique_ptr<OpenedLog>> report = OpenedLog::Open(found);
        if (!report) {
            Fault fault = report.Failure();
            fault.subject = found.path;
            return fault;
        }
        if (Status fault = MergeReport(**report, cut, tally, reading, counts)) return fault;
    }
    return std::nullopt;
}

}  // namespace kestrin
