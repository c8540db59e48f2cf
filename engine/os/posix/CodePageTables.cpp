// The code pages of the ICU converters: what Linux has for Windows' code pages.

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/utf16.h>
#include <unicode/utypes.h>

#include <algorithm>
#include <optional>
#include <string>

#include "os/CodePageNames.h"
#include "os/CodePageTables.h"
#include "os/SharedLibrary.h"

namespace kestrin::os {
namespace {

// ICU's functions the reader calls. ICU is loaded when a run first reads a page the
// program does not hold, writes a report in one, or lower-cases a host's name: a
// run of the default page starts without it, and without the millisecond its
// loading costs.
// clang-format off
#define KESTRIN_ICU_FUNCTIONS(X)                                                          \
    X(ucnv_open) X(ucnv_close) X(ucnv_getName) X(ucnv_getType) X(ucnv_getMaxCharSize)     \
    X(ucnv_reset) X(ucnv_resetToUnicode) X(ucnv_resetFromUnicode) X(ucnv_toUnicode)       \
    X(ucnv_fromUChars) X(ucnv_getInvalidChars) X(ucnv_setToUCallBack)                     \
    X(ucnv_setFromUCallBack) X(UCNV_TO_U_CALLBACK_STOP) X(UCNV_FROM_U_CALLBACK_SKIP)      \
    X(UCNV_FROM_U_CALLBACK_STOP) X(u_errorName) X(u_tolower)
// clang-format on

struct IcuLibrary {
    KESTRIN_ICU_FUNCTIONS(KESTRIN_FUNCTION_MEMBER);
};

const Result<IcuLibrary>& LoadedIcu() {
    static const Result<IcuLibrary> loaded =
        KESTRIN_LOAD_FUNCTIONS(IcuLibrary, KESTRIN_ICU_FUNCTIONS, KESTRIN_ICU_LIBRARY);
    return loaded;
}

// ICU's functions, once LoadIcu said they are there.
const IcuLibrary& Icu() {
    return *LoadedIcu();
}

// Why ICU cannot be loaded, if it cannot.
Status LoadIcu() {
    if (!LoadedIcu()) return LoadedIcu().Failure();
    return std::nullopt;
}

struct DecodeResult {
    enum Kind { Char, Incomplete, Bad, Failed } kind;
    char32_t codePoint = 0;
    std::size_t consumed = 0;  // bytes that make up the character or the bad sequence
};

// Decodes the first character of `bytes` with a fresh converter state.
DecodeResult DecodeFirst(UConverter* cnv, const char* bytes, std::size_t size) {
    Icu().ucnv_reset(cnv);
    UChar units[8];
    UChar* target = units;
    const char* source = bytes;
    UErrorCode status = U_ZERO_ERROR;
    Icu().ucnv_toUnicode(cnv, &target, units + 8, &source, bytes + size, nullptr, true, &status);
    if (status == U_TRUNCATED_CHAR_FOUND) return {DecodeResult::Incomplete};
    // Bytes the table has no character for are answers; anything else is ICU failing.
    if (U_FAILURE(status) && status != U_INVALID_CHAR_FOUND && status != U_ILLEGAL_CHAR_FOUND)
        return {DecodeResult::Failed, char32_t(status)};
    if (U_FAILURE(status)) {
        char invalid[8];
        int8_t length = sizeof invalid;
        UErrorCode ignored = U_ZERO_ERROR;
        Icu().ucnv_getInvalidChars(cnv, invalid, &length, &ignored);
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
// IBM table that differs from it: a name the Windows build takes opens ICU's
// converter for that Windows code page, and any other is left to ICU.
UConverter* OpenConverter(const std::string& name, UErrorCode& status) {
    if (const std::optional<CodePageName> known = FindCodePageName(name)) {
        UErrorCode windowsStatus = U_ZERO_ERROR;
        UConverter* windows = Icu().ucnv_open(known->converter.c_str(), &windowsStatus);
        if (U_SUCCESS(windowsStatus) && windows != nullptr) return windows;
    }
    return Icu().ucnv_open(name.c_str(), &status);
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
constexpr char32_t kNone = CodePageTables::kUndecodable;
constexpr ByteOverlay kWindows932Bytes[] = {
    {0x1A, 0x001C, 0x001A}, {0x1C, 0x007F, 0x001C}, {0x7F, 0x001A, 0x007F}, {0x80, kNone, 0x0080},
    {0xA0, kNone, 0xF8F0},  {0xFD, kNone, 0xF8F1},  {0xFE, kNone, 0xF8F2},  {0xFF, kNone, 0xF8F3},
};

std::string CannotRead(UErrorCode status) {
    return std::string("the code page could not be read whole: ") + Icu().u_errorName(status);
}

// A lead byte's row in one conversion: each trail byte after the lead, then a byte
// that cannot lead, so that whatever the converter makes of one pair, the next
// starts afresh. Where characters and bad sequences start tells what it took as
// two bytes. False when the converter went some other way (a byte replayed, one
// pair not begun where it was put): then the row is read a pair at a time.
bool ReadPairRowAtOnce(UConverter* converter, std::uint8_t lead, std::uint8_t apart,
                       CodePageTables& tables, UErrorCode& failure) {
    constexpr std::size_t kStride = 3, kBytes = 256 * kStride;
    char bytes[kBytes];
    for (std::size_t t = 0; t < 256; ++t) {
        bytes[t * kStride] = char(lead);
        bytes[t * kStride + 1] = char(t);
        bytes[t * kStride + 2] = char(apart);
    }
    constexpr char32_t kNothing = CodePageTables::kNotPair;
    std::array<char32_t, kBytes> startsHere;  // what starts at each byte
    startsHere.fill(kNothing);
    UChar units[2 * kBytes];
    std::int32_t offsets[2 * kBytes];
    Icu().ucnv_resetToUnicode(converter);
    for (const char* source = bytes; source < bytes + kBytes;) {
        const std::ptrdiff_t from = source - bytes;
        UChar* target = units;
        UErrorCode status = U_ZERO_ERROR;
        Icu().ucnv_toUnicode(converter, &target, units + 2 * kBytes, &source, bytes + kBytes,
                             offsets, true, &status);
        for (std::ptrdiff_t i = 0; i < target - units; ++i) {
            if (offsets[i] < 0) return false;
            char32_t character = units[i];
            if (U16_IS_LEAD(units[i]) && i + 1 < target - units && U16_IS_TRAIL(units[i + 1]) &&
                offsets[i + 1] == offsets[i]) {
                character = U16_GET_SUPPLEMENTARY(units[i], units[i + 1]);
                ++i;
            }
            char32_t& start = startsHere[std::size_t(from + offsets[i])];
            if (start == kNothing) start = character;
        }
        if (status == U_INVALID_CHAR_FOUND || status == U_ILLEGAL_CHAR_FOUND) {
            char invalid[8];
            int8_t length = sizeof invalid;
            UErrorCode ignored = U_ZERO_ERROR;
            Icu().ucnv_getInvalidChars(converter, invalid, &length, &ignored);
            const std::ptrdiff_t at = (source - bytes) - std::max<int8_t>(length, 1);
            if (at < from) return false;
            startsHere[std::size_t(at)] = CodePageTables::kUndecodable;
        } else if (U_FAILURE(status)) {
            failure = status;
            return false;
        }
    }
    for (std::size_t t = 0; t < 256; ++t) {
        const std::size_t at = t * kStride;
        if (startsHere[at] == kNothing || startsHere[at + 2] == kNothing) return false;
        if (startsHere[at + 1] == kNothing) tables.ReadPair(lead, std::uint8_t(t)) = startsHere[at];
    }
    return true;
}

// A pair is whatever the converter takes as two bytes, assigned or not.
std::string ReadPairRow(UConverter* converter, std::uint8_t lead, CodePageTables& tables) {
    const auto apart = std::find(tables.lead.begin(), tables.lead.end(), false);
    UErrorCode failure = U_ZERO_ERROR;
    if (apart != tables.lead.end() &&
        ReadPairRowAtOnce(converter, lead, std::uint8_t(apart - tables.lead.begin()), tables,
                          failure))
        return {};
    if (U_FAILURE(failure)) return CannotRead(failure);
    for (int t = 0; t < 256; ++t) {
        const char two[2] = {char(lead), char(t)};
        DecodeResult pair = DecodeFirst(converter, two, 2);
        if (pair.kind == DecodeResult::Failed) return CannotRead(UErrorCode(pair.codePoint));
        tables.ReadPair(lead, std::uint8_t(t)) = pair.consumed != 2 ? CodePageTables::kNotPair
                                                 : pair.kind == DecodeResult::Char
                                                     ? pair.codePoint
                                                     : CodePageTables::kUndecodable;
    }
    return {};
}

std::string ReadCharacters(UConverter* converter, CodePageTables& tables) {
    UErrorCode status = U_ZERO_ERROR;
    Icu().ucnv_setToUCallBack(converter, Icu().UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                              &status);
    if (U_FAILURE(status)) return CannotRead(status);
    for (int b = 0; b < 256; ++b) {
        const char one = char(b);
        DecodeResult single = DecodeFirst(converter, &one, 1);
        if (single.kind == DecodeResult::Failed) return CannotRead(UErrorCode(single.codePoint));
        tables.lead[b] = single.kind == DecodeResult::Incomplete;
        tables.singles[b] =
            single.kind == DecodeResult::Char ? single.codePoint : CodePageTables::kUndecodable;
    }
    tables.MakePairRows();
    for (int b = 0; b < 256; ++b) {
        if (!tables.lead[b]) continue;
        if (std::string error = ReadPairRow(converter, std::uint8_t(b), tables); !error.empty())
            return error;
    }
    return {};
}

std::string LayWindowsBytesOver(UConverter* converter, CodePageTables& tables,
                                const std::string& name) {
    UErrorCode status = U_ZERO_ERROR;
    if (std::string_view(Icu().ucnv_getName(converter, &status)) == kWindows31J) {
        for (const ByteOverlay& overlay : kWindows932Bytes) {
            // A newer ICU that changed these bytes may have changed more: refuse
            // rather than decode some other table as Windows does.
            if (tables.singles[overlay.byte] != overlay.icu || tables.lead[overlay.byte]) {
                return "code page 932 is not the table it was checked against: " + name;
            }
            tables.singles[overlay.byte] = overlay.windows;
            // What a byte decodes to, it is written back as.
            tables.writtenAsOneByte[overlay.byte] = true;
        }
    }
    return {};
}

// Only a single byte's character can be written as one byte: a unit mapped only
// with fallbacks (off, as everywhere here) is skipped and writes no byte.
std::string ReadOneByteCharacters(UConverter* converter, CodePageTables& tables) {
    UErrorCode status = U_ZERO_ERROR;
    Icu().ucnv_setFromUCallBack(converter, Icu().UCNV_FROM_U_CALLBACK_SKIP, nullptr, nullptr,
                                nullptr, &status);
    for (int b = 0; U_SUCCESS(status) && b < 256; ++b) {
        const char32_t character = tables.singles[b];
        if (tables.lead[b] || character > 0xFFFF || U_IS_SURROGATE(character)) continue;
        const UChar unit = UChar(character);
        char bytes[4];
        Icu().ucnv_resetFromUnicode(converter);
        const std::int32_t length =
            Icu().ucnv_fromUChars(converter, bytes, sizeof bytes, &unit, 1, &status);
        tables.writtenAsOneByte[b] = U_SUCCESS(status) && length == 1;
    }
    return U_FAILURE(status) ? CannotRead(status) : std::string();
}

using Converter = std::unique_ptr<UConverter, void (*)(UConverter*)>;

class IcuEncoder : public CodePageEncoder {
  public:
    IcuEncoder(Converter converter, bool windows932)
        : converter_(std::move(converter)), windows932_(windows932) {}

    bool Encode(std::u16string_view text, std::string& out) override {
        out.clear();
        if (!windows932_) return Append(text, out);
        // The characters Windows gives the overlaid bytes are written back as those
        // bytes, which ICU would write otherwise or not at all.
        std::size_t from = 0;
        for (std::size_t at = 0; at < text.size(); ++at) {
            const std::optional<std::uint8_t> byte = WindowsByteOf(text[at]);
            if (!byte) continue;
            if (!Append(text.substr(from, at - from), out)) return false;
            out += char(*byte);
            from = at + 1;
        }
        return Append(text.substr(from), out);
    }

  private:
    static std::optional<std::uint8_t> WindowsByteOf(char16_t unit) {
        for (const ByteOverlay& overlay : kWindows932Bytes) {
            if (overlay.windows == unit) return overlay.byte;
        }
        return std::nullopt;
    }

    bool Append(std::u16string_view text, std::string& out) {
        if (text.empty()) return true;
        std::string bytes(text.size() * 4 + 4, '\0');
        UErrorCode status = U_ZERO_ERROR;
        Icu().ucnv_resetFromUnicode(converter_.get());
        const int32_t length = Icu().ucnv_fromUChars(
            converter_.get(), bytes.data(), int32_t(bytes.size()),
            reinterpret_cast<const UChar*>(text.data()), int32_t(text.size()), &status);
        if (U_FAILURE(status)) return false;
        out.append(bytes.data(), std::size_t(length));
        return true;
    }

    Converter converter_;
    bool windows932_;
};

}  // namespace

Result<CodePageTables> ReadSystemCodePageTables(std::string_view name) {
    const std::string nameText(name);
    if (Status unloaded = LoadIcu())
        return Fault{0, "code pages cannot be read: " + unloaded->Reason()};
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(OpenConverter(nameText, status), Icu().ucnv_close);
    if (U_FAILURE(status) || converter == nullptr)
        return Fault{0, "unknown code page: " + nameText};
    CodePageTables tables;
    if (Icu().ucnv_getType(converter.get()) == UCNV_UTF8) {
        tables.utf8 = true;
        return tables;
    }
    if (!IsStateless(Icu().ucnv_getType(converter.get())) ||
        Icu().ucnv_getMaxCharSize(converter.get()) > 2)
        return Fault{0, "not a code page of one- and two-byte characters: " + nameText};
    std::string error = ReadCharacters(converter.get(), tables);
    if (error.empty()) error = ReadOneByteCharacters(converter.get(), tables);
    if (error.empty()) error = LayWindowsBytesOver(converter.get(), tables, nameText);
    if (!error.empty()) return Fault{0, error};
    tables.ReadLowerSingles();
    return tables;
}

Status LoadLowerCase() {
    return LoadIcu();
}

char32_t LowerCase(char32_t character) {
    return char32_t(Icu().u_tolower(UChar32(character)));
}

Result<std::unique_ptr<CodePageEncoder>> OpenEncoder(std::string_view name) {
    if (Status unloaded = LoadIcu())
        return Fault{0, "code pages cannot be written: " + unloaded->Reason()};
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(OpenConverter(std::string(name), status), Icu().ucnv_close);
    if (U_FAILURE(status) || converter == nullptr)
        return Fault{0, "unknown code page: " + std::string(name)};
    // A character the code page lacks stops the conversion: nothing is made up.
    Icu().ucnv_setFromUCallBack(converter.get(), Icu().UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr,
                                nullptr, &status);
    if (U_FAILURE(status))
        return Fault{0, std::string("cannot write in ") + std::string(name) + ": " +
                            Icu().u_errorName(status)};
    const bool windows932 =
        std::string_view(Icu().ucnv_getName(converter.get(), &status)) == kWindows31J;
    return std::unique_ptr<CodePageEncoder>(new IcuEncoder(std::move(converter), windows932));
}

}  // namespace kestrin::os
