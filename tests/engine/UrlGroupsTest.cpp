#include <gtest/gtest.h>

#include "text/CodePage.h"
#include "text/HostFilter.h"
#include "text/UrlGroups.h"

namespace kestrin {
namespace {

// Every URL's host and site entry, in the code page it is written in.
TEST(UrlGroups, HostsAndSitesOfEveryKindOfUrl) {
    const struct {
        const char* page;
        std::string url, host, site;
    } cases[] = {
        {"CP932", "http://WWW.Example.COM:8080/a", "http://www.example.com", "http://example.com"},
        {"CP932", "HTTPS://user:pw@news.Google.co.jp?q=x#y", "https://news.google.co.jp",
         "https://google.co.jp"},
        {"CP932", "http://a@b@www.google.co.jp#x", "http://www.google.co.jp",
         "http://google.co.jp"},
        {"CP932", "http://www.example.com./", "http://www.example.com.", "http://example.com"},
        {"CP932", "http://192.168.0.1:80/x", "http://192.168.0.1", "http://192.168.0.1"},
        {"CP932", "http://10.0.0.1./", "http://10.0.0.1.", "http://10.0.0.1."},
        {"CP932", "http://[2001:DB8::1]:8080/", "http://[2001:db8::1]", "http://[2001:db8::1]"},
        {"CP932", "http://localhost:3000/", "http://localhost", "http://localhost"},
        {"CP932", "http://co.jp/", "http://co.jp", "http://co.jp"},
        {"CP932", "http://Alice.GitHub.io/x", "http://alice.github.io", "http://alice.github.io"},
        {"CP932", "http://pages.alice.github.io/", "http://pages.alice.github.io",
         "http://alice.github.io"},
        {"CP932", "http://github.io", "http://github.io", "http://github.io"},
        {"CP932", "http://a.b.ck/", "http://a.b.ck", "http://a.b.ck"},
        {"CP932", "http://a.www.ck/", "http://a.www.ck", "http://www.ck"},
        {"CP932", "http:///x", "http://", "http://"},
        {"CP932", "http:", "http:", "http:"},
        // CP932: a trail byte that looks like "A" or "@" is neither (アァ is 83 41 83
        // 40), and 公司.cn is a public suffix of its own.
        {"CP932", "http://www.\x83\x41\x83\x40.JP/", "http://www.\x83\x41\x83\x40.jp",
         "http://\x83\x41\x83\x40.jp"},
        {"CP932", "http://WWW.\x83\x65\x83\x58\x83\x67.\x8c\xf6\x8e\x69.cn/",
         "http://www.\x83\x65\x83\x58\x83\x67.\x8c\xf6\x8e\x69.cn",
         "http://\x83\x65\x83\x58\x83\x67.\x8c\xf6\x8e\x69.cn"},
        // A host not text in the code page is its own site.
        {"CP932", "http://a.b\x81.example.jp/", "http://a.b\x81.example.jp",
         "http://a.b\x81.example.jp"},
        // UTF-8: ålesund.no is a public suffix, found when Å is lower-cased.
        {"UTF-8", "http://www.Kommune.\xc3\x85LESUND.no/", "http://www.kommune.\xc3\x85lesund.no",
         "http://kommune.\xc3\x85lesund.no"},
        {"UTF-8", "http://\xe4\xbe\x8b\xe3\x81\x88.\xe5\x85\xac\xe5\x8f\xb8.cn:80",
         "http://\xe4\xbe\x8b\xe3\x81\x88.\xe5\x85\xac\xe5\x8f\xb8.cn",
         "http://\xe4\xbe\x8b\xe3\x81\x88.\xe5\x85\xac\xe5\x8f\xb8.cn"},
        {"UTF-8", "http://x.\xe4\xbe\x8b\xe3\x81\x88.\xe5\x85\xac\xe5\x8f\xb8.cn",
         "http://x.\xe4\xbe\x8b\xe3\x81\x88.\xe5\x85\xac\xe5\x8f\xb8.cn",
         "http://\xe4\xbe\x8b\xe3\x81\x88.\xe5\x85\xac\xe5\x8f\xb8.cn"},
    };
    // One grouper of each kind a code page, as a run has: many hosts looked up, some again.
    const CodePage &cp932 = **CodePage::Shared("CP932"), &utf8 = **CodePage::Shared("UTF-8");
    UrlGrouper hosts[] = {{Grouping::Host, cp932}, {Grouping::Host, utf8}};
    UrlGrouper sites[] = {{Grouping::Site, cp932}, {Grouping::Site, utf8}};
    for (int again = 0; again < 2; ++again) {
        for (const auto& c : cases) {
            const bool inUtf8 = std::string_view(c.page) == "UTF-8";
            EXPECT_EQ(hosts[inUtf8].EntryOf(c.url), c.host) << c.url;
            EXPECT_EQ(sites[inUtf8].EntryOf(c.url), c.site) << c.url << (again ? " again" : "");
        }
    }
}

// A URL is left out by the host it is grouped by: the user info and the port are
// no part of it, an IPv6 address keeps its brackets (and may be given without
// them), a last dot names the same host, and only a whole label of a subdomain
// counts. A double-byte character's trail byte is no letter, whatever it looks like.
TEST(HostFilter, LeavesOutUrlsByTheHostTheyAreGroupedBy) {
    const struct {
        std::string url;
        std::vector<std::string> excluded;
        bool out;
    } cases[] = {
        {"http://example.com/a", {"example.com"}, true},
        {"http://WWW.Example.COM:8080/a", {"EXAMPLE.com"}, true},
        {"http://notexample.com/", {"example.com"}, false},
        {"http://example.com/", {"www.example.com"}, false},
        {"http://user@example.com/a", {"example.com"}, true},
        {"http://user:pw@www.example.com/b", {"user"}, false},
        {"http://user:pw@www.example.com/b", {"example.com"}, true},
        {"http://example.com@evil.example.org/", {"example.com"}, false},
        {"http://[2001:db8::1]:8080/c", {"[2001:db8::1]"}, true},
        {"http://[2001:DB8::1]/d", {"2001:db8::1"}, true},
        {"http://[2001:db8::1]/d", {"[2001"}, false},
        {"http://[2001:db8::1]/d", {"2001"}, false},
        {"http://example.com./b", {"example.com"}, true},
        {"http://www.example.com/b", {"example.com."}, true},
        {"http://other.org/", {"example.com", "other.org"}, true},
        {"http://www.\x83\x41.jp/", {"www.\x83\x61.jp"}, false},
        {"http://www.\x83\x41.jp/", {"\x83\x41.JP"}, true},
        {"http://a@\x83\x40.jp/", {"\x83\x40.jp"}, true},
        {"example.com/x", {"example.com"}, false},
        {"http:///x", {"example.com"}, false},
        {"http://[]/x", {"[]"}, true},
        {"http://[::1]/x", {"[]"}, false},
        {"http://::1/x", {"::1"}, false},
        // UTF-8: only ASCII letters are folded.
        {"http://\xc3\x84.example/", {"\xc3\xa4.example"}, false},
        {"http://www.\xc3\xa4.Example/", {"\xc3\xa4.EXAMPLE"}, true},
    };
    const CodePage &cp932 = **CodePage::Shared("CP932"), &utf8 = **CodePage::Shared("UTF-8");
    for (const auto& c : cases) {
        const bool inUtf8 = c.url.find('\xc3') != std::string::npos;
        const HostFilter filter(c.excluded, inUtf8 ? utf8 : cp932);
        EXPECT_EQ(filter.Excludes(c.url), c.out) << c.url << " without " << c.excluded[0];
    }
    // What no URL's host would be is refused before a run, as a usage error says.
    for (const char* host : {".", "", "a:80", "[::1]:80", "[::1", "u@h", "h/p", "h?q", "h#f"})
        EXPECT_TRUE(HostProblem(host)) << host;
    for (const char* host : {"example.com", "example.com.", "::1", "[2001:db8::1]", "\x83\x41"})
        EXPECT_FALSE(HostProblem(host)) << host;
    EXPECT_FALSE(HostFilter({}, cp932).Excludes("http://example.com/"));
}

}  // namespace
}  // namespace kestrin
