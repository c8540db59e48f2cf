#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "os/CodePageTables.h"
#include "os/Fault.h"

namespace kestrin {

/// A code page of one- and two-byte characters (or UTF-8), read once from the
/// system's converter (os::ReadCodePageTables) into byte tables, so that the hot
/// loops never call the converter. Nothing changes after Open: one code page serves
/// any number of threads without a lock.
///
/// Character boundaries: a lead byte followed by a byte the code page accepts as
/// its trail byte is one character, even when the pair is unassigned; every other
/// byte is one character. A character that does not decode stands, in text order,
/// for U+DC00 + byte, one code unit for each of its bytes.
class CodePage {
  public:
    /// Opens the named converter, or says why it cannot.
    /// Refused: unknown names, stateful converters, characters of more than two
    /// bytes (but for UTF-8, which is decoded by its own rules), and code pages where CR, LF, NUL
    /// or the letters of "http://" are not the single ASCII bytes, or where a byte below 0x80 can
    /// lead a pair.
    static Result<std::unique_ptr<CodePage>> Open(std::string_view name);
    /// Open, once a name for the whole program: reading a converter decodes every
    /// byte pair.
    static Result<const CodePage*> Shared(const std::string& name);
    // Its pairs may lie in itself: a copy would read the original's.
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    bool IsLead(std::uint8_t byte) const { return lead_[byte]; }
    bool IsPair(std::uint8_t lead, std::uint8_t trail) const {
        return Pair(lead, trail) != kNotPair;
    }
    /// Bytes of the character that starts at `at` (1 or 2; up to 4 in UTF-8).
    std::size_t CharLength(std::string_view bytes, std::size_t at) const {
        if (utf8_) return Utf8Length(bytes, at);
        return at + 1 < bytes.size() && lead_[std::uint8_t(bytes[at])] &&
                       IsPair(std::uint8_t(bytes[at]), std::uint8_t(bytes[at + 1]))
                   ? 2
                   : 1;
    }
    /// True when `at` starts a character, given that `known` (<= at) does.
    bool IsBoundary(std::string_view bytes, std::size_t known, std::size_t at) const {
        // Mostly the byte before cannot lead (or `at` cannot continue) a character.
        if (utf8_) {
            if (at < bytes.size() && (std::uint8_t(bytes[at]) & 0xC0) != 0x80) return true;
        } else if (at == known || !lead_[std::uint8_t(bytes[at - 1])]) {
            return true;
        }
        return CharStartFrom(bytes, known, at) == at;
    }
    /// The first character start at or after `at`, given that `known` (<= at) is one.
    /// The bytes a character at `at` could take (up to four) must be in `bytes`
    /// when more of the text follows them.
    std::size_t CharStartFrom(std::string_view bytes, std::size_t known, std::size_t at) const;

    /// The code unit a single-byte character searches as: decoded, then lower-cased.
    char16_t SearchUnit(std::uint8_t byte) const { return searchUnit_[byte]; }

    /// Appends the UTF-16 code units `bytes` decode to.
    void Decode(std::string_view bytes, std::u16string& out) const;
    /// Writes the one or two code units of the character of `length` bytes (as
    /// CharLength says) at `at` to `out`; returns how many.
    std::size_t DecodeChar(std::string_view bytes, std::size_t at, std::size_t length,
                           char16_t out[2]) const;

    /// True for an ASCII byte that decodes to itself and whose code unit no other
    /// character decodes to: text of such bytes orders and compares as its bytes.
    bool IsPlain(std::uint8_t byte) const { return plain_[byte]; }
    /// True when every printable ASCII byte (0x20 to 0x7E) is plain.
    bool PrintableIsPlain() const { return printableIsPlain_; }

    bool IsUtf8() const { return utf8_; }
    /// The character whose code units start at `at` (a surrogate pair joined), and
    /// `at` past them.
    static char32_t NextCharacter(std::u16string_view units, std::size_t& at);
    /// Appends the UTF-8 bytes of the character `c`.
    static void AppendUtf8(char32_t c, std::string& out);

    /// True when both read every byte alike: text of one is the same text in the
    /// other, whatever their names (CP932 and windows-31j, say).
    bool DecodesAlike(const CodePage& other) const {
        return utf8_ == other.utf8_ && lead_ == other.lead_ && singles_ == other.singles_ &&
               pairRow_ == other.pairRow_ && std::ranges::equal(pairs_, other.pairs_);
    }

    /// True when the unit is a character this code page writes as one byte: what a
    /// back keyword must be, since any other is never found in a log.
    bool IsSingleByte(char16_t unit) const;

  private:
    static constexpr char32_t kNotPair = os::CodePageTables::kNotPair;
    static constexpr char32_t kUndecodable = os::CodePageTables::kUndecodable;

    CodePage() = default;
    // UTF-8 by its own rules: a well-formed sequence of 2 to 4 bytes is one
    // character; any other byte of 0x80 or above is one undecodable byte.
    void ReadUtf8();
    static std::size_t Utf8Length(std::string_view bytes, std::size_t at);
    void ReadSearchUnits(const std::array<char32_t, 256>& lowerSingles);
    void MarkPlainBytes();
    std::string Unusable() const;  // why the byte loops cannot work on it, or empty

    std::string name_;
    bool utf8_ = false;
    std::array<bool, 256> lead_{};
    std::array<char32_t, 256> singles_{};
    std::array<char16_t, 256> searchUnit_{};
    // A row of pairs for each lead byte, as os::CodePageTables has them: where the
    // program holds them, or in readPairs_.
    std::array<std::uint16_t, 256> pairRow_{};
    std::vector<char32_t> readPairs_ = std::vector<char32_t>(256, kNotPair);
    std::span<const char32_t> pairs_ = readPairs_;
    char32_t Pair(std::uint8_t lead, std::uint8_t trail) const {
        return pairs_[std::size_t(pairRow_[lead]) << 8 | trail];
    }
    std::array<bool, 256> plain_{};
    bool printableIsPlain_ = true;
    std::array<bool, 256> writtenAsOneByte_{};
};

/// True when `units` (as CodePage::Decode makes them) hold no byte that did not
/// decode: such a byte is a lone trail surrogate, which no character decodes to.
bool DecodedWhole(std::u16string_view units);

}  // namespace kestrin
