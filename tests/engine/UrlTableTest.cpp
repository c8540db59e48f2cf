#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "CodePages.h"
#include "tally/UrlTally.h"

namespace kestrin {
namespace {

using Listing = std::vector<std::pair<std::string, std::uint64_t>>;

struct Listings {
    Listing sorted, ranked;
};

Listing ListingOf(const UrlTable& table) {
    Listing listing;
    for (std::size_t i = 0; i < table.EntryCount(); ++i)
        listing.emplace_back(table[i].Url, table[i].Count);
    return listing;
}

Listings Tally(const char* codePage, const std::vector<std::string>& urls) {
    UrlTally tally(testing::Page(codePage));
    for (const std::string& url : urls) tally.Count(url);
    UrlTable table = std::move(tally).SortByUrl();
    Listing sorted = ListingOf(table);
    table.RankByCount();
    return {sorted, ListingOf(table)};
}

TEST(UrlTable, OrdersByUtf16CodeUnits) {
    struct Case {
        const char* codePage;
        std::vector<std::string> urls;
        Listing sorted;
    };
    const Case cases[] = {
        {"CP932", {"ab", "a", "B", "a"}, {{"B", 1}, {"a", 2}, {"ab", 1}}},
        // Half-width katakana, undecodable bytes (an unassigned pair among them),
        // kanji, hiragana, ASCII: byte order is nearly the reverse of code unit order.
        {"CP932",
         {"\xb1", "\x85\x40", "\x80", "\xe0\x40", "\x82\xa0", "z", "a\x82\xa0"},
         {{"a\x82\xa0", 1},
          {"z", 1},
          {"\x80", 1},
          {"\x82\xa0", 1},
          {"\xe0\x40", 1},
          {"\x85\x40", 1},
          {"\xb1", 1}}},
        // The eight bytes Windows decodes otherwise than ICU's table, in Windows order:
        // U+001A, U+001C, U+007F, U+0080, then U+F8F0 to U+F8F3.
        {"CP932",
         {"\xff", "\xa0", "\x7f", "\x1c", "\xfe", "\x80", "\x1a", "\xfd"},
         {{"\x1a", 1},
          {"\x1c", 1},
          {"\x7f", 1},
          {"\x80", 1},
          {"\xa0", 1},
          {"\xfd", 1},
          {"\xfe", 1},
          {"\xff", 1}}},
        // Two spellings of one character are one URL, listed as first seen.
        {"CP932", {"\x87\x90", "\x81\xe0"}, {{"\x87\x90", 2}}},
        {"windows-1252", {"\x80", "\xe9"}, {{"\xe9", 1}, {"\x80", 1}}},  // euro, e-acute
    };
    for (const Case& c : cases) EXPECT_EQ(Tally(c.codePage, c.urls).sorted, c.sorted);
}

// Pass by pass, swap the leftmost largest count of the rest into place.
Listing SelectionSorted(Listing listing) {
    for (std::size_t i = 0; i < listing.size(); ++i) {
        std::size_t m = i;
        for (std::size_t j = i + 1; j < listing.size(); ++j)
            if (listing[j].second > listing[m].second) m = j;
        std::swap(listing[i], listing[m]);
    }
    return listing;
}

TEST(UrlTable, RankingMatchesAPlainSelectionSortOnRandomTables) {
    std::mt19937 random(2024);
    for (std::size_t size : {0, 1, 2, 3, 5, 8, 33, 100, 1000}) {
        for (std::uint32_t maxCount : {1, 3, 50}) {
            std::vector<std::string> urls;
            for (std::size_t i = 0; i < size; ++i) {
                std::string url = "http://u" + std::to_string(random() % 100000);
                urls.insert(urls.end(), random() % maxCount + 1, url);
            }
            std::shuffle(urls.begin(), urls.end(), random);
            Listings listings = Tally("CP932", urls);
            EXPECT_EQ(listings.ranked, SelectionSorted(listings.sorted))
                << size << ", " << maxCount;
        }
    }
}

}  // namespace
}  // namespace kestrin
