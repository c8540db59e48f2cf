#include "tally/RangeTally.h"

#include "input/LogReader.h"
#include "tally/UrlTally.h"
#include "text/CuttingRule.h"
#include "text/HostFilter.h"

namespace kestrin {
namespace {

// Often enough that a stop asked for by a closing window is seen at once.
constexpr std::int64_t kReportStep = 4 << 20;

}  // namespace

bool TallyLines(LogReader& reader, const UrlCut& cut, UrlTally& tally, LineCounts& counts,
                const KeepGoing& keepGoing) {
    const auto count = [&](std::optional<std::string_view> url) {
        if (url && !cut.hosts.Excludes(*url)) {
            ++counts.withUrl;
            tally.Count(*url);
        }
    };
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
        // Lines with a whole window read ahead of them are cut in one pass each,
        // straight from the reader's buffer.
        const std::string_view ahead = reader.Ahead();
        std::size_t used = 0;
        std::uint64_t lines = 0;
        while (ahead.size() - used >= LogReader::kWindow) {
            const std::optional<CutLine> line =
                cut.rule.CutFirstLine(ahead.substr(used, LogReader::kWindow));
            if (!line) break;
            count(line->url);
            used += line->next;
            ++lines;
        }
        reader.Consume(used, lines);
        if (used > 0) continue;
        // The rest goes through the reader: a window without a line break, where a
        // NUL or the log's end decides, or a run of NULs passed over in bulk.
        std::optional<LogLine> line = reader.NextNonEmptyLine();
        if (!line) break;
        count(ExtractUrl(line->text, cut.rule));
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
