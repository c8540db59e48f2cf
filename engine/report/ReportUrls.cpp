#include "report/ReportUrls.h"

#include <vector>

namespace kestrin {
namespace {

// Often enough that a stop is seen within milliseconds.
constexpr std::size_t kStep = 1 << 16;

}  // namespace

Result<std::unique_ptr<ReportUrls>> ReportUrls::Find(Transcoder& transcoder, const UrlTable& table,
                                                     const RunControl& control) {
    std::unique_ptr<ReportUrls> urls(new ReportUrls(transcoder));
    // The escaped URLs, whose lines a URL written as text might read as.
    std::vector<std::string_view> escaped;
    std::string out;
    for (std::size_t i = 0; i < table.EntryCount(); ++i) {
        if (i % kStep == 0) {
            if (Status stop = control.Check()) return *stop;
        }
        if (transcoder.ConvertEscaping(table[i].Url, out)) escaped.push_back(table[i].Url);
    }
    // Each URL escaped may make another one so, whose line would read as its; the
    // same ones whatever the order, as a URL is made so once.
    std::u16string units;
    for (std::size_t next = 0; next < escaped.size(); ++next) {
        if (next % kStep == 0) {
            if (Status stop = control.Check()) return *stop;
        }
        urls->Escape(escaped[next], out);
        units.clear();
        transcoder.To().Decode(out, units);
        const std::optional<std::string_view> alike = EntryOf(table, transcoder.From(), units);
        if (alike && !transcoder.ConvertEscaping(*alike, out) &&
            urls->lookAlikes_.emplace(*alike).second) {
            escaped.push_back(*alike);
        }
    }
    return urls;
}

UrlWritten ReportUrls::Write(std::string_view url, std::string& out) {
    if (!lookAlikes_.empty() && lookAlikes_.contains(std::string(url))) {
        Escape(url, out);
        return UrlWritten::LookAlike;
    }
    if (!transcoder_.ConvertEscaping(url, out)) return UrlWritten::Converted;
    Escape(url, out);
    return UrlWritten::Escaped;
}

// The URL's own `%` characters stand between pieces escaped alike.
void ReportUrls::Escape(std::string_view url, std::string& out) {
    const CodePage& page = transcoder_.From();
    out.clear();
    std::size_t from = 0;
    for (std::size_t at = 0; at <= url.size();) {
        const std::size_t length = at < url.size() ? page.CharLength(url, at) : 1;
        if (at == url.size() || (length == 1 && url[at] == '%')) {
            transcoder_.ConvertEscaping(url.substr(from, at - from), piece_);
            out += piece_;
            if (at < url.size()) out += "%25";
            from = at + 1;
        }
        at += length;
    }
}

std::optional<std::string_view> ReportUrls::EntryOf(const UrlTable& table, const CodePage& page,
                                                    std::u16string_view units) {
    std::size_t low = 0, high = table.EntryCount();
    std::u16string entry;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        entry.clear();
        page.Decode(table[middle].Url, entry);
        if (entry == units) return table[middle].Url;
        if (std::u16string_view(entry) < units) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return std::nullopt;
}

}  // namespace kestrin
