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
#include "input/LogReader.h"
#include "report/ReportFile.h"
#include "report/ReportListing.h"
#include "report/ReportWriter.h"
#include "tally/UrlTally.h"
#include "text/CodePage.h"
#include "text/CuttingRule.h"

namespace kestrin {
namespace {

constexpr std::int64_t kProgressStep = 16 << 20;
constexpr std::size_t kHeadBytes = 4096;  // what tells a log's kind by its look

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

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The host of `url`: what follows "://" up to the first "/", "?", "#", ":" or
// the end. Those bytes are never trail bytes of a double-byte code page.
std::string_view HostOf(std::string_view url) {
    std::size_t from = url.find("://");
    if (from == std::string_view::npos) return {};
    url.remove_prefix(from + 3);
    return url.substr(0, url.find_first_of("/?#:"));
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

bool IsExcluded(std::string_view url, const std::vector<std::string>& hosts) {
    if (hosts.empty()) return false;
    const std::string_view host = HostOf(url);
    for (const std::string& excluded : hosts) {
        if (EqualIgnoringAsciiCase(host, excluded)) return true;
        if (host.size() > excluded.size() && host[host.size() - excluded.size() - 1] == '.' &&
            EqualIgnoringAsciiCase(host.substr(host.size() - excluded.size()), excluded))
            return true;
    }
    return false;
}

LogLooks LooksOf(std::string_view head) {
    if (head.starts_with("\xff\xfe") || head.starts_with("\xfe\xff")) return LogLooks::Utf16;
    bool evenNul = head.size() >= 2, oddNul = head.size() >= 2;
    std::size_t nul = 0, control = 0;
    for (std::size_t i = 0; i < head.size(); ++i) {
        const auto byte = std::uint8_t(head[i]);
        if (byte != 0) (i % 2 == 0 ? evenNul : oddNul) = false;
        nul += byte == 0;
        control += (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f' &&
                    byte != 0x1b) ||
                   byte == 0x7f;
    }
    if (evenNul != oddNul) return LogLooks::Utf16;
    return nul > 0 || control * 10 > head.size() ? LogLooks::Binary : LogLooks::Text;
}

// A source that keeps the first bytes it hands out, to tell later what they looked like.
class HeadKeepingSource : public ByteSource {
  public:
    HeadKeepingSource(ByteSource& source, std::string& head) : source_(source), head_(head) {}
    std::int64_t Read(char* into, std::size_t size) override {
        const std::int64_t got = source_.Read(into, size);
        if (got < 0) return Fail(source_.Error(), source_.Reason());
        consumed_ = source_.Consumed();
        const std::size_t keep = std::min(std::size_t(got), kHeadBytes - head_.size());
        head_.append(into, keep);
        return got;
    }

  private:
    ByteSource& source_;
    std::string& head_;
};

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
        std::int64_t totalSize = 0, doneSize = 0;
        for (const Log& log : logs_) totalSize += S_ISREG(log.info.st_mode) ? log.info.st_size : 0;
        for (const Log& log : logs_) {
            std::unique_ptr<ByteSource> opened = OpenLogSource(log.fd);
            HeadKeepingSource source(*opened, head_);
            if (std::optional<RunResult> failure =
                    request_.mergeReports ? Merge(source, log, tally)
                                          : Tally(source, log, rule, doneSize, totalSize, tally))
                return *failure;
            if (StopRequested()) return {.outcome = RunOutcome::Stopped};
            doneSize += source.Consumed();
        }
        UrlTable table = std::move(tally).SortByUrl();
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
            for (const struct stat& log : logStats_)
                if (S_ISREG(save.st_mode) && SameFile(save, log)) return SaveFailure(0, isALog);
            return std::nullopt;
        }
        const int error = report_.Open(request_.savePath, logStats_);
        if (error == ETXTBSY) return SaveFailure(0, isALog);
        if (error != 0) return SaveFailure(error);
        return std::nullopt;
    }

    std::optional<RunResult> Tally(ByteSource& source, const Log& log, const CuttingRule& rule,
                                   std::int64_t doneSize, std::int64_t totalSize, UrlTally& tally) {
        LogReader reader(source);
        std::int64_t nextProgress = kProgressStep;
        while (std::optional<LogLine> line = reader.NextLine()) {
            if (reader.BytesRead() >= nextProgress) {
                if (StopRequested()) return std::nullopt;
                ui_.ShowProgress(doneSize + source.Consumed(), totalSize);
                nextProgress = reader.BytesRead() + kProgressStep;
            }
            ++counts_.lines;
            std::optional<std::string_view> url = ExtractUrl(line->text, rule);
            if (url && !IsExcluded(*url, request_.excludedHosts)) {
                ++counts_.linesWithUrl;
                tally.Count(*url);
            }
        }
        if (source.Error() != 0)
            return LogFailure(RunOutcome::LogUnreadable, log.path, source.Error(), source.Reason());
        return std::nullopt;
    }

    std::optional<RunResult> Merge(ByteSource& source, const Log& log, UrlTally& tally) {
        std::string problem =
            ReadReportListing(source, [&](std::string_view url, std::uint64_t count) {
                ++counts_.lines;
                if (IsExcluded(url, request_.excludedHosts)) return;
                ++counts_.linesWithUrl;
                tally.Count(url, count);
            });
        if (source.Error() != 0)
            return LogFailure(RunOutcome::LogUnreadable, log.path, source.Error(), source.Reason());
        if (!problem.empty()) return LogFailure(RunOutcome::NotAReport, log.path, 0, problem);
        return std::nullopt;
    }

    // Returns the errno of a failed write, or 0.
    int WriteReport(int fd, UrlTable& table) {
        ReportWriter report(fd);
        WriteListing(report, table);
        if (!report.Flush()) return report.Error();
        if (ui_.AskYesNo("Sortting Data Output?", "Confirm")) {
            report.WriteLine(kRankedBanner);
            table.RankByCount();
            WriteListing(report, table);
        }
        report.Flush();
        return report.Error();
    }

    static void WriteListing(ReportWriter& report, const UrlTable& table) {
        for (std::size_t i = 0; i < table.EntryCount(); ++i) {
            report.WriteEntry(table[i].Url, table[i].Count);
        }
    }

    const RunRequest& request_;
    Ui& ui_;
    std::vector<Log> logs_;
    std::vector<struct stat> logStats_;
    ReportFile report_;  // discarded, if not committed, when the run ends
    std::string head_;
    RunResult counts_;
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
