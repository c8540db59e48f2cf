#include "tally/ParallelTally.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "input/LineCutter.h"
#include "input/LogRanges.h"
#include "tally/Threads.h"
#include "tally/UrlTally.h"

namespace kestrin {

Result<LineCounts> TallyRange(const os::File& file, LogRange range, const UrlCut& cut,
                              UrlTally& tally, Phase::Piece& reading, std::size_t bufferSize) {
    RangeSource source(file, range);
    LineCutter cutter(source, cut.rule, bufferSize);
    return TallyLines(cutter, source, cut.hosts, tally, reading);
}

Result<LineCounts> TallyInRanges(const os::File& file, std::int64_t size, std::size_t jobs,
                                 std::int64_t minimumRange, const UrlCut& cut, UrlTally& tally,
                                 const ReadingPhases& phases) {
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
            Phase::Piece reading(phases.reading);
            counts[i] = TallyRange(file, (*ranges)[i], cut, into, reading);
        },
        [&] { (void)phases.reading.Poll(); });
    LineCounts total;
    for (const Result<LineCounts>& range : counts) {
        if (!range) return range.Failure();
        total += *range;
    }
    if (Status stop = phases.reading.Check()) return *stop;

    // The merge is told in the file's bytes, each form merged worth its share.
    std::uint64_t forms = 0;
    for (const auto& later : tallies) forms += later->RecordCount();
    if (forms == 0) (void)Phase::Piece(phases.merging).Reach(std::uint64_t(size));
    for (auto& later : tallies) {
        Phase::Piece merging(phases.merging, double(size) / double(forms));
        Status fault = tally.Merge(std::move(*later), &merging);
        later.reset();
        if (fault) return *fault;
    }
    return total;
}

}  // namespace kestrin
