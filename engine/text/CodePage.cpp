#include "text/CodePage.h"

#include <map>
#include <mutex>

#include "os/CodePageTables.h"

namespace kestrin {

Result<std::unique_ptr<CodePage>> CodePage::Open(std::string_view name) {
    Result<os::CodePageTables> tables = os::ReadCodePageTables(name);
    if (!tables) return tables.Failure();
    std::unique_ptr<CodePage> page(new CodePage);
    page->name_ = std::string(name);
    if (tables->utf8) {
        page->ReadUtf8();
        page->MarkPlainBytes();
        return page;
    }
    page->lead_ = tables->lead;
    page->singles_ = tables->singles;
    page->pairRow_ = tables->pairRow;
    if (tables->heldPairs.empty()) {
        page->readPairs_ = std::move(tables->readPairs);
        page->pairs_ = page->readPairs_;
    } else {
        page->pairs_ = tables->heldPairs;
    }
    page->writtenAsOneByte_ = tables->writtenAsOneByte;
    page->ReadSearchUnits(tables->lowerSingles);
    page->MarkPlainBytes();
    if (std::string error = page->Unusable(); !error.empty()) return Fault{0, error};
    return page;
}

Result<const CodePage*> CodePage::Shared(const std::string& name) {
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<CodePage>> opened;
    std::lock_guard<std::mutex> lock(mutex);
    auto found = opened.find(name);
    if (found != opened.end()) return static_cast<const CodePage*>(found->second.get());
    Result<std::unique_ptr<CodePage>> page = Open(name);
    if (!page) return page.Failure();
    return static_cast<const CodePage*>(opened.emplace(name, std::move(*page)).first->second.get());
}

void CodePage::ReadUtf8() {
    utf8_ = true;
    std::array<char32_t, 256> lowerSingles;
    for (int b = 0; b < 256; ++b) {
        singles_[b] = b < 0x80 ? char32_t(b) : kUndecodable;
        lead_[b] = b >= 0xC2 && b <= 0xF4;
        // ASCII's own letters are all that ASCII lower-cases.
        lowerSingles[b] = b >= 'A' && b <= 'Z' ? char32_t(b + ('a' - 'A')) : singles_[b];
    }
    ReadSearchUnits(lowerSingles);
}

std::size_t CodePage::Utf8Length(std::string_view bytes, std::size_t at) {
    // The well-formed sequences of the Unicode standard: no overlong forms, no
    // surrogates, nothing above U+10FFFF.
    const auto byte = [&](std::size_t i) { return std::uint8_t(bytes[at + i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0xC2 || lead > 0xF4) return 1;
    const std::size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (at + length > bytes.size()) return 1;
    const std::uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const std::uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (byte(1) < low || byte(1) > high) return 1;
    for (std::size_t i = 2; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80) return 1;
    return length;
}

char32_t CodePage::NextCharacter(std::u16string_view units, std::size_t& at) {
    const char32_t c = units[at++];
    if (c < 0xD800 || c >= 0xDC00 || at == units.size() || units[at] < 0xDC00 ||
        units[at] >= 0xE000)
        return c;
    return 0x10000 + ((c - 0xD800) << 10) + (units[at++] - 0xDC00);
}

void CodePage::AppendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | c >> 18);
        out += char(0x80 | (c >> 12 & 0x3F));
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

void CodePage::ReadSearchUnits(const std::array<char32_t, 256>& lowerSingles) {
    for (int b = 0; b < 256; ++b) {
        char32_t cp = singles_[b];
        bool decodes = cp != kUndecodable && cp <= 0xFFFF;
        const char32_t lower = lowerSingles[b];
        searchUnit_[b] = !decodes          ? char16_t(0xDC00 + b)
                         : lower <= 0xFFFF ? char16_t(lower)
                                           : char16_t(cp);
    }
}

void CodePage::MarkPlainBytes() {
    for (int b = 0; b < 256; ++b) plain_[b] = b < 0x80 && singles_[b] == char32_t(b);
    // A byte is plain only while no other character decodes to its code unit.
    for (int b = 0; b < 256; ++b) {
        if (!plain_[b] && singles_[b] < 0x80) plain_[singles_[b]] = false;
    }
    for (char32_t cp : pairs_) {
        if (cp < 0x80) plain_[cp] = false;
    }
    for (int b = 0x20; b < 0x7F; ++b) printableIsPlain_ &= plain_[b];
}

// The reader and the cutting rule look for line breaks and "http://" as bytes.
std::string CodePage::Unusable() const {
    for (std::uint8_t must : {'\r', '\n', '\0', 'h', 't', 'p', ':', '/'}) {
        if (singles_[must] != must) {
            return "code page does not keep ASCII line breaks and letters: " + name_;
        }
    }
    for (int b = 0; b < 256; ++b) {
        if (lead_[b] && b < 0x80) return "code page has lead bytes below 0x80: " + name_;
        for (std::uint8_t kept : {'\r', '\n', '\0'}) {
            if (lead_[b] && IsPair(std::uint8_t(b), kept)) {
                return "code page takes a line break as a trail byte: " + name_;
            }
        }
    }
    return {};
}

std::size_t CodePage::CharStartFrom(std::string_view bytes, std::size_t known,
                                    std::size_t at) const {
    std::size_t start = at;
    if (utf8_) {
        // Only a continuation byte can be inside a character, of one that starts
        // at most three bytes before it with a byte that is none.
        const auto continues = [&](std::size_t i) {
            return (std::uint8_t(bytes[i]) & 0xC0) == 0x80;
        };
        if (at < bytes.size() && !continues(at)) return at;
        while (start > known && at - start < 3 && continues(start - 1)) --start;
        if (start > known) {
            if (continues(start - 1)) return at;
            --start;
        }
    } else {
        // The character holding a byte that cannot lead ends at that byte, so the
        // byte after the last non-lead byte before `at` starts a character.
        while (start > known && lead_[std::uint8_t(bytes[start - 1])]) --start;
    }
    while (start < at) start += CharLength(bytes, start);
    return start;
}

std::size_t CodePage::DecodeChar(std::string_view bytes, std::size_t at, std::size_t length,
                                 char16_t out[2]) const {
    const std::uint8_t first = std::uint8_t(bytes[at]);
    char32_t decoded = singles_[first];
    if (utf8_ && length > 1) {
        decoded = first & (0x7F >> length);
        for (std::size_t i = 1; i < length; ++i)
            decoded = decoded << 6 | (std::uint8_t(bytes[at + i]) & 0x3F);
    } else if (length == 2) {
        decoded = Pair(first, std::uint8_t(bytes[at + 1]));
    }
    if (decoded == kUndecodable || decoded == kNotPair) {
        // Undecodable characters are one or two bytes long (UTF-8's are one).
        for (std::size_t i = 0; i < length; ++i)
            out[i] = char16_t(0xDC00 + std::uint8_t(bytes[at + i]));
        return length;
    }
    if (decoded > 0xFFFF) {
        out[0] = char16_t(0xD7C0 + (decoded >> 10));
        out[1] = char16_t(0xDC00 | (decoded & 0x3FF));
        return 2;
    }
    out[0] = char16_t(decoded);
    return 1;
}

void CodePage::Decode(std::string_view bytes, std::u16string& out) const {
    char16_t units[2];
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = CharLength(bytes, at);
        out.append(units, DecodeChar(bytes, at, length, units));
        at += length;
    }
}

bool CodePage::IsSingleByte(char16_t unit) const {
    if (utf8_) return unit < 0x80;
    for (int b = 0; b < 256; ++b) {
        if (writtenAsOneByte_[b] && singles_[b] == unit) return true;
    }
    return false;
}

bool DecodedWhole(std::u16string_view units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const bool lead = units[i] >= 0xD800 && units[i] < 0xDC00;
        if (lead && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
            ++i;
        } else if (units[i] >= 0xD800 && units[i] < 0xE000) {
            return false;
        }
    }
    return true;
}

}  // namespace kestrin
