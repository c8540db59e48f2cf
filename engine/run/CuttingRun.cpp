#include "run/CuttingRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>

#include "input/ByteSource.h"
#include "input/LogLooks.h"
#include "input/LogRanges.h"
#include "input/LogReader.h"
#include "report/ReportFile.h"
#include "report/ReportListing.h"
#include "report/ReportWriter.h"
#include "tally/ParallelTally.h"
#include "tally/UrlTally.h"
#include "text/CodePage.h"
#include "text/CuttingRule.h"
#include "text/HostFilter.h"

namespace kestrin {
namespace {

// A plain log this big is tallied in ranges, one a thread: below it the threads
// cost more than they save.
constexpr std::int64_t kRangesFrom = 32 << 20;

// Below this much log a run is over before progress would mean anything.
constexpr std::int64_t kProgressFrom = 16 << 20;

// How much of a run each phase takes, in thousandths, for its progress: reading
// the logs, putting the entries in URL order, the first listing, the ranked one.
constexpr int kReadShare = 750, kSortShare = 100, kListShare = 100;

// 0 for an ordinary file: a regular file (links followed) whose own name is not
// hidden; else an errno that says why not, or -1 where none does.
int NotOrdinaryFile(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return errno;
    if (S_ISDIR(info.st_mode)) return EISDIR;
    if (!S_ISREG(info.st_mode)) return -1;
    std::size_t slash = path.find_last_of('/');
    std::string_view name =
        std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
    return name.empty() || name[0] != '.' ? 0 : -1;
}

// One log of the run: its descriptor (closed at the end unless the caller's) and
// what it is.
struct Log {
    std::string path;
    int fd = -1;
    bool owned = false;
    struct stat info {};
    Log() = default;
    Log(const Log&) = delete;
    Log(Log&& other) noexcept
        : path(std::move(other.path)), fd(other.fd), owned(other.owned), info(other.info) {
        other.fd = -1;
    }
    ~Log() {
        if (owned && fd >= 0) close(fd);
    }
};

class Run {
  public:
    Run(const RunRequest& request, Ui& ui) : request_(request), ui_(ui) {}

    RunResult Execute() {
        std::string codePageError;
        const CodePage* page = CodePage::Shared(request_.codePage, codePageError);
        if (page == nullptr)
            return {.outcome = RunOutcome::CodePageUnusable, .detail = codePageError};

        const std::u16string& keyword = request_.backKeyword;
        if (AnsiLength(keyword, *page) != 1) return {.outcome = RunOutcome::KeywordNotSingleByte};
        if (std::optional<RunResult> failure = OpenLogs()) return *failure;
        if (std::optional<RunResult> failure = OpenReport()) return *failure;

        UrlTally tally(*page);
        const CuttingRule rule(*page, keyword[0], request_.schemes);
        const HostFilter hosts(request_.excludedHosts);
        for (const Log& log : logs_) totalSize_ += S_ISREG(log.info.st_mode) ? log.info.st_size : 0;
        for (const Log& log : logs_) {
            if (std::optional<RunResult> failure = request_.mergeReports
                                                       ? Merge(log, hosts, tally)
                                                       : Tally(log, {rule, hosts}, *page, tally))
                return *failure;
            if (StopRequested()) return {.outcome = RunOutcome::Stopped};
        }
        UrlTable table = std::move(tally).SortByUrl(
            [&](std::uint64_t done, std::uint64_t total) {
                ShowProgress(kReadShare, kSortShare, done, total);
            },
            unsigned(Jobs()));
        counts_.distinctUrls = table.EntryCount();
        counts_.looks = LooksOf(head_);

        int error = WriteReport(
            report_.Descriptor() >= 0 ? report_.Descriptor() : request_.saveDescriptor, table);
        if (StopRequested()) return {.outcome = RunOutcome::Stopped};
        if (error == 0 && report_.Descriptor() >= 0) error = report_.Commit();
        if (error != 0) return SaveFailure(error);
        RunResult done = counts_;
        done.path = request_.savePath;
        return done;
    }

  private:
    bool StopRequested() const {
        return request_.stop != nullptr && request_.stop->load(std::memory_order_relaxed);
    }

