#include "run/CuttingRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <optional>
#include <stdexcept>

#include "input/LogReader.h"
#include "report/ReportWriter.h"
#include "tally/UrlTally.h"
#include "text/CodePage.h"
#include "text/CuttingRule.h"

namespace kestrin {
namespace {

constexpr std::int64_t kProgressStep = 16 << 20;

// An ordinary file: a regular file (links followed) whose own name is not hidden.
bool IsOrdinaryFile(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    std::size_t slash = path.find_last_of('/');
    std::string_view name =
        std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
    return name.empty() || name[0] != '.';
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The files of one run. The log closes when the run is over; the report closes
// before the run says how it went, since a failed close is a failed save.
struct RunFiles {
    int log = -1;
    int report = -1;
    bool ownsReport = true;

    // The errno of a failed close, or 0.
    int CloseReport() {
        int error = 0;
        if (report >= 0 && ownsReport && close(report) != 0) error = errno;
        report = -1;
        return error;
    }
    ~RunFiles() {
        CloseReport();
        if (log >= 0) close(log);
    }
};

class Run {
  public:
    Run(const RunRequest& request, Ui& ui) : request_(request), ui_(ui) {}

    RunResult Execute(RunFiles& files) {
        std::string codePageError;
        const CodePage* page = CodePage::Shared(request_.codePage, codePageError);
        if (page == nullptr)
            return {.outcome = RunOutcome::CodePageUnusable, .detail = codePageError};

        const std::u16string& keyword = request_.backKeyword;
        if (AnsiLength(keyword, *page) != 1) return {.outcome = RunOutcome::KeywordNotSingleByte};
        if (!IsOrdinaryFile(request_.logPath)) return LogFailure(RunOutcome::LogNotFound, 0);

        files.log = open(request_.logPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (files.log < 0) return LogFailure(RunOutcome::LogUnreadable, errno);
        struct stat log;
        if (fstat(files.log, &log) != 0 || !S_ISREG(log.st_mode)) {
            return LogFailure(RunOutcome::LogNotFound, 0);
        }
        if (int error = OpenReport(files, log); error != 0) return SaveFailure(error);

        LogReader reader(files.log);
        UrlTally tally(*page);
        Tally(reader, CuttingRule(*page, keyword[0]), log.st_size, tally);
        if (StopRequested()) return {.outcome = RunOutcome::Stopped};
        if (reader.Error() != 0) return LogFailure(RunOutcome::LogUnreadable, reader.Error());
        UrlTable table = std::move(tally).SortByUrl();

        if (int error = WriteReport(files.report, table); error != 0) return SaveFailure(error);
        // A descriptor the caller gave may well have no name (a pipe, a memory file).
        if (files.ownsReport && !StillNamed(files.report)) return SaveFailure(ENOENT);
        if (int error = files.CloseReport(); error != 0) return SaveFailure(error);
        return {.outcome = RunOutcome::Complete, .path = request_.savePath};
    }

  private:
    bool StopRequested() const {
        return request_.stop != nullptr && request_.stop->load(std::memory_order_relaxed);
    }

    RunResult LogFailure(RunOutcome outcome, int error) const {
        return {.outcome = outcome, .path = request_.logPath, .systemError = error};
    }
    RunResult SaveFailure(int error) const {
        return {.outcome = RunOutcome::ReportUnsavable,
                .path = request_.savePath,
                .systemError = error};
    }

    // The report never replaces the log, whatever name the save path gives it.
    // Returns the errno of the failure, or 0.
    int OpenReport(RunFiles& files, const struct stat& log) const {
        struct stat save;
        if (request_.saveDescriptor >= 0) {
            files.ownsReport = false;
            files.report = request_.saveDescriptor;
            if (fstat(files.report, &save) != 0) return errno;
            return SameFile(save, log) ? EEXIST : 0;
        }
        if (stat(request_.savePath.c_str(), &save) == 0 && SameFile(save, log)) return EEXIST;
        // Non-blocking so that a FIFO nobody reads fails instead of hanging the run.
        files.report = open(request_.savePath.c_str(),
                            O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
        if (files.report < 0) return errno;
        fcntl(files.report, F_SETFL, fcntl(files.report, F_GETFL) & ~O_NONBLOCK);
        return 0;
    }

    void Tally(LogReader& reader, const CuttingRule& rule, std::int64_t logSize, UrlTally& tally) {
        std::int64_t nextProgress = kProgressStep;
        while (std::optional<LogLine> line = reader.NextLine()) {
            if (reader.BytesRead() >= nextProgress) {
                if (StopRequested()) return;
                ui_.ShowProgress(reader.BytesRead(), logSize);
                nextProgress = reader.BytesRead() + kProgressStep;
            }
            if (std::optional<std::string_view> url = ExtractUrl(line->text, rule)) {
                tally.Count(*url);
            }
        }
    }

    // Returns the errno of a failed write, or 0.
    int WriteReport(int fd, UrlTable& table) {
        ReportWriter report(fd);
        WriteListing(report, table);
        if (!report.Flush()) return report.Error();
        if (ui_.AskYesNo("Sortting Data Output?", "Confirm")) {
            report.WriteLine("*********** SORTTING DATA ************");
            table.RankByCount();
            WriteListing(report, table);
        }
        report.Flush();
        return report.Error();
    }

    // A report whose file lost its last name (its directory was removed during
    // the run) was written where nobody will find it: that is no success.
    static bool StillNamed(int fd) {
        struct stat report;
        return fstat(fd, &report) != 0 || !S_ISREG(report.st_mode) || report.st_nlink > 0;
    }

    static void WriteListing(ReportWriter& report, const UrlTable& table) {
        for (std::size_t i = 0; i < table.EntryCount(); ++i) {
            report.WriteEntry(table[i].Url, table[i].Count);
        }
    }

    const RunRequest& request_;
    Ui& ui_;
};

RunResult ExecuteGuarded(const RunRequest& request, Ui& ui, RunFiles& files) {
    // The tally's limits and the allocator are the only things that throw; the
    // user hears of them like of any failure.
    try {
        return Run(request, ui).Execute(files);
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
    RunResult result;
    {
        RunFiles files;
        result = ExecuteGuarded(request, ui, files);
        files.CloseReport();
        const RunMessage message = MessageFor(result);
        if (result.outcome != RunOutcome::Stopped)
            ui.ShowMessage(message.text, message.title, message.icon);
        ui.LeaveBusy();
    }
    return result;
}

}  // namespace kestrin
