#pragma once

// Plain, slow restatements of the reader, the cutting rule and the tally, written
// from their rules rather than from the engine's code, for the fuzzers to compare
// the engine against.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/CodePage.h"

namespace kestrin::fuzz {

/// One line as the rules cut it: bytes [start, start + length) of the log, and the
/// offset where the next line starts (past the terminator, or past the end).
struct ModelLine {
    std::size_t start;
    std::size_t length;
    std::size_t next;
};

/// The lines of `log`: the first CR or LF in the 1024 bytes at a line's start ends
/// it (CR LF as one terminator when the window holds both); else the first NUL;
/// else, if the log ends inside the window, the end; else the first CR or LF
/// anywhere after the start (CR LF as one), or the end of the log.
inline std::vector<ModelLine> ModelLines(std::string_view log) {
    constexpr std::size_t kWindow = 1024;
    // The line from `start` ended by the first byte of [from, to) that `ends`: the
    // next starts past that byte, or past CR LF when both lie before `to`.
    const auto endedBy = [log](std::size_t start, std::size_t from, std::size_t to,
                               auto ends) -> std::optional<ModelLine> {
        for (std::size_t at = from; at < to; ++at) {
            if (!ends(log[at])) continue;
            const bool pair = log[at] == '\r' && at + 1 < to && log[at + 1] == '\n';
            return ModelLine{start, at - start, at + (pair ? 2 : 1)};
        }
        return std::nullopt;
    };
    const auto isBreak = [](char byte) { return byte == '\r' || byte == '\n'; };
    const auto isNul = [](char byte) { return byte == '\0'; };
    std::vector<ModelLine> lines;
    for (std::size_t start = 0; start < log.size(); start = lines.back().next) {
        const std::size_t windowEnd = std::min(log.size(), start + kWindow);
        std::optional<ModelLine> line = endedBy(start, start, windowEnd, isBreak);
        if (!line) line = endedBy(start, start, windowEnd, isNul);
        if (!line && windowEnd - start == kWindow)
            line = endedBy(start, windowEnd, log.size(), isBreak);
        lines.push_back(line.value_or(ModelLine{start, log.size() - start, log.size() + 1}));
    }
    return lines;
}

/// The line as UTF-16 code units, each with the offset of the byte it stands for:
/// a character's first byte, or for undecodable bytes the byte itself.
struct DecodedLine {
    std::u16string units;  // single-byte characters lower-cased for the search
    std::vector<std::size_t> offsets;
};

inline DecodedLine DecodeForSearch(std::string_view line, const CodePage& page) {
    DecodedLine decoded;
    for (std::size_t at = 0; at < line.size();) {
        const std::size_t length = page.CharLength(line, at);
        std::u16string units;
        page.Decode(line.substr(at, length), units);
        for (std::size_t i = 0; i < units.size(); ++i) {
            const bool undecodable = units.size() == length && units[i] >= 0xDC00 &&
                                     units[i] <= 0xDCFF &&
                                     units[i] == 0xDC00 + std::uint8_t(line[at + i]);
            decoded.offsets.push_back(at + (undecodable ? i : 0));
            decoded.units.push_back(length == 1 ? page.SearchUnit(std::uint8_t(line[at]))
                                                : units[i]);
        }
        at += length;
    }
    decoded.offsets.push_back(line.size());
    return decoded;
}

/// The first "http://" of the lower-cased text, cut at the first keyword at or
/// after it, as the bytes of the line.
inline std::optional<std::string_view> ModelUrl(std::string_view line, const CodePage& page,
                                                char16_t keyword) {
    const DecodedLine decoded = DecodeForSearch(line, page);
    const std::size_t from = decoded.units.find(u"http://");
    if (from == std::u16string::npos) return std::nullopt;
    std::size_t to = decoded.units.find(keyword, from);
    if (to == std::u16string::npos) to = decoded.units.size();
    const std::size_t begin = decoded.offsets[from];
    return line.substr(begin, decoded.offsets[to] - begin);
}

/// One entry of the expected tally.
struct ModelEntry {
    std::string url;  // the bytes of its first occurrence
    std::uint64_t count = 0;
};

/// The expected tally: URLs alike when they decode alike, in UTF-16 order.
inline std::vector<ModelEntry> ModelTally(const std::vector<std::string_view>& urls,
                                          const CodePage& page) {
    std::map<std::u16string, ModelEntry> byText;
    for (std::string_view url : urls) {
        std::u16string text;
        page.Decode(url, text);
        ModelEntry& entry = byText[text];
        if (entry.count++ == 0) entry.url = std::string(url);
    }
    std::vector<ModelEntry> listing;
    for (auto& [text, entry] : byText) listing.push_back(entry);
    return listing;
}

/// The ranked listing: the selection sort of the run's rules, swaps and all.
inline std::vector<ModelEntry> ModelRanking(std::vector<ModelEntry> listing) {
    for (std::size_t i = 0; i < listing.size(); ++i) {
        std::size_t m = i;
        for (std::size_t j = i + 1; j < listing.size(); ++j) {
            if (listing[j].count > listing[m].count) m = j;
        }
        std::swap(listing[m], listing[i]);
    }
    return listing;
}

}  // namespace kestrin::fuzz
