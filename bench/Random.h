#pragma once

#include <cstdint>

namespace kestrin::bench {

/// A small, fast generator whose sequence is fixed by its seed on every platform
/// (the standard library's distributions are not, so none of them is used).
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    /// Uniform in [0, bound).
    std::uint64_t Below(std::uint64_t bound) {
        return std::uint64_t((unsigned __int128)Next() * bound >> 64);
    }
    /// Uniform in [0, 1).
    double Unit() { return double(Next() >> 11) * 0x1.0p-53; }
    bool Chance(double probability) { return Unit() < probability; }

  private:
    std::uint64_t state_;
};

/// A well-mixed value of two numbers, for choices that must depend only on them.
inline std::uint64_t Mix(std::uint64_t a, std::uint64_t b) {
    return Random(a * 0xD1B54A32D192ED03ULL ^ b).Next();
}

}  // namespace kestrin::bench
