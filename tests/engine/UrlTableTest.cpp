#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tally/UrlTally.h"
#include "text/CodePage.h"

namespace kestrin {
namespace {

using Listing = std::vector<std::pair<std::string, std::uint64_t>>;

Listing ListingOf(const UrlTable& table) {
    Listing listing;
    for (std::size_t i = 0; i < table.EntryCount(); ++i)
        listing.emplace_back(table[i].Url, table[i].Count);
    return listing;
}

// The listing of `urls`, each counted once.
Listing Once(const std::vector<std::string>& urls) {
    Listing listing;
    for (const std::string& url : urls) listing.emplace_back(url, 1);
    return listing;
}

// The listing, or the fault that ended the sort.
Result<Listing> Tally(const char* codePage, const std::vector<std::string>& urls,
                      unsigned threads = 1, Phase* sorting = nullptr) {
    const Result<const CodePage*> page = CodePage::Shared(codePage);
    if (!page) throw std::runtime_error(page.Failure().Reason());
    // Counted in two tallies, as the ranges of a log are, and merged.
    UrlTally tally(**page), later(**page);
    for (std::size_t i = 0; i < urls.size(); ++i)
        (2 * i < urls.size() ? tally : later).Count(urls[i]);
    tally.Merge(std::move(later));
    Result<UrlTable> table = std::move(tally).SortByUrl(sorting, threads);
    if (!table) return table.Failure();
    return ListingOf(*table);
}

TEST(UrlTable, OrdersByUtf16CodeUnits) {
    const struct {
        const char* codePage;
        std::vector<std::string> urls;
        Listing sorted;
    } cases[] = {
        {"CP932", {"ab", "a", "B", "a"}, {{"B", 1}, {"a", 2}, {"ab", 1}}},
        {"CP932", {std::string("a\0", 2), "a"}, {{"a", 1}, {std::string("a\0", 2), 1}}},
        // Half-width katakana, undecodable bytes (an unassigned pair among them),
        // kanji, hiragana, ASCII: byte order is nearly the reverse of code unit order.
        {"CP932",
         {"\xb1", "\x85\x40", "\x80", "\xe0\x40", "\x82\xa0", "z", "a\x82\xa0"},
         Once({"a\x82\xa0", "z", "\x80", "\x82\xa0", "\xe0\x40", "\x85\x40", "\xb1"})},
        // The bytes Windows decodes otherwise than ICU's table, in Windows order:
        // U+001A, U+001C, U+007F, U+0080, then past hiragana U+F8F0 to U+F8F3.
        {"CP932",
         {"\xff", "\xa0", "\x7f", "\x1c", "\xfe", "\x80", "\x1a", "\xfd", "\x82\xa0"},
         Once({"\x1a", "\x1c", "\x7f", "\x80", "\x82\xa0", "\xa0", "\xfd", "\xfe", "\xff"})},
        // Two spellings of one character are one URL, listed as first seen.
        {"CP932", {"x\x87\x90", "x", "x\x81\xe0"}, {{"x", 1}, {"x\x87\x90", 2}}},
        {"windows-1252", {"\x80", "\xe9"}, {{"\xe9", 1}, {"\x80", 1}}},  // euro, e-acute
    };
    for (const auto& c : cases) EXPECT_EQ(*Tally(c.codePage, c.urls), c.sorted);
    // URLs longer than a tally's first block of records, and than a whole one,
    // each the first of its tally.
    const std::string longer(100000, 'a'), longest(9 << 20, 'c');
    EXPECT_TRUE(*Tally("CP932", {longer, "b", longest, longest, longer, "b"}) ==
                Listing({{longer, 2}, {"b", 2}, {longest, 2}}));
    // Enough URLs, in shuffled order, for the index to grow many times and the sort
    // to be shared out between threads, each counted twice, alike past a window.
    const std::string prefix = "http://www.example.com/items/";
    std::vector<std::string> twice;
    Listing counted;
    for (int i = 0; i < 2 * 100000; ++i)
        twice.push_back(prefix + std::to_string(100000 + (i * 7919) % 100000));
    for (int i = 0; i < 100000; ++i) counted.emplace_back(prefix + std::to_string(100000 + i), 2);
    for (unsigned threads : {1u, 3u}) EXPECT_TRUE(*Tally("CP932", twice, threads) == counted);
    // Many plain URLs in random order, of eight hosts, half of them short enough to
    // end inside the first window: every byte of a window and past it decides
    // between some of them, in sorts of thousands alike so far and of a few. Their
    // order is their bytes'.
    const std::string_view letters = "abcdefghijklmnopqrstuvwxyz0123456789/.-_";
    std::mt19937 random(22);
    std::vector<std::string> many;
    std::map<std::string, std::uint64_t> model;
    for (int i = 0; i < 60000; ++i) {
        std::string url = std::string("http://") + "abcdefgh"[random() % 8] + "/";
        for (std::size_t n = random() % (i % 2 == 0 ? 7 : 40); n > 0; --n)
            url += letters[random() % letters.size()];
        many.push_back(url);
        ++model[url];
    }
    for (unsigned threads : {1u, 2u})
        EXPECT_TRUE(*Tally("CP932", many, threads) == Listing(model.begin(), model.end()));
    // A run that is to stop gets the stop, not a table.
    const std::atomic<bool> stop = true;
    RunControl control(&stop);
    Phase sorting = control.Begin(RunPhase::Sorting, twice.size());
    const Result<Listing> stopped = Tally("CP932", twice, 3, &sorting);
    EXPECT_TRUE(!stopped && stopped.Failure().IsStop());
}

// A later tally of many forms is merged by moving its records over, a form both
// hold then held twice: the listing is the same, each URL shown as first seen
// with all its lines, when the merged tally counts on and when it does not.
TEST(UrlTable, MergedTalliesCountOnAsOne) {
    const Result<const CodePage*> page = CodePage::Shared("CP932");
    ASSERT_TRUE(page);
    // More forms than a merge looks up one by one.
    constexpr int kForms = 300000;
    const auto url = [](int i) { return "http://h/" + std::to_string(1000000 + i); };
    for (const bool countOn : {false, true}) {
        UrlTally tally(**page), later(**page);
        // The first part: even URLs and one spelling of a character; the later
        // part: every URL, and the character's other spelling.
        for (int i = 0; i < kForms; i += 2) tally.Count(url(i));
        tally.Count("x\x87\x90");
        const std::uint64_t past32Bits = std::uint64_t(5) << 32;
        for (int i = 0; i < kForms; ++i) later.Count(url(i), i == kForms - 1 ? past32Bits : 3);
        later.Count("x\x81\xe0");
        tally.Merge(std::move(later));
        if (countOn) {
            for (int i = 0; i < kForms; i += 3) tally.Count(url(i));
            tally.Count("x\x81\xe0");
            tally.Count("new");
        }
        Listing expected;
        for (int i = 0; i < kForms; ++i)
            expected.emplace_back(url(i), (i % 2 == 0) + (i == kForms - 1 ? past32Bits : 3) +
                                              (countOn && i % 3 == 0));
        if (countOn) expected.emplace_back("new", 1);
        expected.emplace_back("x\x87\x90", 2 + countOn);
        EXPECT_TRUE(ListingOf(*std::move(tally).SortByUrl(nullptr, 2)) == expected) << countOn;
    }
}

// A tally merged into another is reused for the next part, in the memory it has:
// its slots, its blocks of records (a URL longer than the first block, and than a
// whole one, whose block the next part, of more records than a block holds, must
// not fill past a reference's reach), and the counts past 32 bits it held, are the
// next part's as if it were new. Each
// part begins with the URLs the one before began with, in the same order, so that
// a slot or a record left over would be taken for the new one's.
TEST(UrlTable, AMergedTallyCountsTheNextPartAfresh) {
    const Result<const CodePage*> page = CodePage::Shared("CP932");
    ASSERT_TRUE(page);
    const auto url = [](int i) { return "http://h/" + std::to_string(1000000 + i); };
    const std::string longest(9 << 20, 'l');
    const std::uint64_t past32Bits = std::uint64_t(5) << 32;
    UrlTally tally(**page), later(**page);
    std::map<std::string, std::uint64_t> model;
    const auto count = [&](const std::string& u, std::uint64_t times) {
        later.Count(u, times);
        model[u] += times;
    };
    // Parts of a few forms are merged by lookup, the later tally kept whole; one of
    // more forms than that is moved over, and the tally left with nothing.
    for (const int forms : {5000, 3000, 400000, 4000}) {
        // Longer than the block its part begins with.
        if (forms == 3000) count(longest, 2);
        count(forms == 5000 ? "big" : "small", forms == 5000 ? past32Bits : 1);
        for (int i = 0; i < forms; ++i) count(url(i), 1);
        for (int i = 0; i < forms; i += 7) count(url(i), 3);
        EXPECT_FALSE(tally.Merge(std::move(later))) << forms;
        EXPECT_EQ(later.RecordCount(), 0u) << forms;
    }
    EXPECT_TRUE(ListingOf(*std::move(tally).SortByUrl(nullptr, 2)) ==
                Listing(model.begin(), model.end()));
}

// Forms two merged tallies hold, in a table big enough that its forms are merged
// on two threads: each count below 2^32 and their sum past it, and, in a table
// where one count is past it already, that one the later tally's. The listing has
// the sums.
TEST(UrlTable, FormsHeldTwiceAddUpPast32Bits) {
    const Result<const CodePage*> page = CodePage::Shared("CP932");
    ASSERT_TRUE(page);
    constexpr int kForms = 300000;
    const auto url = [](int i) { return "http://h/" + std::to_string(1000000 + i); };
    const std::uint64_t most = std::uint64_t(3) << 30;  // twice is past 2^32 - 1
    const std::uint64_t past = std::uint64_t(5) << 32;
    for (const bool pastAlready : {false, true}) {
        UrlTally tally(**page), later(**page);
        // One form held once, first, so that the middle of the items falls between
        // a form's two: two threads' parts must not part them.
        tally.Count("http://a/");
        for (int i = 0; i < kForms; ++i) {
            tally.Count(url(i), i % 1000 == 0 ? most : 1);
            later.Count(url(i), i % 1000 == 0 ? most : i == 1 && pastAlready ? past : 2);
        }
        tally.Merge(std::move(later));
        Listing expected{{"http://a/", 1}};
        for (int i = 0; i < kForms; ++i)
            expected.emplace_back(url(i), i % 1000 == 0           ? 2 * most
                                          : i == 1 && pastAlready ? past + 1
                                                                  : 3);
        EXPECT_TRUE(ListingOf(*std::move(tally).SortByUrl(nullptr, 2)) == expected) << pastAlready;
    }
}

// Most URLs of a big log share one count: the ranking looks for a stop as it gathers
// the counts and as it places a count's entries, not only once a count is done. The
// progress it tells shows how far it went.
TEST(UrlTable, RankingLooksForAStopAsItGoes) {
    const Result<const CodePage*> page = CodePage::Shared("CP932");
    ASSERT_TRUE(page);
    UrlTally tally(**page);
    for (int i = 0; i < 300000; ++i) tally.Count("http://h/" + std::to_string(i));
    UrlTable table = std::move(*std::move(tally).SortByUrl(nullptr, 1));
    for (const bool stopFirst : {true, false}) {
        std::atomic<bool> stop = stopFirst;
        double told = 0;
        RunControl control(&stop, [&](const RunProgress& progress) {
            if (progress.phase == RunPhase::Ranking) told = progress.phaseFraction;
            stop = true;
        });
        Phase ranking = control.Begin(RunPhase::Ranking, table.EntryCount());
        const Status ranked = table.RankByCount(&ranking);
        EXPECT_TRUE(ranked && ranked->IsStop()) << stopFirst;
        EXPECT_LT(told, stopFirst ? 0.001 : 0.5) << stopFirst;
    }
}

}  // namespace
}  // namespace kestrin
