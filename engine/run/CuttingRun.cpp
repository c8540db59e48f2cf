#include "run/CuttingRun.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>

#include "input/FileSource.h"
#include "input/LogKind.h"
#include "input/LogLooks.h"
#include "input/LogReader.h"
#include "input/LogStreams.h"
#include "os/File.h"
#include "os/Processors.h"
#include "os/ReportFile.h"
#include "report/ReportListing.h"
#include "report/ReportWriter.h"
#include "tally/ParallelTally.h"
#include "tally/UrlTally.h"
#include "text/CodePage.h"
#include "text/CuttingRule.h"
#include "text/HostFilter.h"

namespace kestrin {
namespace {

// Below this much log a run is over before progress would mean anything.
constexpr std::int64_t kProgressFrom = 16 << 20;

// How much of a run reading the logs and putting the entries in URL order take;
// the report takes the rest.
constexpr double kReadingShare = 0.75, kSortingShare = 0.10;

// One input of the run, open, its first bytes read to tell what it is. Its parts
// refer to each other: it stays where it was made.
struct Log {
    std::string path;
    os::File file;
    std::unique_ptr<FileSource> source;
    std::unique_ptr<PeekedSource> peeked;

    Log(std::string name, os::File opened)
        : path(std::move(name)),
          file(std::move(opened)),
          source(std::make_unique<FileSource>(file)),
          peeked(std::make_unique<PeekedSource>(*source, kHeadBytes)) {}
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;
};

class Run {
  public:
    Run(const RunRequest& request, Ui& ui)
        : request_(request),
          ui_(ui),
          jobs_(std::min(request.jobs == 0 ? os::UsableProcessors() : request.jobs,
                         os::UsableProcessors())),
          minimumRange_(request.minimumRange > 0 ? request.minimumRange : kDefaultMinimumRange) {}

    RunResult Execute() {
        std::string codePageError;
        const CodePage* page = CodePage::Shared(request_.codePage, codePageError);
        if (page == nullptr)
            return {.outcome = RunOutcome::CodePageUnusable, .fault = {0, codePageError}};
        const std::u16string& keyword = request_.backKeyword;
        if (keyword.size() != 1 || !page->IsSingleByte(keyword[0]))
            return {.outcome = RunOutcome::KeywordNotSingleByte};
        if (std::optional<RunResult> failure = OpenLogs()) return *failure;
        if (std::optional<RunResult> failure = OpenReport()) return *failure;

        std::int64_t totalSize = 0;
        for (const auto& log : logs_) totalSize += log->file.Size();
        Progress progress(
            request_.stop, totalSize < kProgressFrom ? Progress::Listener() : [this](double done) {
                ui_.ShowProgress(done);
            });
        std::optional<UrlTable> table;
        try {
            UrlTally tally(*page);
            if (std::optional<RunResult> failure = TallyLogs(*page, tally, progress, totalSize))
                return *failure;
            if (progress.StopRequested()) return {.outcome = RunOutcome::Stopped};
            Progress::Phase sorting(progress, kSortingShare, tally.RecordCount());
            table.emplace(std::move(tally).SortByUrl(&sorting, unsigned(jobs_)));
        } catch (const CountOverflow& overflow) {
            // Only counts added up from reports can pass what a count holds.
            return LogFailure(RunOutcome::NotAReport, logs_.back()->path, {0, overflow.what()});
        }
        if (progress.StopRequested()) return {.outcome = RunOutcome::Stopped};
        counts_.distinctUrls = table->EntryCount();
        return WriteReport(*table, progress);
    }

  private:
    RunResult LogFailure(RunOutcome outcome, const std::string& path, Fault fault) const {
        return {.outcome = outcome, .path = path, .fault = std::move(fault)};
    }
    RunResult SaveFailure(Fault fault) const {
        return {.outcome = RunOutcome::ReportUnsavable,
                .path = request_.savePath,
                .fault = std::move(fault)};
    }

