#include "run/CuttingRun.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <stdexcept>

#include "os/LargeMemory.h"
#include "os/Processors.h"
#include "report/ReportFile.h"
#include "report/ReportFormats.h"
#include "report/ReportWriter.h"
#include "run/MergeReports.h"
#include "run/TallyLogs.h"
#include "tally/GroupedTable.h"
#include "tally/ParallelTally.h"
#include "text/CodePage.h"
#include "text/CuttingRule.h"
#include "text/HostFilter.h"
#include "text/PublicSuffixes.h"
#include "text/Transcoder.h"
#include "text/UrlGroups.h"

namespace kestrin {
namespace {

// Below this much log a run is over before progress would mean anything.
constexpr std::int64_t kProgressFrom = 16 << 20;
// Files of fewer bytes than this, all told, are read, sorted and written on the
// calling thread unless the run is given its threads, and the system is not asked
// for its processors: a second thread would start for less work than its start
// costs, and asking took 0.2 ms of a run of one line of 3.7. As much gzip holds a
// megabyte of log or so; a zstd or xz file of a log that repeats itself may hold
// far more, and is then read without a second thread to decompress ahead.
constexpr std::int64_t kSharedFrom = 64 << 10;

// What writes the logs' URLs in the report's code page: UTF-8 for the forms that
// are UTF-8 whatever the logs are, else the code page asked for; none where the
// report is the logs' own bytes (no code page asked for, or one that reads every
// byte as theirs, by any name).
Result<std::unique_ptr<Transcoder>> OpenReportTranscoder(const RunRequest& request,
                                                         const CodePage& page) {
    const Result<const CodePage*> report = CodePage::Shared(
        request.reportCodePage.empty() ? request.codePage : request.reportCodePage);
    if (!report) return report.Failure();
    if (request.format == ReportFormat::Json || request.format == ReportFormat::Html)
        return Transcoder::Open(page, "UTF-8");
    if ((*report)->DecodesAlike(page)) return std::unique_ptr<Transcoder>();
    return Transcoder::Open(page, request.reportCodePage);
}

// A request checked, with the report's transcoder the check opened: the run takes
// it rather than open the system's converter once more.
struct CheckedRequest {
    RunResult result;
    std::unique_ptr<Transcoder> transcoder;
};

CheckedRequest Check(const RunRequest& request) {
    const Result<const CodePage*> page = CodePage::Shared(request.codePage);
    if (!page) return {{.outcome = RunOutcome::CodePageUnusable, .fault = page.Failure()}, nullptr};
    Result<std::unique_ptr<Transcoder>> transcoder = OpenReportTranscoder(request, **page);
    if (!transcoder)
        return {{.outcome = RunOutcome::CodePageUnusable, .fault = transcoder.Failure()}, nullptr};
    const std::u16string& keyword = request.backKeyword;
    if (keyword.size() != 1 || !(*page)->IsSingleByte(keyword[0]))
        return {{.outcome = RunOutcome::KeywordNotSingleByte}, nullptr};
    if (request.group == Grouping::Site) {
        if (Status fault = LoadPublicSuffixes())
            return {{.outcome = RunOutcome::InternalFailure, .fault = *fault}, nullptr};
    }
    return {{}, std::move(*transcoder)};
}

// A run, step by step: check the request, find the logs, open the report, fill the
// tally by one of the two roads, sort it, ask, write the report, commit.
class Run {
  public:
    Run(const RunRequest& request, Ui& ui) : request_(request), ui_(ui) {}

