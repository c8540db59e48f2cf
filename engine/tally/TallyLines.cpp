#include "tally/TallyLines.h"

#include <algorithm>
#include <array>
#include <span>

#include "input/LineCutter.h"
#include "tally/UrlTally.h"
#include "text/HostFilter.h"

namespace kestrin {
namespace {

// Often enough that a stop asked for by a closing window is seen at once.
constexpr std::int64_t kReportStep = 4 << 20;

}  // namespace

Result<LineCounts> TallyLines(LineCutter& cutter, const ByteSource& source, const HostFilter& hosts,
                              UrlTally& tally, Phase::Piece& reading) {
    LineCounts counts;
    // In the bytes of the file, from where it stood when this log began.
    const std::int64_t start = source.Consumed();
    const auto taken = [&] {
        return std::uint64_t(std::max<std::int64_t>(source.Consumed() - start, 0));
    };
    std::int64_t nextStep = kReportStep;
    std::array<std::string_view, LineCutter::kBatch> counted;
    // Each cut is about a buffer's worth of the log at most, so that a stop is seen
    // within it, however long a line or a run of NULs.
    for (bool more = true; more;) {
        more = cutter.Cut();
        std::size_t kept = 0;
        for (std::string_view url : cutter.Urls()) {
            if (!hosts.Excludes(url)) counted[kept++] = url;
        }
        tally.Count(std::span(counted.data(), kept));
        counts.withUrl += kept;
        Status stop = reading.Check();
        if (!stop && cutter.BytesRead() >= nextStep) {
            stop = reading.Reach(taken());
            nextStep = cutter.BytesRead() + kReportStep;
        }
        if (stop) return *stop;
    }
    if (Status stop = reading.Reach(taken())) return *stop;
    if (const Status& fault = cutter.Failure()) return *fault;
    counts.lines = cutter.LinesCut();
    return counts;
}

}  // namespace kestrin
