#include "report/ReportFormats.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>

namespace kestrin {
namespace {

// Often enough that a stop is seen within milliseconds.
constexpr std::size_t kStep = 1 << 16;

std::string Decimal(std::uint64_t number) {
    char digits[24];
    return std::string(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
}

// A table's bytes, to its file through one buffer; or only counted, for the room
// a report written in place makes first.
class TableBytes {
  public:
    explicit TableBytes(std::optional<ReservedReport> file) : file_(file) {
        if (file_) buffer_.resize(1 << 20);
    }

    void Append(std::string_view bytes) {
        size_ += std::int64_t(bytes.size());
        while (file_ && !bytes.empty()) {
            if (used_ == buffer_.size() && Flush()) return;
            const std::size_t part = std::min(bytes.size(), buffer_.size() - used_);
            std::memcpy(buffer_.data() + used_, bytes.data(), part);
            used_ += part;
            bytes.remove_prefix(part);
        }
    }
    // Hands everything buffered to the file; the first fault of any write.
    Status Flush() {
        if (!failure_ && used_ > 0) failure_ = file_->Write(buffer_.data(), used_);
        used_ = 0;
        return failure_;
    }
    std::int64_t Size() const { return size_; }

  private:
    std::optional<ReservedReport> file_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    std::int64_t size_ = 0;
    Status failure_;
};

void AppendCsvField(TableBytes& out, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) return out.Append(field);
    out.Append("\"");
    for (std::size_t quote; (quote = field.find('"')) != std::string_view::npos;) {
        out.Append(field.substr(0, quote + 1));
        out.Append("\"");
        field.remove_prefix(quote + 1);
    }
    out.Append(field);
    out.Append("\"");
}

void AppendJsonString(TableBytes& out, std::string_view text) {
    out.Append("\"");
    std::size_t from = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = std::uint8_t(text[at]);
        if (byte >= 0x20 && byte != '"' && byte != '\\') continue;
        out.Append(text.substr(from, at - from));
        constexpr char kHex[] = "0123456789abcdef";
        const char escape[] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 15]};
        out.Append(byte == '"' ? "\\\"" : byte == '\\' ? "\\\\" : std::string_view(escape, 6));
        from = at + 1;
    }
    out.Append(text.substr(from));
    out.Append("\"");
}

// HTML's specials as entities, and control bytes as the URL's own escape (%XX): a
// page holds no NUL (a browser reads U+FFFD), and a link drops a TAB, CR or LF.
void AppendHtml(TableBytes& out, std::string_view text) {
    std::size_t from = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = std::uint8_t(text[at]);
        constexpr char kHex[] = "0123456789ABCDEF";
        const char escape[] = {'%', kHex[byte >> 4], kHex[byte & 15], '\0'};
        const char* entity = byte == '&'                   ? "&amp;"
                             : byte == '<'                 ? "&lt;"
                             : byte == '>'                 ? "&gt;"
                             : byte == '"'                 ? "&quot;"
                             : byte == '\''                ? "&#39;"
                             : byte < 0x20 || byte == 0x7F ? escape
                                                           : nullptr;
        if (entity == nullptr) continue;
        out.Append(text.substr(from, at - from));
        out.Append(entity);
        from = at + 1;
    }
    out.Append(text.substr(from));
}

// Only a web address is a link: an entry may be any text a report held.
bool IsWebAddress(std::string_view text) {
    auto startsWith = [&](std::string_view scheme) {
        return text.size() >= scheme.size() &&
               std::equal(scheme.begin(), scheme.end(), text.begin(), [](char s, char t) {
                   return s == (t >= 'A' && t <= 'Z' ? char(t + 32) : t);
               });
    };
    return startsWith("http://") || startsWith("https://");
}

constexpr std::string_view kPageStyle =
    "body{font:14px/1.45 sans-serif;margin:2em;color:#1d2733;background:#fff}\n"
    "h1{font-size:1.35em;margin:0 0 .3em}\n"
    "p{color:#4d5a68;margin:0 0 1.2em}\n"
    "table{border-collapse:collapse;width:100%;max-width:75em}\n"
    "th,td{padding:.3em .6em;border-bottom:1px solid #e3e8ee;text-align:left}\n"
    "th{border-bottom:2px solid #c6ced8}\n"
    ".n{text-align:right;white-space:nowrap;font-variant-numeric:tabular-nums}\n"
    ".e{word-break:break-all}\n"
    ".b{width:35%}\n"
    ".b div{background:#3f78b5;height:.9em;min-width:1px}\n"
    "a{color:#1f5c99}\n";

// One table's layout: what goes before, between and after the entries.
class Layout {
  public:
    Layout(const TableForm& form, std::uint64_t largest) : form_(form), largest_(largest) {}

    void Head(TableBytes& out, std::size_t entries, std::size_t distinct) const;
    void Entry(TableBytes& out, std::size_t rank, std::string_view url, std::uint64_t count);
    void Tail(TableBytes& out) const;
    std::uint64_t Escaped() const { return escaped_; }

  private:
    std::string_view LineEnd() const {
        return form_.format == ReportFormat::Csv && !form_.lf ? "\r\n" : "\n";
    }
    void PageEntry(TableBytes& out, std::size_t rank, std::string_view text, std::uint64_t count);

    const TableForm& form_;
    std::uint64_t largest_;
    std::string converted_;
    std::uint64_t escaped_ = 0;
};

