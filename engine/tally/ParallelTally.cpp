#include "tally/ParallelTally.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "input/LogRanges.h"
#include "input/LogReader.h"
#include "tally/Threads.h"
#include "tally/UrlTally.h"

namespace kestrin {
namespace {

// Reading takes nine tenths of a byte's progress, merging the tallies the rest.
constexpr double kReadingShare = 0.9;

}  // namespace

Result<LineCounts> TallyRange(const os::File& file, LogRange range, const UrlCut& cut,
                              UrlTally& tally, Progress::Phase& reading, double share,
                              std::size_t bufferSize) {
    RangeSource source(file, range);
    LogReader reader(source, bufferSize);
    const LineCounts counts = TallyLines(reader, source, cut, tally, reading, share);
    if (reader.Failure()) return *reader.Failure();
    return counts;
}

Result<LineCounts> TallyInRanges(const os::File& file, std::int64_t size, std::size_t jobs,
                                 std::int64_t minimumRange, const UrlCut& cut, UrlTally& tally,
                                 Progress::Phase& reading) {
    const std::size_t parts =
        std::clamp<std::size_t>(std::size_t(size / std::max<std::int64_t>(minimumRange, 1)), 1,
                                std::max<std::size_t>(jobs, 1));
    Result<std::vector<LogRange>> ranges = SplitLog(file, size, parts);
    if (!ranges) return ranges.Failure();

    // The first range is tallied into `tally` itself, each other into one of its own.
    std::vector<std::unique_ptr<UrlTally>> tallies;
    for (std::size_t i = 1; i < ranges->size(); ++i)
        tallies.push_back(std::make_unique<UrlTally>(tally.Page()));
    std::vector<Result<LineCounts>> counts(ranges->size(), LineCounts{});
    ShareOut(
        ranges->size(), parts,
        [&](std::size_t i) {
            UrlTally& into = i == 0 ? tally : *tallies[i - 1];
            counts[i] = TallyRange(file, (*ranges)[i], cut, into, reading, kReadingShare);
        },
        [&] { reading.Advance(); });
    LineCounts total;
    for (const Result<LineCounts>& range : counts) {
        if (!range) return range.Failure();
        total += *range;
    }
    if (reading.StopRequested()) return total;

    // The merge takes what is left of the file's bytes, a share for each tally.
    const auto merging = std::uint64_t(double(size) * (1 - kReadingShare));
    for (auto& later : tallies) {
        const bool whole = tally.Merge(std::move(*later), &reading, merging / tallies.size());
        later.reset();
        if (!whole) break;
    }
    return total;
}

}  // namespace kestrin
