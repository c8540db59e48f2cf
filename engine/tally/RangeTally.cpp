#include "tally/RangeTally.h"

#include <array>
#include <span>

#include "input/LogReader.h"
#include "tally/UrlTally.h"
#include "text/CuttingRule.h"
#include "text/HostFilter.h"

namespace kestrin {
namespace {

// Often enough that a stop asked for by a closing window is seen at once.
constexpr std::int64_t kReportStep = 4 << 20;

// Cuts the lines that have a whole window read ahead of them, one pass each, and
// counts their URLs a batch at a time straight from the reader's buffer. False
// when there was no such line: the reader decides where the next one ends.
bool CountBufferedLines(LogReader& reader, const UrlCut& cut, UrlTally& tally, LineCounts& counts) {
    const std::string_view ahead = reader.Ahead();
    std::size_t used = 0;
    std::uint64_t lines = 0;
    std::array<std::string_view, 64> urls;
    std::size_t found = 0;
    while (ahead.size() - used >= LogReader::kWindow) {
        const std::optional<CutLine> line =
            cut.rule.CutFirstLine(ahead.substr(used, LogReader::kWindow));
        if (!line) break;
        if (line->url && !cut.hosts.Excludes(*line->url)) {
            urls[found++] = *line->url;
            ++counts.withUrl;
            if (found == urls.size()) {
                tally.Count(urls);
                found = 0;
            }
        }
        used += line->next;
        ++lines;
    }
    tally.Count(std::span(urls.data(), found));
    reader.Consume(used, lines);
    return used > 0;
}

}  // namespace

bool TallyLines(LogReader& reader, const UrlCut& cut, UrlTally& tally, LineCounts& counts,
                const KeepGoing& keepGoing) {
    std::int64_t nextReport = kReportStep;
    bool going = true;
    for (;;) {
        if (reader.BytesRead() >= nextReport) {
            if (keepGoing && !keepGoing(reader.BytesRead())) {
                going = false;
                break;
            }
            nextReport = reader.BytesRead() + kReportStep;
        }
        if (CountBufferedLines(reader, cut, tally, counts)) continue;
        // The rest goes through the reader: a window without a line break, where a
        // NUL or the log's end decides, or a run of NULs passed over in bulk.
        std::optional<LogLine> line = reader.NextNonEmptyLine();
        if (!line) break;
        std::optional<std::string_view> url = ExtractUrl(line->text, cut.rule);
        if (url && !cut.hosts.Excludes(*url)) {
            ++counts.withUrl;
            tally.Count(*url);
        }
    }
    counts.lines += reader.LinesRead();
    return going;
}

int TallyRange(int fd, LogRange range, const UrlCut& cut, UrlTally& tally, LineCounts& counts,
               const KeepGoing& keepGoing, std::size_t bufferSize) {
    RangeSource source(fd, range);
    LogReader reader(source, bufferSize);
    TallyLines(reader, cut, tally, counts, keepGoing);
    return reader.Error();
}

}  // namespace kestrin
