// The code pages of Windows itself: the tables the program was made for.

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "os/CodePageNames.h"
#include "os/CodePageTables.h"

namespace kestrin::os {
namespace {

constexpr UINT kUtf8 = CP_UTF8;

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// The names both builds take (os/CodePageNames.h), as Windows numbers its code pages.
UINT CodePageNumber(std::string_view name) {
    const std::optional<CodePageName> known = FindCodePageName(name);
    return known ? UINT(known->number) : 0;
}

// The character `bytes` decode to when the page has one for them alone.
std::optional<char32_t> Assigned(UINT page, const char* bytes, int size) {
    wchar_t units[2];
    if (MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes, size, units, 2) != 1)
        return std::nullopt;
    return char32_t(units[0]);
}

// A single byte the page decodes only without MB_ERR_INVALID_CHARS, as Windows
// decodes text (932's 0xA0 and 0xFD to 0xFF), counts where it writes back as itself.
std::optional<char32_t> DecodedAsText(UINT page, char byte) {
    wchar_t unit;
    if (MultiByteToWideChar(page, 0, &byte, 1, &unit, 1) != 1) return std::nullopt;
    char back[4];
    BOOL usedDefault = FALSE;
    const int length = WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, &unit, 1, back, sizeof back,
                                           nullptr, &usedDefault);
    if (usedDefault || length != 1 || back[0] != byte) return std::nullopt;
    return char32_t(unit);
}

void ReadCharacters(UINT page, CodePageTables& tables) {
    // A byte takes a lead byte's place as its trail where some pair of the page has
    // it there: that pair, assigned or not, is one character. Windows itself takes
    // any byte after a lead byte with it, a line break too, which would lose it.
    std::array<bool, 256> trail{};
    for (int b = 0; b < 256; ++b) tables.lead[b] = IsDBCSLeadByteEx(page, BYTE(b)) != 0;
    tables.MakePairRows();
    for (int b = 0; b < 256; ++b) {
        const char one = char(b);
        if (!tables.lead[b]) {
            tables.singles[b] =
                Assigned(page, &one, 1)
                    .value_or(DecodedAsText(page, one).value_or(CodePageTables::kUndecodable));
            continue;
        }
        tables.singles[b] = CodePageTables::kUndecodable;
        for (int t = 0; t < 256; ++t) {
            const char two[2] = {char(b), char(t)};
            if (const std::optional<char32_t> pair = Assigned(page, two, 2)) {
                tables.ReadPair(std::uint8_t(b), std::uint8_t(t)) = *pair;
                trail[t] = true;
            }
        }
    }
    for (int b = 0; b < 256; ++b) {
        for (int t = 0; tables.lead[b] && t < 256; ++t) {
            char32_t& pair = tables.ReadPair(std::uint8_t(b), std::uint8_t(t));
            if (trail[t] && pair == CodePageTables::kNotPair) pair = CodePageTables::kUndecodable;
        }
    }
}

// Only a single byte's character can be written as one byte.
void ReadOneByteCharacters(UINT page, CodePageTables& tables) {
    for (int b = 0; b < 256; ++b) {
        const char32_t character = tables.singles[b];
        if (tables.lead[b] || character > 0xFFFF || (character >= 0xD800 && character < 0xE000))
            continue;
        const wchar_t wide = wchar_t(character);
        char bytes[4];
        BOOL usedDefault = FALSE;
        const int length = WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, &wide, 1, bytes,
                                               sizeof bytes, nullptr, &usedDefault);
        tables.writtenAsOneByte[b] = length == 1 && !usedDefault;
    }
}

class WindowsEncoder : public CodePageEncoder {
  public:
    explicit WindowsEncoder(UINT page) : page_(page) {}
    bool Encode(std::u16string_view text, std::string& out) override {
        if (text.empty()) {
            out.clear();
            return true;
        }
        const auto* units = reinterpret_cast<const wchar_t*>(text.data());
        BOOL usedDefault = FALSE;
        // UTF-8 takes no default character: it writes every character there is.
        BOOL* lacks = page_ == kUtf8 ? nullptr : &usedDefault;
        const DWORD flags = page_ == kUtf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
        const int size =
            WideCharToMultiByte(page_, flags, units, int(text.size()), nullptr, 0, nullptr, lacks);
        if (size <= 0 || usedDefault) return false;
        std::string bytes(std::size_t(size), '\0');
        WideCharToMultiByte(page_, flags, units, int(text.size()), bytes.data(), size, nullptr,
                            nullptr);
        out = std::move(bytes);
        return true;
    }

  private:
    UINT page_;
};

Result<UINT> ValidPage(std::string_view name) {
    // Unicode's other forms, which no narrow conversion of Windows takes: known, and
    // refused as ICU refuses them.
    static constexpr std::string_view kWideForms[] = {"utf-16",   "utf-16le", "utf-16be", "utf-32",
                                                      "utf-32le", "utf-32be", "utf-7"};
    if (std::find(std::begin(kWideForms), std::end(kWideForms), Lower(name)) !=
        std::end(kWideForms))
        return Fault{0, "not a code page of one- and two-byte characters: " + std::string(name)};
    const UINT page = CodePageNumber(name);
    if (page == 0 || !IsValidCodePage(page))
        return Fault{0, "unknown code page: " + std::string(name)};
    return page;
}

}  // namespace

Result<CodePageTables> ReadSystemCodePageTables(std::string_view name) {
    const Result<UINT> page = ValidPage(name);
    if (!page) return page.Failure();
    CodePageTables tables;
    if (*page == kUtf8) {
        tables.utf8 = true;
        return tables;
    }
    CPINFOEXW info;
    if (!GetCPInfoExW(*page, 0, &info) || info.MaxCharSize > 2)
        return Fault{0, "not a code page of one- and two-byte characters: " + std::string(name)};
    ReadCharacters(*page, tables);
    ReadOneByteCharacters(*page, tables);
    tables.ReadLowerSingles();
    return tables;
}

// Every page is Windows' own, as the system running the program has it.
std::optional<CodePageTables> BuiltInCodePageTables(unsigned) {
    return std::nullopt;
}

Status LoadLowerCase() {
    return std::nullopt;
}

char32_t LowerCase(char32_t character) {
    if (character > 0xFFFF) return character;
    const wchar_t upper = wchar_t(character);
    wchar_t lower = upper;
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, &upper, 1, &lower, 1, nullptr,
                      nullptr, 0) != 1)
        return character;
    return char32_t(lower);
}

Result<std::unique_ptr<CodePageEncoder>> OpenEncoder(std::string_view name) {
    const Result<UINT> page = ValidPage(name);
    if (!page) return page.Failure();
    return std::unique_ptr<CodePageEncoder>(new WindowsEncoder(*page));
}

}  // namespace kestrin::os
