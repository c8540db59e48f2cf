#include "tally/GroupedTable.h"

#include "tally/UrlTally.h"

namespace kestrin {
namespace {

// Often enough that a stop is seen within milliseconds.
constexpr std::size_t kStep = 1 << 16;

}  // namespace

Result<UrlTable> GroupedTable(UrlTable&& urls, UrlGrouper& grouper, const CodePage& page,
                              Phase& grouping, unsigned threads) {
    UrlTally groups(page);
    {
        const UrlTable table = std::move(urls);
        for (std::size_t i = 0; i < table.EntryCount(); ++i) {
            if (i % kStep == 0) {
                if (Status stop = grouping.Reach(i)) return *stop;
            }
            const UrlEntry entry = table[i];
            groups.Count(grouper.EntryOf(entry.Url), entry.Count);
        }
    }
    return std::move(groups).SortByUrl(&grouping, threads);
}

}  // namespace kestrin
