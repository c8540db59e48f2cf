#pragma once

// The line searches, written once over a vector width. Each file that includes this
// builds them for one instruction set, with a `V` of its own that has internal
// linkage, so that no function built for one set can stand in for another's: this
// file holds templates only, and calls nothing but `V` and compiler builtins.
//
// `V` gives: kName, the instruction set's; kLanes, the bytes of one vector; Vector;
// Load(at); Equal(vector, byte) (0xFF in each lane that holds the byte); Or(a, b);
// And(a, b); Mask(vector) (a bit for each lane whose top bit is set).

#include <cstddef>
#include <cstdint>

#include "text/ByteScan.h"

namespace kestrin::scan {

template <typename V>
struct VectorSearches {
    static constexpr std::size_t kStep = 2 * V::kLanes;
    using Vector = typename V::Vector;

    // Which of the kStep bytes from `at` the test picks, one bit each.
    template <typename Test>
    static std::uint64_t Picked(const char* at, Test test) {
        return std::uint64_t(V::Mask(test(at))) | std::uint64_t(V::Mask(test(at + V::kLanes)))
                                                      << V::kLanes;
    }
    static std::size_t First(std::uint64_t picked) { return std::size_t(__builtin_ctzll(picked)); }
    static constexpr std::uint64_t kAllPicked =
        kStep == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << kStep) - 1;

    // Not the header's IsBreak: a function shared with the rest of the program could
    // be the one built here, for an instruction set the processor may lack.
    static bool IsBreakByte(char byte) { return byte == '\r' || byte == '\n'; }

    static Vector Breaks(const char* at) {
        const Vector bytes = V::Load(at);
        return V::Or(V::Equal(bytes, '\r'), V::Equal(bytes, '\n'));
    }
    // "://" at each lane from `at`, which must have two more bytes after them.
    static Vector Separators(const char* at) {
        return V::And(V::Equal(V::Load(at), ':'),
                      V::And(V::Equal(V::Load(at + 1), '/'), V::Equal(V::Load(at + 2), '/')));
    }
    static Vector AnyOf(const char* at, const ByteSet& set) {
        const Vector bytes = V::Load(at);
        Vector found = V::Equal(bytes, '\r');
        found = V::Or(found, V::Equal(bytes, '\n'));
        for (std::size_t i = 0; i < set.count; ++i)
            found = V::Or(found, V::Equal(bytes, char(set.values[i])));
        return found;
    }
    static Vector Nuls(const char* at) { return V::Equal(V::Load(at), '\0'); }

    static bool IsSeparatorAt(const char* bytes, std::size_t at, std::size_t size) {
        return bytes[at] == ':' && at + 2 < size && bytes[at + 1] == '/' && bytes[at + 2] == '/';
    }

    static std::size_t FindBreak(const char* bytes, std::size_t size) {
        std::size_t at = 0;
        for (; at + kStep <= size; at += kStep) {
            if (const std::uint64_t hit = Picked(bytes + at, Breaks)) return at + First(hit);
        }
        for (; at < size; ++at) {
            if (IsBreakByte(bytes[at])) return at;
        }
        return size;
    }

    static std::size_t FindSeparator(const char* bytes, std::size_t size) {
        std::size_t at = 0;
        for (; at + kStep + 2 <= size; at += kStep) {
            if (const std::uint64_t hit = Picked(bytes + at, Separators)) return at + First(hit);
        }
        for (; at < size; ++at) {
            if (IsSeparatorAt(bytes, at, size)) return at;
        }
        return size;
    }

    static std::size_t FindBreakOrSeparator(const char* bytes, std::size_t size) {
        std::size_t at = 0;
        const auto either = [](const char* from) { return V::Or(Breaks(from), Separators(from)); };
        for (; at + kStep + 2 <= size; at += kStep) {
            if (const std::uint64_t hit = Picked(bytes + at, either)) return at + First(hit);
        }
        for (; at < size; ++at) {
            if (IsBreakByte(bytes[at]) || IsSeparatorAt(bytes, at, size)) return at;
        }
        return size;
    }

    static std::size_t FindBreakOrAnyOf(const char* bytes, std::size_t size, const ByteSet& set) {
        std::size_t at = 0;
        const auto any = [&set](const char* from) { return AnyOf(from, set); };
        for (; at + kStep <= size; at += kStep) {
            if (const std::uint64_t hit = Picked(bytes + at, any)) return at + First(hit);
        }
        for (; at < size; ++at) {
            if (IsBreakByte(bytes[at])) return at;
            for (std::size_t i = 0; i < set.count; ++i) {
                if (static_cast<unsigned char>(bytes[at]) == set.values[i]) return at;
            }
        }
        return size;
    }

    static std::size_t FindNotNul(const char* bytes, std::size_t size) {
        std::size_t at = 0;
        for (; at + kStep <= size; at += kStep) {
            const std::uint64_t notNul = ~Picked(bytes + at, Nuls) & kAllPicked;
            if (notNul != 0) return at + First(notNul);
        }
        for (; at < size; ++at) {
            if (bytes[at] != '\0') return at;
        }
        return size;
    }

    template <typename Test>
    static std::uint64_t Picked64(const char* at, Test test) {
        std::uint64_t picked = 0;
        for (std::size_t part = 0; part < 64; part += kStep)
            picked |= Picked(at + part, test) << part;
        return picked;
    }

    static void MaskBytes(const char* bytes, std::size_t words, const ByteSet& set,
                          ByteMasks* into) {
        const auto keywords = [&set](const char* from) {
            Vector found = V::Equal(V::Load(from), char(set.values[0]));
            for (std::size_t i = 1; i < set.count; ++i)
                found = V::Or(found, V::Equal(V::Load(from), char(set.values[i])));
            return found;
        };
        for (std::size_t word = 0; word < words; ++word, bytes += 64) {
            into[word].breaks = Picked64(bytes, Breaks);
            into[word].separators = Picked64(bytes, Separators);
            into[word].keywords = set.count == 0 ? 0 : Picked64(bytes, keywords);
        }
    }

    static constexpr LineSearches kSearches{
        V::kName,         FindBreak,  FindSeparator, FindBreakOrSeparator,
        FindBreakOrAnyOf, FindNotNul, MaskBytes};
};

}  // namespace kestrin::scan
