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
    std::int64_t nextReport = kReportStep;
    bool going = true;
    while (std::optional<LogLine> line = reader.NextNonEmptyLine()) {
        if (reader.BytesRead() >= nextReport) {
            if (keepGoing && !keepGoing(reader.BytesRead())) {
                going = false;
                break;
            }
            nextReport = reader.BytesRead() + kReportStep;
        }
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