    RunResult Execute() {
        CheckedRequest checked = Check(request_);
        if (checked.result.outcome != RunOutcome::Complete) return checked.result;
        transcoder_ = std::move(checked.transcoder);
        const CodePage& page = **CodePage::Shared(request_.codePage);
        if (Status fault = FindLogs()) return Failed(*fault);
        jobs_ = JobsForLogs();
        if (Status fault = OpenReport()) return SaveFailure(*fault);

        RunControl control(request_.stop, ProgressListener());
        Result<UrlTable> table = TallyAndSort(page, control);
        if (!table) {
            Fault fault = table.Failure();
            // Forms of one URL are added up as they are sorted: counts that pass
            // what a count holds there came from several reports, and passed it
            // with the last.
            if (fault.subject.empty() && request_.mergeReports) fault.subject = logs_.back().path;
            return Failed(fault);
        }
        counts_.distinctUrls = table->EntryCount();
        if (request_.group != Grouping::Url) {
            table = Grouped(std::move(*table), page, control);
            if (!table) return Failed(table.Failure());
            counts_.distinctEntries = table->EntryCount();
        }
        return WriteReport(*table, control);
    }

  private:
    // Decided once a run, when its logs are found, for their sizes decide it: the
    // reading, the sort and the report share out their work alike.
    std::size_t JobsForLogs() const {
        if (request_.jobs == 1 || (request_.jobs == 0 && OnlySmallFiles())) return 1;
        const std::size_t usable = os::UsableProcessors();
        return request_.jobs == 0 ? usable : std::min(request_.jobs, usable);
    }
    bool OnlySmallFiles() const {
        return std::all_of(logs_.begin(), logs_.end(),
                           [](const FoundLog& log) { return log.identity.has_value(); }) &&
               LogBytes() < kSharedFrom;
    }
    std::size_t Jobs() const { return jobs_; }

    std::int64_t LogBytes() const {
        std::int64_t size = 0;
        for (const FoundLog& log : logs_) size += log.size;
        return size;
    }

    RunControl::Listener ProgressListener() const {
        if (LogBytes() < kProgressFrom) return {};
        return [this](const RunProgress& progress) { ui_.ShowProgress(progress); };
    }

    // The one place a fault of the tally or the report becomes the run's outcome.
    RunResult Failed(const Fault& fault) const {
        switch (fault.kind) {
            case FaultKind::Stop:
                return {.outcome = RunOutcome::Stopped};
            case FaultKind::Malformed:
                return {.outcome = RunOutcome::NotAReport, .path = fault.subject, .fault = fault};
            case FaultKind::Limit:
                return {.outcome = RunOutcome::InternalFailure, .fault = fault};
            case FaultKind::NotFound:
                return {.outcome = RunOutcome::LogNotFound, .path = fault.subject, .fault = fault};
            case FaultKind::Failure:
                break;
        }
        return {.outcome = RunOutcome::LogUnreadable, .path = fault.subject, .fault = fault};
    }

    // Every log is checked before anything is read or written; each is opened only
    // when it is read, so that a run may name more logs than it may hold open.
    Status FindLogs() {
        std::vector<std::string> paths = request_.logPaths;
        if (paths.empty()) paths.push_back("-");
        // Standard input is read once: a second "-" would get what the first left.
        if (std::count(paths.begin(), paths.end(), "-") > 1)
            return Fault{.detail = "standard input is named more than once", .subject = "-"};
        for (const std::string& path : paths) {
            Result<FoundLog> log = FindLog(path);
            if (!log) {
                Fault fault = log.Failure();
                fault.kind = FaultKind::NotFound;
                fault.subject = path;
                return fault;
            }
            if (log->identity) identities_.push_back(*log->identity);
            logs_.push_back(std::move(*log));
        }
        return std::nullopt;
    }

    // What the report's bytes are text in: JSON and HTML are UTF-8.
    std::string ReportCodePage() const {
        if (request_.format == ReportFormat::Json || request_.format == ReportFormat::Html)
            return "UTF-8";
        return request_.reportCodePage.empty() ? request_.codePage : request_.reportCodePage;
    }

    // The report never replaces a log, whatever name the save path gives it.
    Status OpenReport() {
        if (request_.outputClosed && request_.savePath == "-")
            return Fault{EBADF, "standard output is closed"};
        Result<std::unique_ptr<ReportFile>> report =
            ReportFile::Open(request_.savePath, identities_, ReportCodePage());
        if (!report) return report.Failure();
        report_ = std::move(*report);
        return std::nullopt;
    }

