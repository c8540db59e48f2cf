// No code page built in: every page is read from ICU's converter as a run needs
// it. The build holds this where ICU could not give the default page, or where the
// program is built for another system than the one building it.
#pragma once

#include <cstdint>

namespace kestrin::os::builtin {

inline constexpr unsigned kNumber = 0;  // no Windows code page has it
inline constexpr bool kLead[256] = {};
inline constexpr char32_t kSingles[256] = {};
inline constexpr std::uint16_t kPairRow[256] = {};
inline constexpr char32_t kPairs[256] = {};
inline constexpr bool kWrittenAsOneByte[256] = {};
inline constexpr char32_t kLowerSingles[256] = {};

}  // namespace kestrin::os::builtin
