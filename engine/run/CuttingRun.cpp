#include "run/CuttingRun.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <stdexcept>

#include "os/Processors.h"
#include "os/ReportFile.h"
#include "report/ReportWriter.h"
#include "run/Roads.h"
#include "tally/ParallelTally.h"
#include "text/CodePage.h"
#include "text/CuttingRule.h"
#include "text/HostFilter.h"
#include "text/Transcoder.h"

namespace kestrin {
namespace {

// Below this much log a run is over before progress would mean anything.
constexpr std::int64_t kProgressFrom = 16 << 20;

// How much of a run reading the logs and putting the entries in URL order take;
// the report takes the rest.
constexpr double kReadingShare = 0.75, kSortingShare = 0.10;

// A run, step by step: check the request, open the logs and the report, fill the
// tally by one of the two roads, sort it, ask, write the report, commit.
class Run {
  public:
    Run(const RunRequest& request, Ui& ui) : request_(request), ui_(ui) {}

    RunResult Execute() {
        const Result<const CodePage*> opened = CodePage::Shared(request_.codePage);
        if (!opened) return {.outcome = RunOutcome::CodePageUnusable, .fault = opened.Failure()};
        const CodePage* page = *opened;
        if (!request_.reportCodePage.empty()) {
            Result<std::unique_ptr<Transcoder>> transcoder =
                Transcoder::Open(*page, request_.reportCodePage);
            if (!transcoder)
                return {.outcome = RunOutcome::CodePageUnusable, .fault = transcoder.Failure()};
            transcoder_ = std::move(*transcoder);
        }
        const std::u16string& keyword = request_.backKeyword;
        if (keyword.size() != 1 || !page->IsSingleByte(keyword[0]))
            return {.outcome = RunOutcome::KeywordNotSingleByte};
        if (std::optional<RunResult> failure = OpenLogs()) return *failure;
        if (std::optional<RunResult> failure = OpenReport()) return *failure;

        Progress progress(request_.stop, ProgressListener());
        std::optional<UrlTable> table;
        try {
            UrlTally tally(*page);
            if (std::optional<RunResult> failure = FillTally(*page, tally, progress))
                return *failure;
            if (progress.StopRequested()) return {.outcome = RunOutcome::Stopped};
            Progress::Phase sorting(progress, kSortingShare, tally.RecordCount());
            table.emplace(std::move(tally).SortByUrl(&sorting, unsigned(Jobs())));
        } catch (const CountOverflow& overflow) {
            // Only counts added up from reports can pass what a count holds.
            return {.outcome = RunOutcome::NotAReport,
                    .path = logs_.back()->Path(),
                    .fault = {0, overflow.what()}};
        }
        if (progress.StopRequested()) return {.outcome = RunOutcome::Stopped};
        counts_.distinctUrls = table->EntryCount();
        return WriteReport(*table, progress);
    }

  private:
    std::size_t Jobs() const {
        const std::size_t usable = os::UsableProcessors();
        return request_.jobs == 0 ? usable : std::min(request_.jobs, usable);
    }

    Progress::Listener ProgressListener() const {
        std::int64_t size = 0;
        for (const auto& log : logs_) size += log->File().Size();
        if (size < kProgressFrom) return {};
        return [this](double done) { ui_.ShowProgress(done); };
    }

    // Every log is checked before anything is read or written, then opened.
    std::optional<RunResult> OpenLogs() {
        std::vector<std::string> paths = request_.logPaths;
        if (paths.empty()) paths.push_back("-");
        // Standard input is read once: a second "-" would get what the first left.
        if (std::count(paths.begin(), paths.end(), "-") > 1)
            return RunResult{.outcome = RunOutcome::LogUnreadable,
                             .path = "-",
                             .fault = {0, "standard input is named more than once"}};
        for (const std::string& path : paths) {
            if (path == "-") continue;
            if (Status why = os::NotOrdinaryFile(path))
                return RunResult{.outcome = RunOutcome::LogNotFound, .path = path, .fault = *why};
        }
        for (const std::string& path : paths) {
            Result<std::unique_ptr<OpenedLog>> log = OpenedLog::Open(path);
            if (!log)
                return RunResult{
                    .outcome = RunOutcome::LogUnreadable, .path = path, .fault = log.Failure()};
            // The file may have been swapped since it was checked.
            if (path != "-" && !(*log)->IsRegularFile())
                return RunResult{.outcome = RunOutcome::LogNotFound,
                                 .path = path,
                                 .fault = {0, "not a regular file"}};
            if ((*log)->IsRegularFile()) identities_.push_back((*log)->File().Identity());
            logs_.push_back(std::move(*log));
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

    RunResult SaveFailure(Fault fault) const {
        return {.outcome = RunOutcome::ReportUnsavable,
                .path = request_.savePath,
                .fault = std::move(fault)};
    }

    std::optional<RunResult> FillTally(const CodePage& page, UrlTally& tally, Progress& progress) {
        const CuttingRule rule(page, request_.backKeyword[0], request_.schemes);
        const HostFilter hosts(request_.excludedHosts);
        std::int64_t size = 0;
        for (const auto& log : logs_) size += log->File().Size();
        Progress::Phase reading(progress, kReadingShare, std::uint64_t(size));
        if (request_.mergeReports)
            return MergeReports(logs_, {rule, hosts}, tally, reading, counts_.merged);
        const Threads threads{
            Jobs(), request_.minimumRange > 0 ? request_.minimumRange : kDefaultMinimumRange};
        return TallyLogs(logs_, {rule, hosts}, threads, tally, reading, counts_.read);
    }

    // The question comes before a byte is written, so that a report written in
    // place is whole before it touches the previous one.
    RunResult WriteReport(UrlTable& table, Progress& progress) {
        const bool ranked = ui_.AskYesNo("Sortting Data Output?", "Confirm");
        if (progress.StopRequested()) return {.outcome = RunOutcome::Stopped};
        const ReportForm form{.ranked = ranked,
                              .top = ranked ? request_.top : 0,
                              .lf = request_.lfLineEnds,
                              .transcoder = transcoder_.get()};
        Result<ReportWritten> written = kestrin::WriteReport(*report_, table, form, progress);
        if (!report_->WritesInPlace() && progress.StopRequested())
            return {.outcome = RunOutcome::Stopped};
        Status fault = written ? report_->Commit() : Status(written.Failure());
        if (fault) return SaveFailure(*fault);
        RunResult done = counts_;
        done.path = request_.savePath;
        if (written->keptBytes > 0) done.warnings.push_back(KeptBytes(written->keptBytes));
        for (const std::string& warning : report_->Warnings()) done.warnings.push_back(warning);
        return done;
    }

    std::string KeptBytes(std::uint64_t urls) const {
        return std::to_string(urls) + (urls == 1 ? " URL keeps" : " URLs keep") +
               " the log's bytes: not text in " + request_.codePage + ", or with characters " +
               request_.reportCodePage + " lacks";
    }

    const RunRequest& request_;
    Ui& ui_;
    OpenedLogs logs_;
    std::vector<os::FileIdentity> identities_;
    std::unique_ptr<os::ReportFile> report_;  // discarded, if not committed, when the run ends
    std::unique_ptr<Transcoder> transcoder_;
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
