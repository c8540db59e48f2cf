#include "CuttingRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>

#include "CodePage.h"
#include "CuttingRule.h"
#include "LogReader.h"
#include "ReportWriter.h"
#include "UrlBatch.h"

namespace kestrin {
namespace {

constexpr char kCr = '\r';
constexpr const char* kError = "ERROR!";
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

// The files of one run; both are closed when the run ends, report first.
struct RunFiles {
    int log = -1;
    int report = -1;
    bool ownsReport = true;
    ~RunFiles() {
        if (report >= 0 && ownsReport) close(report);
        if (log >= 0) close(log);
    }
};

class Run {
  public:
    Run(const RunRequest& request, Ui& ui, UrlTable& table)
        : request_(request), ui_(ui), table_(table) {}

    void Execute(RunFiles& files) {
        std::string codePageError;
        const CodePage* page = CodePage::Shared(request_.codePage, codePageError);
        if (page == nullptr) return Fail(codePageError, MessageIcon::Error);
        table_.Reset(*page);

        const std::u16string keyword = BackKeyword(request_);
        if (AnsiLength(keyword, *page) != 1) {
            return Fail("Back Keyword is not ASCII", MessageIcon::Warning);
        }
        if (!IsOrdinaryFile(request_.logPath))
            return Fail(WithPath("File Not Found!", request_.logPath));

        files.log = open(request_.logPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (files.log < 0) return Fail(WithPath("Can't File Read!", request_.logPath));
        struct stat log;
        if (fstat(files.log, &log) != 0 || !S_ISREG(log.st_mode)) {
            return Fail(WithPath("File Not Found!", request_.logPath));
        }
        if (!OpenReport(files, log)) return Fail(WithPath("Can't File Save!", request_.savePath));

        LogReader reader(files.log);
        if (!Tally(reader, CuttingRule(*page, keyword[0]), log.st_size)) {
            return Fail(WithPath("Can't File Read!", request_.logPath));
        }
        // A descriptor the caller gave may well have no name (a pipe, a memory file).
        if (!WriteReport(files.report) || (files.ownsReport && !StillNamed(files.report)))
            return Fail(WithPath("Can't File Save!", request_.savePath));
        ui_.ShowMessage(request_.savePath + " done..", "Complete", MessageIcon::Information);
    }

  private:
    static std::string WithPath(const char* text, const std::string& path) {
        return text + std::string(1, kCr) + path;
    }

    void Fail(const std::string& text, MessageIcon icon = MessageIcon::Error) {
        ui_.ShowMessage(text, kError, icon);
    }

    // The report never replaces the log, whatever name the save path gives it.
    bool OpenReport(RunFiles& files, const struct stat& log) {
        struct stat save;
        if (request_.saveDescriptor >= 0) {
            files.ownsReport = false;
            files.report = request_.saveDescriptor;
            return fstat(files.report, &save) == 0 && !SameFile(save, log);
        }
        if (stat(request_.savePath.c_str(), &save) == 0 && SameFile(save, log)) return false;
        // Non-blocking so that a FIFO nobody reads fails instead of hanging the run.
        files.report = open(request_.savePath.c_str(),
                            O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
        if (files.report < 0) return false;
        fcntl(files.report, F_SETFL, fcntl(files.report, F_GETFL) & ~O_NONBLOCK);
        return true;
    }

    bool Tally(LogReader& reader, const CuttingRule& rule, std::int64_t logSize) {
        std::int64_t nextProgress = kProgressStep;
        UrlBatch batch(table_);
        for (std::int64_t readPos = 1; readPos > 0;) {
            std::string_view line = ReadLogLine(reader, readPos);
            if (reader.BytesRead() >= nextProgress) {
                ui_.ShowProgress(reader.BytesRead(), logSize);
                nextProgress = reader.BytesRead() + kProgressStep;
            }
            if (std::optional<std::string_view> url = ExtractUrl(line, rule)) batch.Add(*url);
        }
        batch.Flush();
        return reader.Error() == 0;
    }

    bool WriteReport(int fd) {
        ReportWriter report(fd);
        SortByUrl(table_);
        WriteListing(report);
        if (!report.Flush()) return false;
        if (ui_.AskYesNo("Sortting Data Output?", "Confirm")) {
            report.WriteLine("*********** SORTTING DATA ************");
            RankByCount(table_);
            WriteListing(report);
        }
        return report.Flush();
    }

    // A report whose file lost its last name (its directory was removed during
    // the run) was written where nobody will find it: that is no success.
    static bool StillNamed(int fd) {
        struct stat report;
        return fstat(fd, &report) != 0 || !S_ISREG(report.st_mode) || report.st_nlink > 0;
    }

    void WriteListing(ReportWriter& report) {
        for (std::size_t i = 0; i < table_.EntryCount(); ++i) {
            report.WriteEntry(table_[i].Url, table_[i].Count);
        }
    }

    const RunRequest& request_;
    Ui& ui_;
    UrlTable& table_;
};

}  // namespace

void CuttingRun(const RunRequest& request, Ui& ui, UrlTable& table) {
    ui.EnterBusy();
    {
        RunFiles files;
        try {
            Run(request, ui, table).Execute(files);
        } catch (const std::exception& failure) {
            // Only running out of memory gets here; the user hears of it like any failure.
            ui.ShowMessage(std::string("Kestrin stopped: ") + failure.what(), kError,
                           MessageIcon::Error);
        }
        ui.LeaveBusy();
    }
}

}  // namespace kestrin