    RunResult LogFailure(RunOutcome outcome, const std::string& path, int error,
                         std::string detail = {}) const {
        return {.outcome = outcome, .path = path, .systemError = error, .detail = detail};
    }
    RunResult SaveFailure(int error, std::string detail = {}) const {
        return {.outcome = RunOutcome::ReportUnsavable,
                .path = request_.savePath,
                .systemError = error,
                .detail = detail};
    }

    // Every log is checked before anything is read or written, then opened.
    std::optional<RunResult> OpenLogs() {
        std::vector<std::string> paths = request_.logPaths;
        if (paths.empty()) paths.push_back("-");
        for (const std::string& path : paths) {
            if (path == "-") continue;
            if (int why = NotOrdinaryFile(path); why != 0)
                return LogFailure(RunOutcome::LogNotFound, path, std::max(why, 0));
        }
        for (const std::string& path : paths) {
            Log log;
            log.path = path;
            if (path == "-") {
                log.fd = request_.logDescriptor;
                if (log.fd < 0 || fstat(log.fd, &log.info) != 0)
                    return LogFailure(RunOutcome::LogNotFound, path, log.fd < 0 ? EBADF : errno);
            } else {
                log.fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
                log.owned = log.fd >= 0;
                if (log.fd < 0) return LogFailure(RunOutcome::LogUnreadable, path, errno);
                if (fstat(log.fd, &log.info) != 0 || !S_ISREG(log.info.st_mode))
                    return LogFailure(RunOutcome::LogNotFound, path, 0);
            }
            if (S_ISREG(log.info.st_mode)) logStats_.push_back(log.info);
            logs_.push_back(std::move(log));
        }
        return std::nullopt;
    }

    // The report never replaces a log, whatever name the save path gives it. Only
    // an ordinary file can be a log and a report at once: a terminal can be both
    // standard input and output.
    std::optional<RunResult> OpenReport() {
        const std::string isALog = "the report would replace a log";
        if (request_.saveDescriptor >= 0) {
            struct stat save;
            if (fstat(request_.saveDescriptor, &save) != 0) return SaveFailure(errno);
            if (S_ISREG(save.st_mode) && IsLog(save, logStats_)) return SaveFailure(0, isALog);
            return std::nullopt;
        }
        const int error = report_.Open(request_.savePath, logStats_);
        if (error == ETXTBSY) return SaveFailure(0, isALog);
        if (error != 0) return SaveFailure(error);
        return std::nullopt;
    }

    // Where the run has come, as a share of the log's bytes: `share` thousandths
    // of the run from `from` on, `done` of `total` of that phase. Told only when
    // the thousandth changes, so that a front end is not flooded.
    void ShowProgress(int from, int share, std::uint64_t done, std::uint64_t total) {
        if (totalSize_ < kProgressFrom || total == 0) return;
        const int now =
            from + int(std::min<std::uint64_t>(done, total) * std::uint64_t(share) / total);
        if (now == shown_) return;
        shown_ = now;
        ui_.ShowProgress(totalSize_ * now / 1000, totalSize_);
    }

    bool KeepGoing(std::int64_t bytesRead) {
        ShowProgress(0, kReadShare, std::uint64_t(doneSize_ + bytesRead),
                     std::uint64_t(totalSize_));
        return !StopRequested();
    }

    std::size_t Jobs() const { return request_.jobs > 0 ? request_.jobs : UsableProcessors(); }

    std::optional<RunResult> Tally(const Log& log, const UrlCut& cut, const CodePage& page,
                                   UrlTally& tally) {
        LineCounts lines;
        const std::size_t jobs = Jobs();
        if (S_ISREG(log.info.st_mode) && jobs > 1 && log.info.st_size >= kRangesFrom) {
            std::string first(kHeadBytes, '\0');
            const ssize_t got = pread(log.fd, first.data(), first.size(), 0);
            if (got < 0) return LogFailure(RunOutcome::LogUnreadable, log.path, errno);
            first.resize(std::size_t(got));
            if (!IsCompressed(first)) {
                head_.append(first, 0, kHeadBytes - std::min(kHeadBytes, head_.size()));
                const int error =
                    TallyInRanges(log.fd, log.info.st_size, jobs, page, cut, tally, lines,
                                  [&](std::int64_t bytes) { return KeepGoing(bytes); });
                if (error != 0) return LogFailure(RunOutcome::LogUnreadable, log.path, error);
                Add(lines, log.info.st_size);
                return std::nullopt;
            }
        }
        std::unique_ptr<ByteSource> opened = OpenLogSource(log.fd);
        HeadKeepingSource source(*opened, head_);
        LogReader reader(source);
        TallyLines(reader, cut, tally, lines,
                   [&](std::int64_t) { return KeepGoing(source.Consumed()); });
        if (source.Error() != 0)
            return LogFailure(RunOutcome::LogUnreadable, log.path, source.Error(), source.Reason());
        Add(lines, source.Consumed());
        return std::nullopt;
    }