void Layout::Head(TableBytes& out, std::size_t entries, std::size_t distinct) const {
    const std::string name = form_.entryName;
    switch (form_.format) {
        case ReportFormat::Csv:
            if (form_.byteOrderMark) out.Append("\xEF\xBB\xBF");
            out.Append(name + ",count");
            out.Append(LineEnd());
            return;
        case ReportFormat::Json:
            out.Append("{");
            for (const auto& [key, value] : form_.counts)
                out.Append("\"" + key + "\": " + Decimal(value) + ", ");
            out.Append("\"entries\": [");
            return;
        case ReportFormat::Html:
        case ReportFormat::Report:
            break;
    }
    const std::string plural = name == "url" ? "URLs" : name == "host" ? "Hosts" : "Sites";
    out.Append("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n");
    out.Append("<title>Kestrin: " + plural + " by count</title>\n<style>\n");
    out.Append(kPageStyle);
    out.Append("</style>\n</head>\n<body>\n<h1>" + plural + " by count</h1>\n<p>");
    AppendHtml(out, form_.summary);
    out.Append(entries < distinct ? ". The " + Decimal(entries) + " with the most hits.</p>\n"
                                  : ".</p>\n");
    out.Append("<table>\n<thead><tr><th class=\"n\">#</th><th>" + name +
               "</th><th class=\"n\">count</th><th></th></tr></thead>\n<tbody>\n");
}

void Layout::Entry(TableBytes& out, std::size_t rank, std::string_view url, std::uint64_t count) {
    if (form_.text != nullptr) {
        if (form_.text->ConvertEscaping(url, converted_)) ++escaped_;
        url = converted_;
    }
    switch (form_.format) {
        case ReportFormat::Csv:
            AppendCsvField(out, url);
            out.Append(",");
            out.Append(Decimal(count));
            out.Append(LineEnd());
            return;
        case ReportFormat::Json:
            out.Append(rank == 1 ? "\n{\"" : ",\n{\"");
            out.Append(form_.entryName + "\": ");
            AppendJsonString(out, url);
            out.Append(", \"count\": " + Decimal(count) + "}");
            return;
        case ReportFormat::Html:
        case ReportFormat::Report:
            break;
    }
    PageEntry(out, rank, url, count);
}

void Layout::PageEntry(TableBytes& out, std::size_t rank, std::string_view text,
                       std::uint64_t count) {
    out.Append("<tr><td class=\"n\">" + Decimal(rank) + "</td><td class=\"e\">");
    if (IsWebAddress(text)) {
        out.Append("<a href=\"");
        AppendHtml(out, text);
        out.Append("\">");
        AppendHtml(out, text);
        out.Append("</a>");
    } else {
        AppendHtml(out, text);
    }
    // The bar's length in tenths of a percent of the largest count.
    const auto tenths = std::uint64_t(double(count) / double(largest_) * 1000 + 0.5);
    out.Append("</td><td class=\"n\">" + Decimal(count) +
               "</td><td class=\"b\"><div style=\"width:" + Decimal(tenths / 10) + "." +
               Decimal(tenths % 10) + "%\"></div></td></tr>\n");
}

void Layout::Tail(TableBytes& out) const {
    if (form_.format == ReportFormat::Json) out.Append("\n]}\n");
    if (form_.format == ReportFormat::Html) out.Append("</tbody>\n</table>\n</body>\n</html>\n");
}

bool Ranked(const TableForm& form) {
    return form.ranked || form.top > 0 || form.format == ReportFormat::Html;
}

std::size_t Entries(const TableForm& form, const UrlTable& table) {
    const std::size_t top =
        form.format == ReportFormat::Html && form.top == 0 ? kPageEntries : form.top;
    return top > 0 ? std::min(top, table.EntryCount()) : table.EntryCount();
}

// The whole table, or as much as the stop leaves; `listing` when given is told
// the entries written.
Status WriteEntries(TableBytes& out, Layout& layout, const UrlTable& table, const TableForm& form,
                    Phase* listing) {
    const std::size_t entries = Entries(form, table);
    layout.Head(out, entries, table.EntryCount());
    for (std::size_t i = 0; i < entries; ++i) {
        if (listing != nullptr && i % kStep == 0) {
            if (Status stop = listing->Reach(i)) return stop;
        }
        const UrlEntry entry = table[i];
        layout.Entry(out, i + 1, entry.Url, entry.Count);
    }
    layout.Tail(out);
    return std::nullopt;
}

}  // namespace

Result<TableWritten> WriteTable(ReportFile& file, UrlTable& table, const TableForm& form,
                                RunControl& control) {
    RunPhase listed = RunPhase::Listing;
    if (Ranked(form)) {
        (void)control.Begin(RunPhase::Listing, 0);
        Phase ranking = control.Begin(RunPhase::Ranking, table.EntryCount());
        if (Status stop = table.RankByCount(&ranking)) return *stop;
        listed = RunPhase::RankedListing;
    }
    const std::uint64_t largest = table.EntryCount() > 0 ? table[0].Count : 0;
    Result<ReservedReport> room = file.Reserve([&] {
        TableBytes counted(std::nullopt);
        Layout layout(form, largest);
        (void)WriteEntries(counted, layout, table, form, nullptr);
        return counted.Size();
    });
    if (!room) return room.Failure();
    TableBytes out(*room);
    Layout layout(form, largest);
    Phase listing = control.Begin(listed, Entries(form, table));
    if (Status stop = WriteEntries(out, layout, table, form, &listing)) return *stop;
    if (Status fault = out.Flush()) return *fault;
    return TableWritten{layout.Escaped()};
}

}  // namespace kestrin