    // Every log is checked before anything is read or written, then opened.
    std::optional<RunResult> OpenLogs() {
        std::vector<std::string> paths = request_.logPaths;
        if (paths.empty()) paths.push_back("-");
        for (const std::string& path : paths) {
            if (path == "-") continue;
            if (Status why = os::NotOrdinaryFile(path))
                return LogFailure(RunOutcome::LogNotFound, path, *why);
        }
        for (const std::string& path : paths) {
            Result<os::File> file =
                path == "-" ? os::File::StandardInput() : os::File::OpenForReading(path);
            if (!file) return LogFailure(RunOutcome::LogUnreadable, path, file.Failure());
            // The file may have been swapped since it was checked.
            if (path != "-" && file->Kind() != os::FileKind::Regular)
                return LogFailure(RunOutcome::LogNotFound, path, {0, "not a regular file"});
            logs_.push_back(std::make_unique<Log>(path, std::move(*file)));
            if (logs_.back()->file.Kind() == os::FileKind::Regular)
                identities_.push_back(logs_.back()->file.Identity());
        }
        return std::nullopt;
    }

    // The report never replaces a log, whatever name the save path gives it.
    std::optional<RunResult> OpenReport() {
        Result<std::unique_ptr<os::ReportFile>> report =
            os::ReportFile::Open(request_.savePath, identities_);
        if (!report) return SaveFailure(report.Failure());
        report_ = std::move(*report);
        return std::nullopt;
    }

    std::optional<RunResult> TallyLogs(const CodePage& page, UrlTally& tally, Progress& progress,
                                       std::int64_t totalSize) {
        const CuttingRule rule(page, request_.backKeyword[0], request_.schemes);
        const HostFilter hosts(request_.excludedHosts);
        Progress::Phase reading(progress, kReadingShare, std::uint64_t(totalSize));
        for (const auto& opened : logs_) {
            Log& log = *opened;
            if (Status fault = log.peeked->Failure())
                return LogFailure(RunOutcome::LogUnreadable, log.path, *fault);
            std::optional<RunResult> failure =
                InRanges(log) ? TallyRanges(log, {rule, hosts}, tally, reading)
                              : TallyStreams(log, {rule, hosts}, tally, reading);
            if (failure) return failure;
            if (progress.StopRequested()) return std::nullopt;
        }
        return std::nullopt;
    }

    // Only a plain text log, in a regular file of at least two ranges, is read in
    // ranges; and a report to merge never is.
    bool InRanges(const Log& log) const {
        return !request_.mergeReports && jobs_ > 1 && log.file.Kind() == os::FileKind::Regular &&
               log.file.Size() >= 2 * minimumRange_ &&
               KindOf(log.peeked->Head()).form == LogForm::Text;
    }

    std::optional<RunResult> TallyRanges(Log& log, const UrlCut& cut, UrlTally& tally,
                                         Progress::Phase& reading) {
        KeepHead(log.peeked->Head());
        ++counts_.logs;
        Result<LineCounts> lines =
            TallyInRanges(log.file, log.file.Size(), jobs_, minimumRange_, cut, tally, reading);
        if (!lines) return LogFailure(RunOutcome::LogUnreadable, log.path, lines.Failure());
        Add(*lines);
        return std::nullopt;
    }

    // A log read as a stream: a pipe, a compressed log, each member of an archive.
    std::optional<RunResult> TallyStreams(Log& log, const UrlCut& cut, UrlTally& tally,
                                          Progress::Phase& reading) {
        LogStreams streams(*log.peeked,
                           log.file.Kind() == os::FileKind::Regular ? &log.file : nullptr);
        for (;;) {
            Result<ByteSource*> stream = streams.Next();
            if (!stream) return LogFailure(RunOutcome::LogUnreadable, log.path, stream.Failure());
            if (*stream == nullptr) return std::nullopt;
            KeepHead(streams.Head());
            ++counts_.logs;
            std::optional<RunResult> failure = request_.mergeReports
                                                   ? MergeReport(**stream, cut, tally, reading)
                                                   : TallyStream(**stream, cut, tally, reading);
            if (failure) {
                // A member's fault names the member.
                if (!streams.MemberName().empty())
                    failure->fault.detail = streams.MemberName() + ": " + failure->fault.Reason();
                failure->path = log.path;
                return failure;
            }
            if (reading.StopRequested()) return std::nullopt;
        }
    }

