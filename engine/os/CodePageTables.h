#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "os/Fault.h"

namespace kestrin::os {

/// What the system's converter says of a code page of one- and two-byte
/// characters, read once: CodePage builds on these tables alone, so that the hot
/// loops never call the converter.
struct CodePageTables {
    static constexpr char32_t kNotPair = 0xFFFFFFFF;      // the two bytes are no pair
    static constexpr char32_t kUndecodable = 0xFFFFFFFE;  // a character the page has none for

    /// UTF-8, which is decoded by its own rules and has no tables.
    bool utf8 = false;
    /// Bytes that take a trail byte.
    std::array<bool, 256> lead{};
    /// What each byte decodes to alone.
    std::array<char32_t, 256> singles{};
    /// What each lead and trail byte decode to (Pair): a pair is whatever the
    /// converter takes as two bytes, assigned or not. A row of 256 for each lead
    /// byte, and row 0, all kNotPair, for every other byte: a page of single bytes
    /// has no table to fill, one of 60 lead bytes (932) a quarter of one for all 256.
    std::array<std::uint16_t, 256> pairRow{};
    /// The rows of a page the program holds, where they lie: copying them faulted
    /// in a dozen fresh pages at every start. Empty for a page read from the system.
    std::span<const char32_t> heldPairs;
    /// The rows read from the system's converter.
    std::vector<char32_t> readPairs = std::vector<char32_t>(256, kNotPair);

    std::span<const char32_t> Pairs() const {
        return heldPairs.empty() ? std::span<const char32_t>(readPairs) : heldPairs;
    }
    char32_t Pair(std::uint8_t leadByte, std::uint8_t trail) const {
        return Pairs()[std::size_t(pairRow[leadByte]) << 8 | trail];
    }
    /// The pair's place in the rows being read from the system (MakePairRows).
    char32_t& ReadPair(std::uint8_t leadByte, std::uint8_t trail) {
        return readPairs[std::size_t(pairRow[leadByte]) << 8 | trail];
    }
    /// Bytes whose character the page writes back as one byte: the characters a
    /// back keyword can be.
    std::array<bool, 256> writtenAsOneByte{};
    /// What each byte decodes to alone, in lower case (LowerCase); kUndecodable as
    /// in singles.
    std::array<char32_t, 256> lowerSingles{};

    /// Gives each byte of `lead` a row of pairs to read, all kNotPair.
    void MakePairRows() {
        heldPairs = {};
        std::uint16_t rows = 1;
        for (int b = 0; b < 256; ++b) pairRow[b] = lead[b] ? rows++ : 0;
        readPairs.assign(std::size_t(rows) << 8, kNotPair);
    }
    /// Sets lowerSingles from singles.
    void ReadLowerSingles();
};

/// Reads the code page `name` ("CP932", "windows-1252", "UTF-8", ...). Refused:
/// unknown names, and code pages of characters of more than two bytes but UTF-8.
/// A page the program holds (BuiltInCodePageTables) is not read again.
Result<CodePageTables> ReadCodePageTables(std::string_view name);
/// The same, always from the system's converter.
Result<CodePageTables> ReadSystemCodePageTables(std::string_view name);
/// The tables of Windows code page `number` as the program holds them, read from
/// the system's converter when the program was built; nothing for a page it does
/// not hold, and nothing on Windows.
std::optional<CodePageTables> BuiltInCodePageTables(unsigned number);

/// Makes LowerCase ready, once for the program, or says why it cannot be.
Status LoadLowerCase();
/// The lower case of a character, as the system has it, once LoadLowerCase was
/// ready (a code page read from the system makes it ready too).
char32_t LowerCase(char32_t character);

inline void CodePageTables::ReadLowerSingles() {
    for (int b = 0; b < 256; ++b)
        lowerSingles[b] = singles[b] == kUndecodable ? kUndecodable : LowerCase(singles[b]);
}

/// Writes UTF-16 text in a code page of one- and two-byte characters.
class CodePageEncoder {
  public:
    virtual ~CodePageEncoder() = default;
    /// The text's bytes into `out`; false when the code page lacks a character of it
    /// (nothing is made up for it). Not for several threads at once.
    virtual bool Encode(std::u16string_view text, std::string& out) = 0;
};

Result<std::unique_ptr<CodePageEncoder>> OpenEncoder(std::string_view name);

}  // namespace kestrin::os
