#include "report/ReportListing.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "report/ReportWriter.h"

namespace kestrin {
namespace {

// Why `line` (its terminator cut off) is no entry, or nothing when it is one, with
// its URL and count.
std::optional<std::string_view> ParseEntry(std::string_view line, std::string_view& url,
                                           std::uint64_t& count) {
    // A URL never holds a line break but may hold TABs and blanks: the count
    // follows the last TAB and blank.
    const std::size_t tab = line.rfind("\t ");
    if (tab == std::string_view::npos) return "has no TAB and blank before a count";
    const std::string_view digits = line.substr(tab + 2);
    if (digits.empty() || digits[0] < '1' || digits[0] > '9')
        return "has no count above 0 without sign or leading zero";
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
    if (error == std::errc::result_out_of_range) return "has a count above 2^64 - 1";
    if (end != digits.data() + digits.size()) return "has more than digits after its count";
    url = line.substr(0, tab);
    return std::nullopt;
}

// The line end of a report, which its first line sets: a URL holds no CR, so a CR
// before an LF can only be part of the line end.
struct LineEnd {
    enum { Unknown, CrLf, Lf } kind = Unknown;

    // Why `line` (its LF cut off) does not end as the report's lines do, or
    // nothing; `line` loses its CR.
    std::optional<std::string_view> Check(std::string_view& line) {
        const bool crLf = line.ends_with('\r');
        if (kind == Unknown) kind = crLf ? CrLf : Lf;
        if (crLf) line.remove_suffix(1);
        if (crLf == (kind == CrLf)) return std::nullopt;
        return crLf ? "ends with CR LF, not LF as line 1" : "does not end with CR LF as line 1";
    }
    std::string_view Unterminated() const {
        return kind == CrLf ? "does not end with CR LF"
               : kind == Lf ? "does not end with LF"
                            : "does not end with a line end";
    }
};

}  // namespace

Status ReadReportListing(ByteSource& source, Phase::Piece& reading,
                         const std::function<void(std::string_view, std::uint64_t)>& entry) {
    std::string pending;
    std::vector<char> block(1 << 20);
    std::uint64_t lineNumber = 0;
    const std::int64_t begun = source.Consumed();  // in the file's bytes, for progress
    std::size_t scanned = 0;                       // no LF in pending before this
    LineEnd lineEnd;
    const auto malformed = [&](std::string_view problem) {
        return Fault{.detail = "line " + std::to_string(lineNumber) + " " + std::string(problem),
                     .kind = FaultKind::Malformed};
    };
    for (;;) {
        std::size_t start = 0;
        for (std::size_t lf; (lf = pending.find('\n', scanned)) != std::string::npos;) {
            std::string_view line(pending.data() + start, lf - start);
            start = scanned = lf + 1;
            ++lineNumber;
            if (auto problem = lineEnd.Check(line)) return malformed(*problem);
            if (line == kRankedBanner) return std::nullopt;
            std::string_view url;
            std::uint64_t count = 0;
            if (auto problem = ParseEntry(line, url, count)) return malformed(*problem);
            entry(url, count);
        }
        pending.erase(0, start);
        scanned = pending.size();
        if (Status stop =
                reading.Reach(std::uint64_t(std::max<std::int64_t>(source.Consumed() - begun, 0))))
            return stop;
        const Result<std::size_t> got = source.Read(block.data(), block.size());
        if (!got) return got.Failure();
        if (*got == 0) {
            if (pending.empty()) return std::nullopt;
            ++lineNumber;
            return malformed(lineEnd.Unterminated());
        }
        pending.append(block.data(), *got);
    }
}

}  // namespace kestrin
