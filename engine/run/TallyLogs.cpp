#include <algorithm>

#include "input/LineCutter.h"
#include "input/LogLooks.h"
#include "run/TallyLogs.h"
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
    Status failure;
};

// The fault names the log.
Fault Named(Fault fault, const OpenedLog& log) {
    fault.subject = log.Path();
    return fault;
}

// What the user should know of a log read all the same, naming it.
void AddWarnings(std::vector<std::string>& warnings, const LogStreams& streams,
                 const OpenedLog& log) {
    for (const std::string& warning : streams.Warnings())
        warnings.push_back(log.Path() + ": " + warning);
}

// Reads every stream the log holds (one, or an archive's members) into `tally`.
// With `readAhead`, a compressed log is decompressed on a thread beside the tally.
Status TallyStreams(StreamedLog& read, UrlTally& tally, const UrlCut& cut, Phase& reading,
                    bool readAhead) {
    LogStreams streams = read.log->Streams([&] { return reading.Check(); }, readAhead);
    for (;;) {
        Result<ByteSource*> stream = streams.Next();
        if (!stream) return stream.Failure();
        if (*stream == nullptr) {
            read.counts.skipped += streams.Skipped();
            AddWarnings(read.counts.warnings, streams, *read.log);
            return std::nullopt;
        }
        if (read.counts.logs++ == 0) read.counts.looks = LooksOf(streams.Head());
        LineCutter cutter(**stream, cut.rule);
        Phase::Piece piece(reading);
        Result<LineCounts> lines = TallyLines(cutter, **stream, cut.hosts, tally, piece);
        if (!lines) {
            Fault fault = lines.Failure();
            // A member's fault names the member.
            if (!streams.MemberName().empty() && !fault.IsStop())
                fault.detail = streams.MemberName() + ": " + fault.Reason();
            return fault;
        }
        read.counts.lines += lines->lines;
        read.counts.linesWithUrl += lines->withUrl;
    }
}

void Add(LogCounts& counts, const LogCounts& more) {
    if (counts.logs == 0) counts.looks = more.looks;
    counts.logs += more.logs;
    counts.lines += more.lines;
    counts.linesWithUrl += more.linesWithUrl;
    counts.skipped += more.skipped;
    counts.warnings.insert(counts.warnings.end(), more.warnings.begin(), more.warnings.end());
}

// Streamed logs that follow one another, read at once, one a thread, and merged in
// their order: the first reads into the run's tally, which holds what came before.
// A log merged into the run's tally: the merge is told in the log's bytes.
Status MergeLog(StreamedLog& read, UrlTally& tally, Phase& merging) {
    const std::uint64_t size = std::uint64_t(read.log->File().Size());
    if (!read.ownTally) return Phase::Piece(merging).Reach(size);
    const std::size_t forms = read.ownTally->RecordCount();
    Phase::Piece piece(merging, forms == 0 ? 1 : double(size) / double(forms));
    Status fault = tally.Merge(std::move(*read.ownTally), &piece);
    read.ownTally.reset();
    return fault;
}

Status TallyTogether(std::span<const std::unique_ptr<OpenedLog>> logs, const UrlCut& cut,
                     std::size_t jobs, UrlTally& tally, const ReadingPhases& phases,
                     LogCounts& counts) {
    std::vector<StreamedLog> batch(logs.size());
    // Threads the batch leaves free decompress beside the tallies.
    const bool readAhead = batch.size() < jobs;
    for (std::size_t i = 0; i < logs.size(); ++i) {
        batch[i].log = logs[i].get();
        if (i > 0) batch[i].ownTally = std::make_unique<UrlTally>(tally.Page());
    }
    ShareOut(
        batch.size(), jobs,
        [&](std::size_t i) {
            UrlTally& into = i == 0 ? tally : *batch[i].ownTally;
            batch[i].failure = TallyStreams(batch[i], into, cut, phases.reading, readAhead);
        },
        [&] { (void)phases.reading.Poll(); });
    // The first log's fault comes first, whatever the others met after it.
    for (StreamedLog& read : batch) {
        if (read.failure) return Named(*read.failure, *read.log);
        Add(counts, read.counts);
        if (Status fault = MergeLog(read, tally, phases.merging)) return Named(*fault, *read.log);
    }
    return std::nullopt;
}

Status TallyInRanges(OpenedLog& log, const UrlCut& cut, const WorkSharing& sharing, UrlTally& tally,
                     const ReadingPhases& phases, LogCounts& counts) {
    Result<LineCounts> lines = TallyInRanges(log.File(), log.File().Size(), sharing.jobs,
                                             sharing.minimumRange, cut, tally, phases);
    if (!lines) return Named(lines.Failure(), log);
    Add(counts, {.logs = 1,
                 .lines = lines->lines,
                 .linesWithUrl = lines->withUrl,
                 .looks = LooksOf(log.Head())});
    return std::nullopt;
}

}  // namespace

Status TallyLogs(const FoundLogs& logs, const UrlCut& cut, const WorkSharing& sharing,
                 UrlTally& tally, const ReadingPhases& phases, LogCounts& counts) {
    // A plain log of two ranges or more takes every thread; the logs between such
    // ones go together, as many at once as there are threads, and only they are open.
    std::vector<std::unique_ptr<OpenedLog>> together;
    const auto tallyTogether = [&]() -> Status {
        if (together.empty()) return std::nullopt;
        Status fault = TallyTogether(together, cut, sharing.jobs, tally, phases, counts);
        together.clear();
        return fault;
    };
    for (const FoundLog& found : logs) {
        if (Status stop = phases.reading.Check()) return stop;
        Result<std::unique_ptr<OpenedLog>> log = OpenedLog::Open(found);
        if (Status fault = log ? (*log)->Failure() : Status(log.Failure())) {
            // The logs before it are read first: the first log that fails fails the run.
            if (Status before = tallyTogether()) return before;
            fault->subject = found.path;
            return fault;
        }
        const bool inRanges = sharing.jobs > 1 && (*log)->IsTextFile() &&
                              (*log)->File().Size() >= 2 * sharing.minimumRange;
        if (!inRanges) {
            together.push_back(std::move(*log));
            if (together.size() < sharing.jobs) continue;
        }
        if (Status fault = tallyTogether()) return fault;
        if (inRanges) {
            if (Status fault = TallyInRanges(**log, cut, sharing, tally, phases, counts))
                return fault;
        }
    }
    if (Status fault = tallyTogether()) return fault;
    return tally.Failure();
}

}  // namespace kestrin
