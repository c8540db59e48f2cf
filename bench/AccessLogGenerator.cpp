#include "AccessLogGenerator.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <array>
#include <charconv>
#include <memory>
#include <stdexcept>

namespace kestrin::bench {
namespace {

// Share of lines of each kind. Referrer lines are what is neither a crawler nor "-".
constexpr double kCrawler = 0.08;
constexpr double kNoReferrer = 0.30;
constexpr double kReferrerShare = (1 - kCrawler) * (1 - kNoReferrer);
constexpr double kUpperCaseScheme = 0.002;

// Written as UTF-8 here and converted through ICU, so no byte table is typed in.
// Many of them have trail bytes that read as ASCII: 0x5C in ソ, 表, 能, 申, 十, 予,
// 構; letters in ア, デ, ト, ド, ポ, ー and others.
constexpr std::array<const char*, 32> kJapaneseWords = {
    "検索",     "表示",     "ソフト", "能力",       "申込",     "十月",         "予約", "構成",
    "データ",   "ドメイン", "テスト", "ポイント",   "アクセス", "ダウンロード", "日本", "東京",
    "大阪",     "価格",     "比較",   "ランキング", "レビュー", "無料",         "動画", "画像",
    "ニュース", "天気",     "地図",   "求人",       "旅行",     "ホテル",       "通販", "カード",
};

constexpr std::array<const char*, 16> kHosts = {
    "www.google.co.jp",    "search.yahoo.co.jp",  "www.bing.com",
    "b.hatena.ne.jp",      "www.facebook.com",    "t.co",
    "www.kestrin-shop.jp", "www.kestrin-shop.jp", "www.kestrin-shop.jp",
    "blog.example.jp",     "news.example.com",    "www.example.org",
    "matome.example.net",  "forum.example.jp",    "m.example.co.jp",
    "ja.wikipedia.org",
};

constexpr std::array<const char*, 12> kBrowsers = {
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/122.0.0.0 Safari/537.36",
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:123.0) Gecko/20100101 Firefox/123.0",
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) "
    "Version/17.3 Safari/605.1.15",
    "Mozilla/5.0 (iPhone; CPU iPhone OS 17_3 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like "
    "Gecko) Version/17.3 Mobile/15E148 Safari/604.1",
    "Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/122.0.0.0 Mobile Safari/537.36",
    "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0)",
    "DoCoMo/2.0 P903i(c100;TB;W24H12)",
    "KDDI-SA31 UP.Browser/6.2.0.7.3.129 (GUI) MMP/2.0",
    "curl/7.88.1",
    "Wget/1.21.3",
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/121.0.0.0 Safari/537.36",
    "python-requests/2.31.0",
};

constexpr std::array<const char*, 5> kCrawlers = {
    "Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)",
    "Mozilla/5.0 (compatible; bingbot/2.0; +http://www.bing.com/bingbot.htm)",
    "Mozilla/5.0 (compatible; Yahoo! Slurp; http://help.yahoo.com/help/us/ysearch/slurp)",
    "Baiduspider+(+http://www.baidu.com/search/spider.htm)",
    "Mozilla/5.0 (compatible; AhrefsBot/7.0; +http://ahrefs.com/robot/)",
};

constexpr std::array<const char*, 8> kSlugs = {
    "release-notes", "how-to", "sale", "faq", "spring-campaign", "index", "contact", "review",
};

constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

void AppendNumber(std::string& out, std::uint64_t value, int width = 0) {
    char digits[24];
    char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    for (int pad = width - int(end - digits); pad > 0; --pad) out.push_back('0');
    out.append(digits, end);
}

std::string ToCp932(const char* utf8) {
    UErrorCode status = U_ZERO_ERROR;
    UChar units[64];
    int32_t unitCount = 0;
    u_strFromUTF8(units, 64, &unitCount, utf8, -1, &status);
    std::unique_ptr<UConverter, void (*)(UConverter*)> cp932(ucnv_open("CP932", &status),
                                                             ucnv_close);
    ucnv_setFromUCallBack(cp932.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                          &status);
    char bytes[128];
    int32_t length = ucnv_fromUChars(cp932.get(), bytes, sizeof bytes, units, unitCount, &status);
    if (U_FAILURE(status)) throw std::runtime_error(std::string("no CP932 form for ") + utf8);
    return std::string(bytes, std::size_t(length));
}

}  // namespace

AccessLogGenerator::AccessLogGenerator(const Options& options)
    : options_(options),
      random_(options.seed),
      pool_(std::max<std::size_t>(options.distinctUrls, 1)) {
    for (const char* word : kJapaneseWords) japanese_.push_back(ToCp932(word));
}

void AccessLogGenerator::AppendJapanese(std::string& out, Random& random, int words) const {
    for (int i = 0; i < words; ++i) {
        if (i > 0) out.push_back('+');
        out += japanese_[random.Below(japanese_.size())];
    }
}

std::string AccessLogGenerator::PoolUrl(std::size_t rank) const {
    // Every choice depends on the seed and the rank alone, and the rank itself is
    // in the URL, so the pool holds `distinctUrls` different URLs.
    Random random(Mix(options_.seed, rank));
    std::string url = "http://";
    url += kHosts[random.Below(kHosts.size())];
    switch (random.Below(8)) {
        case 0:
        case 1:
            url += "/item/";
            AppendNumber(url, rank);
            url += ".html";
            break;
        case 2:
            url += "/search?q=";
            AppendJapanese(url, random, 1 + int(random.Below(3)));
            url += "&p=";
            AppendNumber(url, rank);
            break;
        case 3:
            url += "/blog/2023/";
            AppendNumber(url, 1 + random.Below(12), 2);
            url += '/';
            url += kSlugs[random.Below(kSlugs.size())];
            url += '-';
            AppendNumber(url, rank);
            url += '/';
            break;
        case 4:
            url += '/';
            AppendJapanese(url, random, 1);
            url += '/';
            AppendNumber(url, rank);
            break;
        case 5:
            url += "/news/";
            AppendNumber(url, rank);
            url += "?utm_source=feed&utm_medium=rss";
            break;
        case 6:
            url += "/?ref=";
            AppendNumber(url, rank);
            break;
        default:
            url += "/page.php?id=";
            AppendNumber(url, rank);
            url += "&lang=ja";
            break;
    }
    return url;
}

