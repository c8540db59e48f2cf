#include <algorithm>

#include "report/ReportListing.h"
#include "run/Roads.h"
#include "text/HostFilter.h"

namespace kestrin {
namespace {

RunResult Failed(RunOutcome outcome, const OpenedLog& report, const LogStreams& streams,
                 Fault fault) {
    // A member's fault names the member.
    if (!streams.MemberName().empty()) fault.detail = streams.MemberName() + ": " + fault.Reason();
    return {.outcome = outcome, .path = report.Path(), .fault = std::move(fault)};
}

}  // namespace

std::optional<RunResult> MergeReports(OpenedLogs& reports, const UrlCut& cut, UrlTally& tally,
                                      Progress::Phase& reading, MergeCounts& counts) {
    for (const auto& report : reports) {
        if (Status fault = report->Failure())
            return RunResult{
                .outcome = RunOutcome::LogUnreadable, .path = report->Path(), .fault = *fault};
        LogStreams streams = report->Streams();
        for (std::int64_t taken = report->Consumed();;) {
            Result<ByteSource*> listing = streams.Next();
            if (!listing)
                return Failed(RunOutcome::LogUnreadable, *report, streams, listing.Failure());
            if (*listing == nullptr) break;
            ++counts.reports;
            Result<std::string> problem = std::string();
            try {
                problem =
                    ReadReportListing(**listing, [&](std::string_view url, std::uint64_t count) {
                        ++counts.entries;
                        if (!cut.hosts.Excludes(url)) tally.Count(url, count);
                    });
            } catch (const CountOverflow& overflow) {
                // No log has so many lines: the report's counts were made up.
                problem = std::string(overflow.what());
            }
            reading.Advance(std::uint64_t(std::max<std::int64_t>(report->Consumed() - taken, 0)));
            taken = report->Consumed();
            if (!problem)
                return Failed(RunOutcome::LogUnreadable, *report, streams, problem.Failure());
            if (!problem->empty())
                return Failed(RunOutcome::NotAReport, *report, streams, {0, *problem});
            if (reading.StopRequested()) return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace kestrin