    RunResult SaveFailure(Fault fault) const {
        return {.outcome = RunOutcome::ReportUnsavable,
                .path = request_.savePath,
                .fault = std::move(fault)};
    }

    Result<UrlTable> TallyAndSort(const CodePage& page, RunControl& control) {
        UrlTally tally(page);
        if (Status fault = FillTally(page, tally, control)) return *fault;
        Phase sorting = control.Begin(RunPhase::Sorting, tally.RecordCount());
        return std::move(tally).SortByUrl(&sorting, unsigned(Jobs()));
    }

    // The hosts or sites the URLs add up to: looked up once a distinct URL, after
    // the lines are counted, so that a site costs a lookup a host, not a line.
    Result<UrlTable> Grouped(UrlTable urls, const CodePage& page, RunControl& control) const {
        UrlGrouper grouper(request_.group, page);
        Phase grouping = control.Begin(RunPhase::Sorting, urls.EntryCount());
        return GroupedTable(std::move(urls), grouper, page, grouping, unsigned(Jobs()));
    }

    Status FillTally(const CodePage& page, UrlTally& tally, RunControl& control) {
        const CuttingRule rule(page, request_.backKeyword[0], request_.schemes);
        const HostFilter hosts(request_.excludedHosts, page);
        const auto size = std::uint64_t(LogBytes());
        Phase reading = control.Begin(RunPhase::Reading, size);
        if (request_.mergeReports)
            return MergeReports(logs_, {rule, hosts}, tally, reading, counts_.merged);
        Phase merging = control.Begin(RunPhase::Merging, size);
        const WorkSharing sharing{
            Jobs(), request_.minimumRange > 0 ? request_.minimumRange : kDefaultMinimumRange};
        return TallyLogs(logs_, {rule, hosts}, sharing, tally, {reading, merging}, counts_.read);
    }

    // The question comes before a byte is written, so that a report written in
    // place is whole before it touches the previous one.
    RunResult WriteReport(UrlTable& table, RunControl& control) {
        const bool ranked = ui_.AskYesNo("Sortting Data Output?", "Confirm");
        if (Status stop = control.Check()) return Failed(*stop);
        if (request_.format != ReportFormat::Report) return WriteTable(table, ranked, control);
        std::unique_ptr<ReportUrls> urls;
        if (transcoder_) {
            Result<std::unique_ptr<ReportUrls>> found =
                ReportUrls::Find(*transcoder_, table, control);
            if (!found) return Failed(found.Failure());
            urls = std::move(*found);
        }
        const ReportForm form{.ranked = ranked,
                              .top = ranked ? request_.top : 0,
                              .lf = request_.lfLineEnds,
                              .urls = urls.get()};
        return Save(control, [&]() -> Result<std::vector<std::string>> {
            Result<ReportWritten> written =
                kestrin::WriteReport(*report_, table, form, control, unsigned(Jobs()));
            if (!written) return written.Failure();
            if (written->escaped == 0) return std::vector<std::string>();
            return std::vector{EscapedUrls(*written)};
        });
    }

    // Writes the report by `write`, which gives its warnings, and puts it in the
    // previous report's place. A report written over the previous one must run to
    // its end once begun: half of it would be neither report.
    template <typename Write>
    RunResult Save(RunControl& control, Write write) {
        std::optional<RunControl::StopHeld> held;
        if (report_->WritesInPlace()) held.emplace(control);
        Result<std::vector<std::string>> written = write();
        if (!written && written.Failure().IsStop()) return Failed(written.Failure());
        // The last look for a stop, before the report takes the previous one's place.
        if (Status stop = control.Check()) return Failed(*stop);
        Status fault = written ? report_->Commit() : Status(written.Failure());
        if (fault) return SaveFailure(*fault);
        RunResult done = counts_;
        done.path = request_.savePath;
        for (const auto* read : {&counts_.read.warnings, &counts_.merged.warnings})
            done.warnings.insert(done.warnings.end(), read->begin(), read->end());
        done.warnings.insert(done.warnings.end(), written->begin(), written->end());
        for (const std::string& warning : report_->Warnings()) done.warnings.push_back(warning);
        return done;
    }

