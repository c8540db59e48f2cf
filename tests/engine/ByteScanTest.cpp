// The searches over a log's bytes, in every instruction set this processor runs,
// against plain loops over the same bytes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <random>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "text/ByteScan.h"

namespace kestrin {
namespace {

// Each set of searches this processor runs (AVX-512, AVX2, the portable one) marks
// and finds the bytes plain loops find: at every offset of a word, a "://" split by
// a word's end and one closed by the two bytes after the last word, keyword sets of
// none to four bytes.
TEST(ByteScan, EverySetOfSearchesFindsWhatPlainLoopsFind) {
    const std::span<const scan::LineSearches* const> every = scan::EveryLineSearches();
    ASSERT_EQ(every.back(), &scan::PortableLineSearches());
    ASSERT_EQ(every.front(), &scan::FastestLineSearches());
    std::cout << "[ searches ]";
    for (const scan::LineSearches* searches : every) std::cout << ' ' << searches->name;
    std::cout << '\n';
    std::mt19937 random(64);
    const std::string alphabet = std::string("\r\n:/ \"ah\x82", 9) + '\0';
    std::string words;
    for (int i = 0; i < 64 * 24; ++i) words += alphabet[random() % alphabet.size()];
    for (std::size_t end : {64u, 128u, 192u}) words.replace(end - 2, 3, "://");
    words.replace(255, 3, "://");
    // The last word ends in the ':' or ":/" of a "://" that the two bytes after it close.
    for (const auto& [last, after] : {std::pair(":", "//"), std::pair(":/", "/x")}) {
        std::string bytes = words;
        bytes.replace(bytes.size() - std::strlen(last), std::strlen(last), last);
        bytes += after;
        const auto isSeparator = [&](std::size_t i) { return bytes.compare(i, 3, "://") == 0; };
        const auto isBreak = [&](std::size_t i) { return bytes[i] == '\r' || bytes[i] == '\n'; };
        for (const scan::ByteSet& set :
             {scan::ByteSet{}, scan::ByteSet{{'"'}, 1}, scan::ByteSet{{' ', 0x82}, 2},
              scan::ByteSet{{' ', 'a', 0x82, 0}, 4}}) {
            const auto isKeyword = [&](std::size_t i) {
                return std::count(set.values, set.values + set.count, std::uint8_t(bytes[i])) > 0;
            };
            for (const scan::LineSearches* searches : every) {
                const std::size_t count = (bytes.size() - 2) / 64;
                std::vector<scan::ByteMasks> masks(count);
                searches->maskBytes(bytes.data(), count, set, masks.data());
                for (std::size_t i = 0; i < count * 64; ++i) {
                    const scan::ByteMasks& word = masks[i / 64];
                    const auto bit = [&](std::uint64_t mask) {
                        return (mask >> (i % 64) & 1) != 0;
                    };
                    ASSERT_EQ(
                        std::tuple(bit(word.breaks), bit(word.separators), bit(word.keywords)),
                        std::tuple(isBreak(i), isSeparator(i), isKeyword(i)))
                        << searches->name << ", byte " << i << ", a set of " << set.count;
                }
                for (std::size_t from = 0; from < bytes.size(); ++from) {
                    const auto first = [&](auto wanted) {
                        std::size_t i = from;
                        while (i < bytes.size() && !wanted(i)) ++i;
                        return i - from;
                    };
                    const char* at = bytes.data() + from;
                    const std::size_t size = bytes.size() - from;
                    ASSERT_EQ(
                        std::tuple(searches->findBreak(at, size), searches->findSeparator(at, size),
                                   searches->findBreakOrSeparator(at, size),
                                   searches->findBreakOrAnyOf(at, size, set),
                                   searches->findNotNul(at, size)),
                        std::tuple(first(isBreak), first(isSeparator), first([&](std::size_t i) {
                                       return isBreak(i) || isSeparator(i);
                                   }),
                                   first([&](std::size_t i) { return isBreak(i) || isKeyword(i); }),
                                   first([&](std::size_t i) { return bytes[i] != '\0'; })))
                        << searches->name << ", from byte " << from << ", a set of " << set.count;
                }
            }
        }
    }
}

}  // namespace
}  // namespace kestrin
