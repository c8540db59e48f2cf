// The log cut into ranges at LFs, each range tallied on its own and the tallies
// merged in order: the listing and the ranking must be exactly those of the
// plain model of the whole log, first-seen byte forms included.

#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "ReferenceModel.h"
#include "tally/RangeTally.h"
#include "tally/UrlTally.h"
#include "text/CuttingRule.h"
#include "text/HostFilter.h"

using namespace kestrin;
using namespace kestrin::fuzz;

namespace kestrin::fuzz {

bool operator==(const ModelEntry& a, const ModelEntry& b) {
    return a.url == b.url && a.count == b.count;
}

}  // namespace kestrin::fuzz

namespace {

std::vector<ModelEntry> Entries(const UrlTable& table) {
    std::vector<ModelEntry> entries;
    for (std::size_t i = 0; i < table.EntryCount(); ++i)
        entries.push_back({std::string(table[i].Url), table[i].Count});
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    std::string pageName;
    const CodePage& page = ChosenCodePage(data[0], pageName);
    const char16_t keyword = ChosenKeyword(page, data[1]);
    const std::size_t parts = 1 + data[2] % 16;
    const std::string_view log(reinterpret_cast<const char*>(data + 4), size - 4);

    const int fd = MemoryFile(log);
    int error = 0;
    const std::vector<LogRange> ranges = SplitLog(fd, std::int64_t(log.size()), parts, error);
    Check(error == 0 && !ranges.empty() && ranges.front().begin == 0 &&
              ranges.back().end == std::int64_t(log.size()),
          "the ranges cover the log", pageName);
    const CuttingRule rule(page, keyword);
    const HostFilter noHosts({});
    UrlTally whole(page);
    LineCounts counts;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        Check(i == 0 ? ranges[i].begin == 0
                     : ranges[i].begin == ranges[i - 1].end && log[ranges[i].begin - 1] == '\n',
              "each range starts right after an LF", pageName);
        UrlTally part(page);
        Check(TallyRange(fd, ranges[i], {rule, noHosts}, part, counts) == 0, "a range is read");
        whole.Merge(std::move(part));
    }
    close(fd);

    std::vector<std::string_view> urls;
    for (const ModelLine& line : ModelLines(log)) {
        if (auto url = ModelUrl(log.substr(line.start, line.length), page, keyword))
            urls.push_back(*url);
    }
    Check(counts.lines == ModelLines(log).size() && counts.withUrl == urls.size(),
          "the ranges count the lines of the whole log", pageName);
    const std::vector<ModelEntry> listing = ModelTally(urls, page);
    UrlTable table = std::move(whole).SortByUrl();
    Check(Entries(table) == listing, "the merged ranges list as the whole log", pageName);
    table.RankByCount();
    Check(Entries(table) == ModelRanking(listing), "the merged ranges rank as the whole log");
    return 0;
}
