#include "tally/RangeTally.h"

#include "input/LogReader.h"
#include "tally/UrlTally.h"
#include "text/CuttingRule.h"

namespace kestrin {
namespace {

constexpr std::int64_t kReportStep = 16 << 20;

}  // namespace

bool TallyLines(LogReader& reader, const CuttingRule& rule, UrlTally& tally,
                const KeepGoing& keepGoing) {
    std::int64_t nextReport = kReportStep;
    while (std::optional<LogLine> line = reader.NextNonEmptyLine()) {
        if (reader.BytesRead() >= nextReport) {
            if (keepGoing && !keepGoing(reader.BytesRead())) return false;
            nextReport = reader.BytesRead() + kReportStep;
        }
        if (std::optional<std::string_view> url = ExtractUrl(line->text, rule)) tally.Count(*url);
    }
    return true;
}

int TallyRange(int fd, LogRange range, const CuttingRule& rule, UrlTally& tally,
               const KeepGoing& keepGoing) {
    RangeSource source(fd, range);
    LogReader reader(source);
    TallyLines(reader, rule, tally, keepGoing);
    return reader.Error();
}

}  // namespace kestrin
