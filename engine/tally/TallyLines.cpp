#include "tally/TallyLines.h"

#include <algorithm>
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

Result<LineCounts> TallyLines(LogReader& reader, const ByteSource& source, const UrlCut& cut,
                              UrlTally& tally, Phase::Piece& reading) {
    LineCounts counts;
    // In the bytes of the file, from where it stood when this log began.
    const std::int64_t start = source.Consumed();
    const auto taken = [&] {
        return std::uint64_t(std::max<std::int64_t>(source.Consumed() - start, 0));
    };
    std::int64_t nextStep = kReportStep;
    reader.StopWhen([&reading] { return bool(reading.Check()); });
    for (;;) {
        if (reader.BytesRead() >= nextStep) {
            if (Status stop = reading.Reach(taken())) {
                reader.StopWhen(nullptr);
                return *stop;
            }
            nextStep = reader.BytesRead() + kReportStep;
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
    reader.StopWhen(nullptr);
    if (Status stop = reading.Reach(taken())) return *stop;
    if (const Status& fault = reader.Failure()) return *fault;
    counts.lines = reader.LinesRead();
    return counts;
}

}  // namespace kestrin