    void Add(const LineCounts& lines, std::int64_t bytes) {
        counts_.lines += lines.lines;
        counts_.linesWithUrl += lines.withUrl;
        doneSize_ += bytes;
    }

    std::optional<RunResult> Merge(const Log& log, const HostFilter& hosts, UrlTally& tally) {
        std::unique_ptr<ByteSource> opened = OpenLogSource(log.fd);
        HeadKeepingSource source(*opened, head_);
        std::string problem =
            ReadReportListing(source, [&](std::string_view url, std::uint64_t count) {
                ++counts_.lines;
                if (hosts.Excludes(url)) return;
                ++counts_.linesWithUrl;
                tally.Count(url, count);
            });
        if (source.Error() != 0)
            return LogFailure(RunOutcome::LogUnreadable, log.path, source.Error(), source.Reason());
        if (!problem.empty()) return LogFailure(RunOutcome::NotAReport, log.path, 0, problem);
        doneSize_ += source.Consumed();
        return std::nullopt;
    }

    // Returns the errno of a failed write, or 0.
    int WriteReport(int fd, UrlTable& table) {
        ReportWriter report(fd);
        WriteListing(report, table, ProgressFrom(kReadShare + kSortShare, kListShare));
        if (!report.Flush()) return report.Error();
        if (ui_.AskYesNo("Sortting Data Output?", "Confirm")) {
            report.WriteLine(kRankedBanner);
            // The ranking and its listing share what is left of the progress.
            const int ranked = kReadShare + kSortShare + kListShare;
            const int half = (1000 - ranked) / 2;
            table.RankByCount(ProgressFrom(ranked, half));
            WriteListing(report, table, ProgressFrom(ranked + half, 1000 - ranked - half));
        }
        report.Flush();
        return report.Error();
    }

    static void WriteListing(ReportWriter& report, const UrlTable& table,
                             const ProgressReport& progress) {
        const std::size_t entries = table.EntryCount();
        for (std::size_t i = 0; i < entries; ++i) {
            if (i % 65536 == 0) progress(i, entries);
            const UrlEntry entry = table[i];
            report.WriteEntry(entry.Url, entry.Count);
        }
        progress(entries, entries);
    }

    // Progress of a step that takes `share` per mille from `from` on.
    ProgressReport ProgressFrom(int from, int share) {
        return [this, from, share](std::uint64_t done, std::uint64_t total) {
            ShowProgress(from, share, done, total);
        };
    }

    const RunRequest& request_;
    Ui& ui_;
    std::vector<Log> logs_;
    std::vector<struct stat> logStats_;
    ReportFile report_;  // discarded, if not committed, when the run ends
    std::string head_;
    RunResult counts_;
    std::int64_t totalSize_ = 0;  // of the regular logs
    std::int64_t doneSize_ = 0;   // of the logs read to their end
    int shown_ = -1;              // the thousandth of the run last shown
};

RunResult ExecuteGuarded(const RunRequest& request, Ui& ui) {
    // The tally's limits and the allocator are the only things that throw; the
    // user hears of them like of any failure.
    try {
        return Run(request, ui).Execute();
    } catch (const std::bad_alloc& failure) {
        return {
            .outcome = RunOutcome::OutOfMemory, .systemError = ENOMEM, .detail = failure.what()};
    } catch (const std::exception& failure) {
        return {.outcome = RunOutcome::InternalFailure, .detail = failure.what()};
    }
}

}  // namespace

RunResult CuttingRun(const RunRequest& request, Ui& ui) {
    ui.EnterBusy();
    const RunResult result = ExecuteGuarded(request, ui);
    const RunMessage message = MessageFor(result);
    if (result.outcome != RunOutcome::Stopped)
        ui.ShowMessage(message.text, message.title, message.icon);
    ui.LeaveBusy();
    return result;
}

}  // namespace kestrin
