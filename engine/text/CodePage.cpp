#include "text/CodePage.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/uset.h>
#include <unicode/utf16.h>
#include <unicode/utypes.h>

#include <map>
#include <mutex>

namespace kestrin {
namespace {

struct DecodeResult {
    enum Kind { Char, Incomplete, Bad, Failed } kind;
    char32_t codePoint = 0;
    std::size_t consumed = 0;  // bytes that make up the character or the bad sequence
};

// Decodes the first character of `bytes` with a fresh converter state.
DecodeResult DecodeFirst(UConverter* cnv, const char* bytes, std::size_t size) {
    ucnv_reset(cnv);
    UChar units[8];
    UChar* target = units;
    const char* source = bytes;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_toUnicode(cnv, &target, units + 8, &source, bytes + size, nullptr, true, &status);
    if (status == U_TRUNCATED_CHAR_FOUND) return {DecodeResult::Incomplete};
    // Bytes the table has no character for are answers; anything else is ICU failing.
    if (U_FAILURE(status) && status != U_INVALID_CHAR_FOUND && status != U_ILLEGAL_CHAR_FOUND)
        return {DecodeResult::Failed, char32_t(status)};
    if (U_FAILURE(status)) {
        char invalid[8];
        int8_t length = sizeof invalid;
        UErrorCode ignored = U_ZERO_ERROR;
        ucnv_getInvalidChars(cnv, invalid, &length, &ignored);
        return {DecodeResult::Bad, 0, std::size_t(length > 0 ? length : 1)};
    }
    if (target == units) return {DecodeResult::Bad, 0, size};
    char32_t cp = units[0];
    if (U16_IS_LEAD(units[0]) && target - units > 1 && U16_IS_TRAIL(units[1])) {
        cp = U16_GET_SUPPLEMENTARY(units[0], units[1]);
    }
    return {DecodeResult::Char, cp, std::size_t(source - bytes)};
}

bool IsStateless(UConverterType type) {
    switch (type) {
        case UCNV_SBCS:
        case UCNV_DBCS:
        case UCNV_MBCS:
        case UCNV_LATIN_1:
        case UCNV_US_ASCII:
            return true;
        default:
            return false;
    }
}

// "CP949" means Windows code page 949 to a user, while ICU gives that name to an
// IBM table that differs from it: a CP number opens ICU's windows-N where it has one.
UConverter* OpenConverter(const std::string& name, UErrorCode& status) {
    bool cpNumber = name.size() > 2 && (name[0] == 'c' || name[0] == 'C') &&
                    (name[1] == 'p' || name[1] == 'P') &&
                    name.find_first_not_of("0123456789", 2) == std::string::npos;
    if (cpNumber) {
        UErrorCode windowsStatus = U_ZERO_ERROR;
        UConverter* windows = ucnv_open(("windows-" + name.substr(2)).c_str(), &windowsStatus);
        if (U_SUCCESS(windowsStatus) && windows != nullptr) return windows;
    }
    return ucnv_open(name.c_str(), &status);
}

// ICU's Windows-31J table, which every name of code page 932 opens, against
// what Windows decodes: three control codes swapped, and five bytes Windows maps
// where ICU has nothing.
constexpr const char* kWindows31J = "ibm-943_P15A-2003";
struct ByteOverlay {
    std::uint8_t byte;
    char32_t icu;  // what ICU is expected to return; kNone for undecodable
    char32_t windows;
};
constexpr char32_t kNone = 0xFFFFFFFE;
constexpr ByteOverlay kWindows932Bytes[] = {
    {0x1A, 0x001C, 0x001A}, {0x1C, 0x007F, 0x001C}, {0x7F, 0x001A, 0x007F}, {0x80, kNone, 0x0080},
    {0xA0, kNone, 0xF8F0},  {0xFD, kNone, 0xF8F1},  {0xFE, kNone, 0xF8F2},  {0xFF, kNone, 0xF8F3},
};

std::string CannotRead(UErrorCode status) {
    return std::string("the code page could not be read whole: ") + u_errorName(status);
}

}  // namespace

Result<std::unique_ptr<CodePage>> CodePage::Open(std::string_view name) {
    std::string nameText(name);
    UErrorCode status = U_ZERO_ERROR;
    UConverter* raw = OpenConverter(nameText, status);
    if (U_FAILURE(status) || raw == nullptr) return Fault{0, "unknown code page: " + nameText};
    std::unique_ptr<UConverter, void (*)(UConverter*)> converter(raw, ucnv_close);
    std::unique_ptr<CodePage> page(new CodePage);
    page->name_ = nameText;
    if (ucnv_getType(raw) == UCNV_UTF8) {
        page->ReadUtf8();
        page->MarkPlainBytes();
        return page;
    }
    if (!IsStateless(ucnv_getType(raw)) || ucnv_getMaxCharSize(raw) > 2)
        return Fault{0, "not a code page of one- and two-byte characters: " + nameText};
    std::string error = page->ReadCharacters(raw);
    if (error.empty()) error = page->LayWindowsBytesOver(raw);
    if (error.empty()) {
        page->ReadSearchUnits();
        error = page->ReadUnitLengths(raw);
    }
    if (error.empty()) {
        page->MarkPlainBytes();
        error = page->Unusable();
    }
    if (!error.empty()) return Fault{0, error};
    return page;
}

UConverter* CodePage::NewConverter() const {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = OpenConverter(name_, status);
    if (U_SUCCESS(status)) return converter;
    ucnv_close(converter);
    return nullptr;
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
    for (int b = 0; b < 256; ++b) {
        singles_[b] = b < 0x80 ? char32_t(b) : kUndecodable;
        lead_[b] = b >= 0xC2 && b <= 0xF4;
    }
    ReadSearchUnits();
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

std::string CodePage::ReadCharacters(UConverter* converter) {
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) return CannotRead(status);
    for (int b = 0; b < 256; ++b) {
        const char one = char(b);
        DecodeResult single = DecodeFirst(converter, &one, 1);
        if (single.kind == DecodeResult::Failed) return CannotRead(UErrorCode(single.codePoint));
        lead_[b] = single.kind == DecodeResult::Incomplete;
        singles_[b] = single.kind == DecodeResult::Char ? single.codePoint : kUndecodable;
        if (!lead_[b]) continue;
        // A pair is whatever the converter takes as two bytes, assigned or not.
        for (int t = 0; t < 256; ++t) {
            const char two[2] = {char(b), char(t)};
            DecodeResult pair = DecodeFirst(converter, two, 2);
            if (pair.kind == DecodeResult::Failed) return CannotRead(UErrorCode(pair.codePoint));
            if (pair.consumed == 2) {
                pairs_[b << 8 | t] =
                    pair.kind == DecodeResult::Char ? pair.codePoint : kUndecodable;
            }
        }
    }
    return {};
}

std::string CodePage::LayWindowsBytesOver(UConverter* converter) {
    UErrorCode status = U_ZERO_ERROR;
    if (std::string_view(ucnv_getName(converter, &status)) == kWindows31J) {
        for (const ByteOverlay& overlay : kWindows932Bytes) {
            // A newer ICU that changed these bytes may have changed more: refuse
            // rather than decode some other table as Windows does.
            if (singles_[overlay.byte] != overlay.icu || lead_[overlay.byte]) {
                return "code page 932 is not the table it was checked against: " + name_;
            }
            singles_[overlay.byte] = overlay.windows;
        }
    }
    return {};
}

void CodePage::ReadSearchUnits() {
    for (int b = 0; b < 256; ++b) {
        char32_t cp = singles_[b];
        bool decodes = cp != kUndecodable && cp <= 0xFFFF;
        UChar32 lower = decodes ? u_tolower(UChar32(cp)) : 0;
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

bool CodePage::IsBoundaryAfterWalk(std::string_view bytes, std::size_t known,
                                   std::size_t at) const {
    if (utf8_) {
        // Only a continuation byte can be inside a character, of one that starts
        // at most three bytes before it with a byte that is none.
        const auto continues = [&](std::size_t i) {
            return (std::uint8_t(bytes[i]) & 0xC0) == 0x80;
        };
        if (at < bytes.size() && !continues(at)) return true;
        std::size_t start = at;
        while (start > known && at - start < 3 && continues(start - 1)) --start;
        if (start > known) {
            if (continues(start - 1)) return true;
            --start;
        }
        while (start < at) start += CharLength(bytes, start);
        return start == at;
    }
    // The character holding a byte that cannot lead ends at that byte, so the byte
    // after the last non-lead byte before `at` starts a character; walk on from there.
    std::size_t start = at;
    while (start > known && lead_[std::uint8_t(bytes[start - 1])]) --start;
    while (start < at) start += CharLength(bytes, start);
    return start == at;
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
        decoded = pairs_[first << 8 | std::uint8_t(bytes[at + 1])];
    }
    if (decoded == kUndecodable || decoded == kNotPair) {
        // Undecodable characters are one or two bytes long (UTF-8's are one).
        for (std::size_t i = 0; i < length; ++i)
            out[i] = char16_t(0xDC00 + std::uint8_t(bytes[at + i]));
        return length;
    }
    if (decoded > 0xFFFF) {
        out[0] = char16_t(U16_LEAD(decoded));
        out[1] = char16_t(U16_TRAIL(decoded));
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

std::string CodePage::ReadUnitLengths(UConverter* converter) {
    // Only units the converter can map at all are worth converting, and they go
    // in one call: the code page keeps no state between characters, and the
    // offsets say which unit each byte came from. A unit mapped only with
    // fallbacks (off, as everywhere here) is skipped and writes no byte.
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<USet, void (*)(USet*)> mappable(uset_openEmpty(), uset_close);
    if (mappable == nullptr) return CannotRead(U_MEMORY_ALLOCATION_ERROR);
    ucnv_getUnicodeSet(converter, mappable.get(), UCNV_ROUNDTRIP_AND_FALLBACK_SET, &status);
    std::vector<UChar> units;
    for (std::int32_t item = 0; U_SUCCESS(status) && item < uset_getItemCount(mappable.get());
         ++item) {
        UChar32 first = 0, last = 0;
        uset_getItem(mappable.get(), item, &first, &last, nullptr, 0, &status);
        for (UChar32 unit = first; unit <= std::min<UChar32>(last, 0xFFFF); ++unit) {
            if (!U_IS_SURROGATE(unit)) units.push_back(UChar(unit));
        }
    }
    ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_SKIP, nullptr, nullptr, nullptr, &status);
    ucnv_resetFromUnicode(converter);
    std::vector<char> bytes(4 * units.size() + 4);
    std::vector<std::int32_t> offsets(bytes.size());
    const UChar* source = units.data();
    char* target = bytes.data();
    ucnv_fromUnicode(converter, &target, bytes.data() + bytes.size(), &source,
                     units.data() + units.size(), offsets.data(), true, &status);
    if (U_FAILURE(status)) return CannotRead(status);
    for (std::ptrdiff_t i = 0; i < target - bytes.data(); ++i)
        ++unitBytes_[units[std::size_t(offsets[std::size_t(i)])]];
    return {};
}

}  // namespace kestrin
