// A whole run on an arbitrary log, into a report in memory: the Ui hears the run's
// calls in order, and the report is exactly the tally the rules give, with every
// listed URL taken from the log, counts that add up, a first listing in strictly
// ascending UTF-16 order and a ranked listing that is the selection sort of it.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "CuttingRun.h"
#include "FuzzInput.h"
#include "ReferenceModel.h"

using namespace kestrin;
using namespace kestrin::fuzz;

namespace {

constexpr const char* kBanner = "*********** SORTTING DATA ************";

class RecordingUi : public Ui {
  public:
    explicit RecordingUi(bool yes) : yes_(yes) {}
    void EnterBusy() override { calls.push_back("EnterBusy"); }
    void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
        calls.push_back("ShowMessage " + title + " " + std::to_string(int(icon)) + " " + text);
    }
    bool AskYesNo(const std::string& text, const std::string& title) override {
        calls.push_back("AskYesNo " + title + " " + text);
        return yes_;
    }
    void LeaveBusy() override { calls.push_back("LeaveBusy"); }
    std::vector<std::string> calls;

  private:
    bool yes_;
};

int MemoryFile(const char* name, std::string_view content) {
    int fd = memfd_create(name, MFD_CLOEXEC);
    if (fd < 0) Broken("memfd_create failed");
    for (std::size_t done = 0; done < content.size();) {
        ssize_t wrote = write(fd, content.data() + done, content.size() - done);
        if (wrote <= 0) Broken("writing the log failed");
        done += std::size_t(wrote);
    }
    return fd;
}

std::string ReadAll(int fd) {
    std::string bytes;
    char chunk[65536];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;)
        bytes.append(chunk, std::size_t(got));
    return bytes;
}

std::string EntryLine(std::string_view url, std::uint64_t count) {
    return std::string(url) + "\t " + std::to_string(count) + "\r\n";
}

// Splits a listing into its entries: the URL is all before the last TAB blank.
std::vector<ModelEntry> ParseListing(std::string_view text) {
    std::vector<ModelEntry> entries;
    while (!text.empty()) {
        std::size_t end = text.find("\r\n");
        Check(end != std::string_view::npos, "every report line ends with CR LF");
        std::string_view line = text.substr(0, end);
        std::size_t tab = line.rfind("\t ");
        Check(tab != std::string_view::npos, "an entry line holds TAB blank");
        std::string digits(line.substr(tab + 2));
        Check(!digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos &&
                  digits[0] != '0',
              "a count is plain decimal digits", digits);
        entries.push_back({std::string(line.substr(0, tab)), std::stoull(digits)});
        text.remove_prefix(end + 2);
    }
    return entries;
}

void CheckListings(std::string_view report, std::string_view log, const CodePage& page,
                   std::size_t linesWithUrl, bool ranked) {
    const std::string banner = std::string(kBanner) + "\r\n";
    std::size_t split = report.find(banner);
    Check((split != std::string_view::npos) == ranked, "the banner appears only on Yes");
    std::vector<ModelEntry> first = ParseListing(report.substr(0, split));

    std::uint64_t total = 0;
    std::u16string previous;
    for (std::size_t i = 0; i < first.size(); ++i) {
        Check(log.find(first[i].url) != std::string_view::npos,
              "every listed URL occurs in the log as the same bytes");
        total += first[i].count;
        std::u16string text;
        page.Decode(first[i].url, text);
        Check(i == 0 || previous < text, "the first listing ascends strictly in UTF-16 order");
        previous = text;
    }
    Check(total == linesWithUrl, "the counts add up to the lines that yielded a URL");
    if (!ranked) return;

    std::vector<ModelEntry> second = ParseListing(report.substr(split + banner.size()));
    std::vector<ModelEntry> sorted = ModelRanking(first);
    Check(second.size() == first.size(), "the ranked listing lists every entry");
    for (std::size_t i = 0; i < second.size(); ++i) {
        Check(i == 0 || second[i - 1].count >= second[i].count,
              "the ranked listing does not rise in count");
        Check(second[i].url == sorted[i].url && second[i].count == sorted[i].count,
              "the ranked listing is the selection sort of the first");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    std::string pageName;
    const CodePage& page = ChosenCodePage(data[0], pageName);
    const bool yes = data[2] & 1;
    const std::string_view log(reinterpret_cast<const char*>(data + 4), size - 4);

    RunRequest request;
    request.codePage = pageName;
    request.savePath = "report.txt";
    bool keywordOk = true;
    switch (data[1] % 8) {
        case 0:
        case 1:
        case 2:
            request.keywordIndex = std::int16_t(data[1] % 8);
            request.keywordText = kBackKeywordEntries[request.keywordIndex];
            break;
        case 3:
            request.keywordIndex = -1;
            request.keywordText = u"ab";
            keywordOk = false;
            break;
        case 4:
            request.keywordIndex = -1;
            request.keywordText = u"";
            keywordOk = false;
            break;
        case 5:
            // A character a single-byte code page cannot hold counts one byte.
            request.keywordIndex = -1;
            request.keywordText = u"\u4E00";
            keywordOk = pageName == "windows-1252";
            break;
        default:
            request.keywordIndex = -1;
            request.keywordText = std::u16string(1, ChosenKeyword(page, data[3]));
            break;
    }
    const char16_t keyword = request.keywordIndex == 0 ? u' ' : request.keywordText[0];

    const int logFd = MemoryFile("log", log);
    const int reportFd = MemoryFile("report", {});
    request.logPath = "/proc/self/fd/" + std::to_string(logFd);
    request.saveDescriptor = reportFd;

    // The window keeps one table for all its runs.
    static UrlTable table;
    RecordingUi ui(yes);
    CuttingRun(request, ui, table);
    const std::string report = ReadAll(reportFd);
    close(reportFd);
    close(logFd);

    if (!keywordOk) {
        Check(ui.calls == std::vector<std::string>{"EnterBusy",
                                                   "ShowMessage ERROR! 1 Back Keyword is not ASCII",
                                                   "LeaveBusy"},
              "a keyword of other than one byte is refused");
        Check(report.empty(), "a refused run writes nothing");
        return 0;
    }
    Check(ui.calls ==
              std::vector<std::string>{"EnterBusy", "AskYesNo Confirm Sortting Data Output?",
                                       "ShowMessage Complete 2 report.txt done..", "LeaveBusy"},
          "a run calls the Ui in order", ui.calls.size() > 1 ? ui.calls[1] : "");

    std::vector<std::string_view> urls;
    for (const ModelLine& line : ModelLines(log)) {
        if (auto url = ModelUrl(log.substr(line.start, line.length), page, keyword)) {
            urls.push_back(*url);
        }
    }
    CheckListings(report, log, page, urls.size(), yes);

    std::vector<ModelEntry> listing = ModelTally(urls, page);
    std::string expected;
    for (const ModelEntry& entry : listing) expected += EntryLine(entry.url, entry.count);
    if (yes) {
        expected += std::string(kBanner) + "\r\n";
        for (const ModelEntry& entry : ModelRanking(listing))
            expected += EntryLine(entry.url, entry.count);
    }
    Check(report == expected, "the report is exactly the expected tally", pageName);
    return 0;
}
