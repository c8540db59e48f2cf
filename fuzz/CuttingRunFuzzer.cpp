// A whole run on an arbitrary log, into a report in memory: the run ends as the
// keyword decides, and the report is exactly the tally of a plain model of the
// rules, the selection-sorted ranking included.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "ReferenceModel.h"
#include "input/LineCutter.h"
#include "input/LogKind.h"
#include "input/LogRanges.h"
#include "os/File.h"
#include "run/CuttingRun.h"
#include "tally/ParallelTally.h"
#include "tally/TallyLines.h"
#include "tally/UrlTally.h"
#include "text/ByteScan.h"
#include "text/HostFilter.h"

using namespace kestrin;
using namespace kestrin::fuzz;

namespace {

struct AnsweringUi : Ui {
    explicit AnsweringUi(bool answer) : yes(answer) {}
    void ShowMessage(const RunMessage&) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return yes; }
    bool yes;
};

std::string Listing(const std::vector<ModelEntry>& entries) {
    std::string text;
    for (const ModelEntry& entry : entries)
        text += entry.url + "\t " + std::to_string(entry.count) + "\r\n";
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    std::string pageName;
    const CodePage& page = ChosenCodePage(data[0], pageName);
    const bool yes = data[2] & 1;
    const std::string_view log(reinterpret_cast<const char*>(data + 4), size - 4);
    // A log that starts like a compressed one or an archive is read otherwise; the
    // model reads plain logs.
    if (KindOf(log.substr(0, kKindBytes)).form != LogForm::Text) return 0;

    // Every set of line searches this processor runs (AVX-512 and AVX2 where it has
    // them, and the portable ones) finds what plain loops find, from starts all over
    // the log.
    const scan::ByteSet set{{'"', ' ', 'a', '\0'}, data[3] % 5u};
    const auto isBreak = [](const char* b, const char*) { return *b == '\r' || *b == '\n'; };
    const auto isSeparator = [](const char* b, const char* end) {
        return end - b > 2 && b[0] == ':' && b[1] == '/' && b[2] == '/';
    };
    const auto isBreakOrSeparator = [&](const char* b, const char* end) {
        return isBreak(b, end) || isSeparator(b, end);
    };
    const auto isInSet = [&](const char* b, const char*) {
        return std::count(set.values, set.values + set.count, std::uint8_t(*b)) > 0;
    };
    const auto isBreakOrInSet = [&](const char* b, const char* end) {
        return isBreak(b, end) || isInSet(b, end);
    };
    const auto isNotNul = [](const char* b, const char*) { return *b != '\0'; };
    for (const scan::LineSearches* searches : scan::EveryLineSearches()) {
        for (std::size_t from = 0; from < log.size(); from += 1 + from / 8) {
            const char* at = log.data() + from;
            const std::size_t n = log.size() - from;
            const auto plainFind = [at, n](auto wanted) {
                std::size_t i = 0;
                while (i < n && !wanted(at + i, at + n)) ++i;
                return i;
            };
            Check(searches->findBreak(at, n) == plainFind(isBreak) &&
                      searches->findSeparator(at, n) == plainFind(isSeparator) &&
                      searches->findBreakOrSeparator(at, n) == plainFind(isBreakOrSeparator) &&
                      searches->findBreakOrAnyOf(at, n, set) == plainFind(isBreakOrInSet) &&
                      searches->findNotNul(at, n) == plainFind(isNotNul),
                  "the line searches find what plain loops find");
        }
        // Masks of whole runs of 64 bytes, each with the two bytes after it readable.
        const std::size_t words = log.size() < 2 ? 0 : (log.size() - 2) / 64;
        std::vector<scan::ByteMasks> masks(words);
        searches->maskBytes(log.data(), words, set, masks.data());
        for (std::size_t i = 0; i < words * 64; ++i) {
            const auto bit = [&](std::uint64_t scan::ByteMasks::*field) {
                return (masks[i / 64].*field >> (i % 64) & 1) != 0;
            };
            const char *b = log.data() + i, *end = log.data() + log.size();
            Check(bit(&scan::ByteMasks::breaks) == isBreak(b, end) &&
                      bit(&scan::ByteMasks::separators) == isSeparator(b, end) &&
                      bit(&scan::ByteMasks::keywords) == isInSet(b, end),
                  "the masks of the bytes mark what plain loops find");
        }
    }

    RunRequest request{.savePath = "report.txt", .codePage = pageName};
    // Typed text: the entries, refused ones, and any single-byte character.
    const std::u16string typed[] = {u"Space", u"\"", u",", u"ab", u"", u"\u4E00"};
    request.backKeyword = BackKeywordFrom(
        data[1] % 8 < 6 ? typed[data[1] % 8] : std::u16string(1, ChosenKeyword(page, data[3])));
    // Only a character the code page writes as one byte can end a URL.
    const bool keywordOk =
        request.backKeyword.size() == 1 && page.IsSingleByte(request.backKeyword[0]);

    const ScratchFile logFile(log), reportFile({});
    request.logPaths = {logFile.Path()};
    request.savePath = reportFile.Path();
    AnsweringUi ui(yes);
    const RunResult result = CuttingRun(request, ui);
    const std::string report = reportFile.Bytes();

    if (!keywordOk) {
        Check(result.outcome == RunOutcome::KeywordNotSingleByte && report.empty(),
              "a keyword of other than one byte is refused, and nothing written");
        return 0;
    }
    Check(result.outcome == RunOutcome::Complete, "a run on a memory file completes");
    const auto urlsOf = [&](std::string_view text) {
        std::vector<std::string_view> urls;
        for (const ModelLine& line : ModelLines(text)) {
            if (auto url =
                    ModelUrl(text.substr(line.start, line.length), page, request.backKeyword[0]))
                urls.push_back(*url);
        }
        return urls;
    };
    const std::vector<ModelEntry> listing = ModelTally(urlsOf(log), page);
    std::string expected = Listing(listing);
    if (yes)
        expected += "*********** SORTTING DATA ************\r\n" + Listing(ModelRanking(listing));
    Check(report == expected, "the report is exactly the expected tally", pageName);

    // The log cut at LFs into ranges read with small buffers, tallied apart and
    // merged in order, as a run on several cores does: the same lines and the
    // same listing, first-seen byte forms included. Empty lines after it put a
    // whole window ahead of every line, which is when lines are cut in one pass.
    const std::string padded = std::string(log) + std::string(LineCutter::kWindow, '\n');
    const ScratchFile paddedFile(padded);
    Result<os::File> file = os::File::OpenForReading(paddedFile.Path());
    Check(bool(file), "a memory file opens");
    const Result<std::vector<LogRange>> split =
        SplitLog(*file, std::int64_t(padded.size()), 1 + data[2] / 16);
    Check(bool(split), "a memory file splits");
    const std::vector<LogRange>& ranges = *split;
    const CuttingRule rule(page, request.backKeyword[0]);
    const HostFilter noHosts({}, page);
    UrlTally whole(page);
    LineCounts counts;
    RunControl control;
    Phase reading = control.Begin(RunPhase::Reading, padded.size());
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        Check(ranges[i].begin == (i == 0 ? 0 : ranges[i - 1].end) &&
                  (i == 0 || padded[std::size_t(ranges[i].begin) - 1] == '\n'),
              "each range starts right after an LF", pageName);
        UrlTally part(page);
        Phase::Piece piece(reading);
        // Small buffers put buffer edges inside lines, pairs and CR LF terminators.
        const Result<LineCounts> range =
            TallyRange(*file, ranges[i], {rule, noHosts}, part, piece, 2048 + data[3] * 61);
        Check(bool(range), "a range is read");
        counts += *range;
        Check(!whole.Merge(std::move(part)), "a range's tally merges");
    }
    UrlTable table = std::move(*std::move(whole).SortByUrl(nullptr, 2));
    std::string merged;
    for (std::size_t i = 0; i < table.EntryCount(); ++i)
        merged += std::string(table[i].Url) + "\t " + std::to_string(table[i].Count) + "\r\n";
    const std::vector<std::string_view> urls = urlsOf(padded);
    Check(ranges.back().end == std::int64_t(padded.size()) &&
              merged == Listing(ModelTally(urls, page)) && counts.withUrl == urls.size() &&
              counts.lines == ModelLines(padded).size(),
          "the ranges cover the log and tally as the whole of it", pageName);
    return 0;
}
