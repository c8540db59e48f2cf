#include <algorithm>

#include "input/LogLooks.h"
#include "input/LogReader.h"
#include "run/Roads.h"
#include "tally/ParallelTally.h"
#include "tally/Threads.h"

namespace kestrin {
namespace {

// What reading one log's streams came to: its own tally (but for the first of a
// batch, which reads into the run's), its counts and its head, or its failure.
struct StreamedLog {
    OpenedLog* log = nullptr;
    std::unique_ptr<UrlTally> ownTally;
    LogCounts counts;
    std::optional<RunResult> failure;
};

RunResult Unreadable(const std::string& path, Fault fault) {
    return {.outcome = RunOutcome::LogUnreadable, .path = path, .fault = std::move(fault)};
}

// Reads every stream the log holds (one, or an archive's members) into `tally`.
void TallyStreams(StreamedLog& read, UrlTally& tally, const UrlCut& cut, Progress::Phase& reading) {
    LogStreams streams = read.log->Streams();
    for (;;) {
        Result<ByteSource*> stream = streams.Next();
        if (!stream) return void(read.failure = Unreadable(read.log->Path(), stream.Failure()));
        if (*stream == nullptr) return;
        if (read.counts.logs++ == 0) read.counts.looks = LooksOf(streams.Head());
        LogReader reader(**stream);
        const LineCounts lines = TallyLines(reader, **stream, cut, tally, reading);
        read.counts.lines += lines.lines;
        read.counts.linesWithUrl += lines.withUrl;
        if (Status fault = reader.Failure()) {
            // A member's fault names the member.
            if (!streams.MemberName().empty())
                fault->detail = streams.MemberName() + ": " + fault->Reason();
            return void(read.failure = Unreadable(read.log->Path(), *fault));
        }
        if (reading.StopRequested()) return;
    }
}

void Add(LogCounts& counts, const LogCounts& more) {
    if (counts.logs == 0) counts.looks = more.looks;
    counts.logs += more.logs;
    counts.lines += more.lines;
    counts.linesWithUrl += more.linesWithUrl;
}

// Streamed logs that follow one another, read at once, one a thread, and merged in
// their order: the first reads into the run's tally, which holds what came before.
std::optional<RunResult> TallyTogether(std::span<OpenedLog* const> logs, const UrlCut& cut,
                                       std::size_t jobs, UrlTally& tally, Progress::Phase& reading,
                                       LogCounts& counts) {
    std::vector<StreamedLog> batch(logs.size());
    for (std::size_t i = 0; i < logs.size(); ++i) {
        batch[i].log = logs[i];
        if (i > 0) batch[i].ownTally = std::make_unique<UrlTally>(tally.Page());
    }
    ShareOut(
        batch.size(), jobs,
        [&](std::size_t i) {
            TallyStreams(batch[i], i == 0 ? tally : *batch[i].ownTally, cut, reading);
        },
        [&] { reading.Advance(); });
    if (reading.StopRequested()) return std::nullopt;
    for (StreamedLog& read : batch) {
        if (read.failure) return read.failure;
        Add(counts, read.counts);
        if (read.ownTally && !tally.Merge(std::move(*read.ownTally), &reading)) break;
        read.ownTally.reset();
    }
    return std::nullopt;
}

std::optional<RunResult> TallyInRanges(OpenedLog& log, const UrlCut& cut, const Threads& threads,
                                       UrlTally& tally, Progress::Phase& reading,
                                       LogCounts& counts) {
    Result<LineCounts> lines = TallyInRanges(log.File(), log.File().Size(), threads.jobs,
                                             threads.minimumRange, cut, tally, reading);
    if (!lines) return Unreadable(log.Path(), lines.Failure());
    Add(counts, {1, lines->lines, lines->withUrl, LooksOf(log.Head())});
    return std::nullopt;
}

}  // namespace

std::optional<RunResult> TallyLogs(OpenedLogs& logs, const UrlCut& cut, const Threads& threads,
                                   UrlTally& tally, Progress::Phase& reading, LogCounts& counts) {
    // A plain log of two ranges or more takes every thread; the logs between such
    // ones go together, as many at once as there are threads.
    std::vector<OpenedLog*> together;
    const auto tallyTogether = [&]() -> std::optional<RunResult> {
        std::optional<RunResult> failure =
            TallyTogether(together, cut, threads.jobs, tally, reading, counts);
        together.clear();
        return failure;
    };
    for (const auto& log : logs) {
        if (reading.StopRequested()) return std::nullopt;
        if (Status fault = log->Failure()) return Unreadable(log->Path(), *fault);
        const bool inRanges = threads.jobs > 1 && log->IsPlainFile() &&
                              log->File().Size() >= 2 * threads.minimumRange;
        if (!inRanges) together.push_back(log.get());
        if ((inRanges || together.size() == threads.jobs) && !together.empty()) {
            if (std::optional<RunResult> failure = tallyTogether()) return failure;
        }
        if (inRanges) {
            if (std::optional<RunResult> failure =
                    TallyInRanges(*log, cut, threads, tally, reading, counts))
                return failure;
        }
    }
    if (!together.empty()) return tallyTogether();
    return std::nullopt;
}

}  // namespace kestrin