std::size_t AccessLogGenerator::ChooseReferrer() {
    // Sweep through the pool at the pace that reaches its end with the log's end,
    // judged from the mean line length so far; Zipf draws fill the other lines.
    const std::size_t n = std::max<std::size_t>(options_.distinctUrls, 1);
    if (nextUnseen_ < n) {
        double meanLine = lines_ > 0 ? double(written_) / double(lines_) : 250.0;
        double linesLeft = written_ < options_.targetBytes
                               ? double(options_.targetBytes - written_) / meanLine
                               : 0;
        double pace = double(n - nextUnseen_) / std::max(1.0, linesLeft * kReferrerShare);
        if (random_.Chance(pace)) return nextUnseen_++;
    }
    return pool_.Draw(random_);
}

void AccessLogGenerator::AppendDate(std::string& out) {
    static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};  // 2024
    // Ten months (March to December) and then the same ten again, for huge logs.
    std::int64_t day = clock_ / 86400 % 306, second = clock_ % 86400;
    int month = 2;  // the log starts on 1 March 2024
    while (month < 11 && day >= kDays[month]) day -= kDays[month++];
    out.push_back('[');
    AppendNumber(out, std::uint64_t(day + 1), 2);
    out.push_back('/');
    out += kMonths[month];
    out += "/2024:";
    AppendNumber(out, std::uint64_t(second / 3600), 2);
    out.push_back(':');
    AppendNumber(out, std::uint64_t(second / 60 % 60), 2);
    out.push_back(':');
    AppendNumber(out, std::uint64_t(second % 60), 2);
    out += " +0900]";
}

void AccessLogGenerator::AppendPath(std::string& out) {
    std::uint64_t kind = random_.Below(100);
    if (kind < 25) {
        out += "/item/";
        AppendNumber(out, random_.Below(50000));
        out += ".html";
    } else if (kind < 45) {
        static constexpr const char* kAssets[] = {"/css/site.css", "/js/app.js", "/favicon.ico",
                                                  "/images/logo.png", "/robots.txt"};
        out += kAssets[random_.Below(5)];
    } else if (kind < 55) {
        out += "/search?q=";
        AppendJapanese(out, random_, 1 + int(random_.Below(2)));
    } else if (kind < 60) {
        out += '/';
        AppendJapanese(out, random_, 1);
        out += "/index.html";
    } else if (kind < 61) {
        // An open-redirect style request: the request line holds the first URL.
        out += "/out?url=";
        out += PoolUrl(pool_.Draw(random_));
    } else if (kind < 62) {
        // A proxy request names a whole URL.
        out += PoolUrl(pool_.Draw(random_));
    } else if (kind < 80) {
        out += "/blog/2023/";
        AppendNumber(out, 1 + random_.Below(12), 2);
        out += '/';
        out += kSlugs[random_.Below(kSlugs.size())];
        out += '/';
    } else {
        out += '/';
    }
}

bool AccessLogGenerator::NextLine(std::string& out) {
    if (written_ >= options_.targetBytes) return false;
    const std::size_t begin = out.size();
    std::uint64_t client = Mix(options_.seed ^ 0xC1, random_.Below(60000));
    AppendNumber(out, 1 + client % 223);
    for (int shift = 8; shift <= 24; shift += 8) {
        out.push_back('.');
        AppendNumber(out, client >> shift & 0xFF);
    }
    out += " - - ";
    AppendDate(out);
    clock_ += std::int64_t(random_.Below(3));

    static constexpr const char* kMethods[] = {"GET", "GET", "GET",  "GET",  "GET",
                                               "GET", "GET", "POST", "HEAD", "GET"};
    out += " \"";
    out += kMethods[random_.Below(10)];
    out.push_back(' ');
    AppendPath(out);
    out += " HTTP/1.1\" ";
    static constexpr int kStatuses[] = {200, 200, 200, 200, 200, 200, 200, 304, 304, 404, 301, 500};
    int status = kStatuses[random_.Below(12)];
    AppendNumber(out, std::uint64_t(status));
    out.push_back(' ');
    if (status == 304) {
        out.push_back('-');
    } else {
        AppendNumber(out, 200 + random_.Below(random_.Chance(0.1) ? 2000000 : 40000));
    }

    out += " \"";
    const char* agent;
    if (random_.Chance(kCrawler)) {
        out.push_back('-');
        agent = kCrawlers[random_.Below(kCrawlers.size())];
    } else {
        if (random_.Chance(kNoReferrer)) {
            out.push_back('-');
        } else {
            std::string url = PoolUrl(ChooseReferrer());
            if (random_.Chance(kUpperCaseScheme))
                url.replace(0, 4, random_.Chance(0.5) ? "HTTP" : "Http");
            out += url;
        }
        agent = kBrowsers[random_.Below(kBrowsers.size())];
    }
    out += "\" \"";
    out += agent;
    out += "\"\n";

    written_ += out.size() - begin;
    ++lines_;
    return true;
}

}  // namespace kestrin::bench