    RunResult WriteTable(UrlTable& table, bool ranked, RunControl& control) {
        const TableForm form = TableFormOf(ranked);
        return Save(control, [&]() -> Result<std::vector<std::string>> {
            Result<TableWritten> written = kestrin::WriteTable(*report_, table, form, control);
            if (!written) return written.Failure();
            if (written->escaped == 0) return std::vector<std::string>();
            return std::vector{Escaped(written->escaped)};
        });
    }

    TableForm TableFormOf(bool ranked) const {
        TableForm form{.format = request_.format,
                       .entryName = EntryName(request_.group),
                       .counts = CountsOf(request_, counts_),
                       .summary = SummaryOf(request_, counts_),
                       .ranked = ranked,
                       .top = ranked || request_.format == ReportFormat::Html ? request_.top : 0,
                       .lf = request_.lfLineEnds,
                       .text = transcoder_.get()};
        const std::string& to = request_.reportCodePage;
        form.byteOrderMark = request_.format == ReportFormat::Csv &&
                             (to == "UTF-8" || to == "utf-8" || to == "UTF8" || to == "utf8");
        return form;
    }

    std::string Escaped(std::uint64_t urls) const {
        const std::string to =
            request_.format == ReportFormat::Csv ? request_.reportCodePage : std::string("UTF-8");
        return std::to_string(urls) + (urls == 1 ? " entry has" : " entries have") +
               " bytes written as %XX: not text in " + request_.codePage +
               (to == "UTF-8" ? std::string() : ", or with characters " + to + " lacks");
    }

    std::string EscapedUrls(const ReportWritten& written) const {
        const std::uint64_t urls = written.escaped, alike = written.lookAlikes;
        std::string warning = std::to_string(urls) + (urls == 1 ? " URL has" : " URLs have") +
                              " bytes written as %XX: not text in " + request_.codePage +
                              ", or with characters " + request_.reportCodePage + " lacks";
        if (alike > 0)
            warning += "; " + std::to_string(alike) + (alike == 1 ? " URL" : " URLs") +
                       " that would read as one of them " +
                       (alike == 1 ? "has its" : "have their") + " % written as %25";
        return warning;
    }

    const RunRequest& request_;
    std::size_t jobs_ = 1;
    Ui& ui_;
    FoundLogs logs_;
    std::vector<os::FileIdentity> identities_;
    std::unique_ptr<ReportFile> report_;  // discarded, if not committed, when the run ends
    std::unique_ptr<Transcoder> transcoder_;
    RunResult counts_;
};

RunResult ExecuteGuarded(const RunRequest& request, Ui& ui) {
    // The allocator is the only thing that throws; the user hears of it like of
    // any failure.
    try {
        return Run(request, ui).Execute();
    } catch (const std::bad_alloc& failure) {
        return {.outcome = RunOutcome::OutOfMemory, .fault = {ENOMEM, failure.what()}};
    } catch (const std::exception& failure) {
        return {.outcome = RunOutcome::InternalFailure, .fault = {0, failure.what()}};
    }
}

}  // namespace

RunResult CheckRequest(const RunRequest& request) {
    return Check(request).result;
}

RunResult CuttingRun(const RunRequest& request, Ui& ui) {
    os::KeepFreedBuffers();
    const RunResult result = ExecuteGuarded(request, ui);
    if (result.outcome != RunOutcome::Stopped) ui.ShowMessage(MessageFor(request, result));
    return result;
}

}  // namespace kestrin
