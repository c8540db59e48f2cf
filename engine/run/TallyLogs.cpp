#include <algorithm>
#include <cstdint>
#include <mutex>
#include <span>

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
    Status mergeFault;  // of its tally's merge into the run's
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

// Tallies of logs merged into the run's, emptied and kept for the logs after them:
// a log of some hundred thousand URLs costs less to count than its tally's fresh
// memory does to be faulted in and zeroed by the system, and its table to grow.
class SpareTallies {
  public:
    explicit SpareTallies(const CodePage& page) : page_(page) {}

    // A kept tally, or a new one.
    std::unique_ptr<UrlTally> Take() {
        {
            const std::lock_guard lock(mutex_);
            if (!kept_.empty()) {
                std::unique_ptr<UrlTally> tally = std::move(kept_.back());
                kept_.pop_back();
                return tally;
            }
        }
        return std::make_unique<UrlTally>(page_);
    }
    // `tally`, merged, for another log.
    void Keep(std::unique_ptr<UrlTally> tally) {
        const std::lock_guard lock(mutex_);
        kept_.push_back(std::move(tally));
    }
    // Gives the kept tallies' memory back, for a log read in ranges.
    void Release() { kept_.clear(); }

  private:
    const CodePage& page_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<UrlTally>> kept_;
};

// A log merged into the run's tally: the merge is told in the log's bytes. The
// log's own tally, emptied, is kept in `spares` unless the merge failed.
Status MergeLog(StreamedLog& read, UrlTally& tally, Phase& merging, SpareTallies& spares) {
    const std::uint64_t size = std::uint64_t(read.log->File().Size());
    if (!read.ownTally) return Phase::Piece(merging).Reach(size);
    const std::size_t forms = read.ownTally->RecordCount();
    Phase::Piece piece(merging, forms == 0 ? 1 : double(size) / double(forms));
    Status fault = tally.Merge(std::move(*read.ownTally), &piece);
    if (fault)
        read.ownTally.reset();
    else
        spares.Keep(std::move(read.ownTally));
    return fault;
}

// The tallies of a batch merged into the run's in the logs' order, each as soon
// as its log and every one before it are read, by the thread that read the last
// of them while the others read on: a merge at the end of the batch would leave
// every thread but one waiting for it. The merges stop for good at the first log
// that failed, to read or to merge, and the logs after it are not read.
class MergesInOrder {
  public:
    MergesInOrder(std::span<StreamedLog> batch, UrlTally& tally, Phase& merging,
                  SpareTallies& spares)
        : batch_(batch),
          tally_(tally),
          merging_(merging),
          spares_(spares),
          read_(batch.size(), false) {}

    // Whether log `i` is to be read: not once a log before it has failed.
    bool ToRead(std::size_t i) {
        const std::lock_guard lock(mutex_);
        return i < failedAt_;
    }

    // Log `i` is read: merges what can be merged now, unless a thread is at it.
    void Read(std::size_t i) {
        {
            const std::lock_guard lock(mutex_);
            read_[i] = true;
            if (batch_[i].failure) failedAt_ = std::min(failedAt_, i);
            if (merger_) return;  // it goes on to this log when its turn comes
            merger_ = true;
        }
        for (;;) {
            StreamedLog* next = nullptr;
            {
                const std::lock_guard lock(mutex_);
                if (merged_ < std::min(failedAt_, batch_.size()) && read_[merged_])
                    next = &batch_[merged_];
                if (next == nullptr) {
                    merger_ = false;
                    return;
                }
            }
            next->mergeFault = MergeLog(*next, tally_, merging_, spares_);
            const std::lock_guard lock(mutex_);
            if (next->mergeFault)
                failedAt_ = std::min(failedAt_, merged_);
            else
                ++merged_;
        }
    }

  private:
    std::span<StreamedLog> batch_;
    UrlTally& tally_;
    Phase& merging_;
    SpareTallies& spares_;
    std::mutex mutex_;
    std::vector<bool> read_;
    std::size_t merged_ = 0;
    std::size_t failedAt_ = SIZE_MAX;  // the first log that failed, to read or to merge
    bool merger_ = false;
};

// Streamed logs that follow one another, read at once, one a thread, and merged in
// their order: the first reads into the run's tally, which holds what came before,
// the others each into a tally of `spares`.
Status TallyTogether(std::span<const std::unique_ptr<OpenedLog>> logs, const UrlCut& cut,
                     std::size_t jobs, UrlTally& tally, SpareTallies& spares,
                     const ReadingPhases& phases, LogCounts& counts) {
    std::vector<StreamedLog> batch(logs.size());
    // Threads the batch leaves free decompress beside the tallies.
    const bool readAhead = batch.size() < jobs;
    for (std::size_t i = 0; i < logs.size(); ++i) batch[i].log = logs[i].get();
    MergesInOrder merges(batch, tally, phases.merging, spares);
    ShareOut(
        batch.size(), jobs,
        [&](std::size_t i) {
            if (!merges.ToRead(i)) return;
            if (i > 0) batch[i].ownTally = spares.Take();
            UrlTally& into = i == 0 ? tally : *batch[i].ownTally;
            batch[i].failure = TallyStreams(batch[i], into, cut, phases.reading, readAhead);
            merges.Read(i);
        },
        [&] { (void)phases.reading.Poll(); });
    // The first log's fault comes first, whatever the others met after it.
    for (StreamedLog& read : batch) {
        if (read.failure) return Named(*read.failure, *read.log);
        Add(counts, read.counts);
        if (read.mergeFault) return Named(*read.mergeFault, *read.log);
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
    // ones go together, two for each thread (a batch of as many as there are
    // threads waited, each time, for its slowest log), and only they are open. Not
    // more: a log's tally is held until every log before it is read. On one thread,
    // a log is opened only once the one before it is read.
    const std::size_t atOnce =
        sharing.jobs <= 1 ? 1 : std::max(sharing.jobs, std::min<std::size_t>(2 * sharing.jobs, 16));
    std::vector<std::unique_ptr<OpenedLog>> together;
    SpareTallies spares(tally.Page());
    const auto tallyTogether = [&]() -> Status {
        if (together.empty()) return std::nullopt;
        Status fault = TallyTogether(together, cut, sharing.jobs, tally, spares, phases, counts);
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
            if (together.size() < atOnce) continue;
        }
        if (Status fault = tallyTogether()) return fault;
        if (inRanges) {
            spares.Release();
            if (Status fault = TallyInRanges(**log, cut, sharing, tally, phases, counts))
                return fault;
        }
    }
    if (Status fault = tallyTogether()) return fault;
    return tally.Failure();
}

}  // namespace kestrin