    std::optional<RunResult> TallyStream(ByteSource& stream, const UrlCut& cut, UrlTally& tally,
                                         Progress::Phase& reading) {
        LogReader reader(stream);
        Add(TallyLines(reader, stream, cut, tally, reading));
        if (reader.Failure()) return LogFailure(RunOutcome::LogUnreadable, {}, *reader.Failure());
        return std::nullopt;
    }

    std::optional<RunResult> MergeReport(ByteSource& report, const UrlCut& cut, UrlTally& tally,
                                         Progress::Phase& reading) {
        const std::int64_t before = report.Consumed();
        Result<std::string> problem =
            ReadReportListing(report, [&](std::string_view url, std::uint64_t count) {
                ++counts_.lines;
                if (cut.hosts.Excludes(url)) return;
                ++counts_.linesWithUrl;
                tally.Count(url, count);
            });
        reading.Advance(std::uint64_t(std::max<std::int64_t>(report.Consumed() - before, 0)));
        if (!problem) return LogFailure(RunOutcome::LogUnreadable, {}, problem.Failure());
        if (!problem->empty()) return LogFailure(RunOutcome::NotAReport, {}, {0, *problem});
        return std::nullopt;
    }

    void KeepHead(std::string_view head) {
        if (counts_.logs == 0) counts_.looks = LooksOf(head);
    }

    void Add(const LineCounts& lines) {
        counts_.lines += lines.lines;
        counts_.linesWithUrl += lines.withUrl;
    }

    // The question comes before a byte is written, so that a report written in
    // place is whole before it touches the previous one.
    RunResult WriteReport(UrlTable& table, Progress& progress) {
        const bool ranked = ui_.AskYesNo("Sortting Data Output?", "Confirm");
        if (progress.StopRequested()) return {.outcome = RunOutcome::Stopped};
        if (report_->WritesInPlace()) {
            if (Status fault = report_->Reserve(ReportSize(table, ranked)))
                return SaveFailure(*fault);
        }
        Status fault = kestrin::WriteReport(*report_, table, ranked, progress);
        if (!report_->WritesInPlace() && progress.StopRequested())
            return {.outcome = RunOutcome::Stopped};
        if (!fault) fault = report_->Commit();
        if (fault) return SaveFailure(*fault);
        RunResult done = counts_;
        done.path = request_.savePath;
        done.warnings = report_->Warnings();
        return done;
    }

    const RunRequest& request_;
    Ui& ui_;
    const std::size_t jobs_;
    const std::int64_t minimumRange_;
    std::vector<std::unique_ptr<Log>> logs_;
    std::vector<os::FileIdentity> identities_;
    std::unique_ptr<os::ReportFile> report_;  // discarded, if not committed, when the run ends
    RunResult counts_;
};

RunResult ExecuteGuarded(const RunRequest& request, Ui& ui) {
    // The tally's limits and the allocator are the only things that throw; the
    // user hears of them like of any failure.
    try {
        return Run(request, ui).Execute();
    } catch (const std::bad_alloc& failure) {
        return {.outcome = RunOutcome::OutOfMemory, .fault = {ENOMEM, failure.what()}};
    } catch (const std::exception& failure) {
        return {.outcome = RunOutcome::InternalFailure, .fault = {0, failure.what()}};
    }
}

}  // namespace

RunResult CuttingRun(const RunRequest& request, Ui& ui) {
    ui.EnterBusy();
    const RunResult result = ExecuteGuarded(request, ui);
    if (result.outcome != RunOutcome::Stopped) ui.ShowMessage(MessageFor(request, result));
    ui.LeaveBusy();
    return result;
}

}  // namespace kestrin
