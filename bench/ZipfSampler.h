#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "Random.h"

namespace kestrin::bench {

/// Ranks 0..n-1 drawn with weight 1/(rank+1). The weights need only division and
/// addition, which round the same everywhere, so a seed fixes the draws.
class ZipfSampler {
  public:
    explicit ZipfSampler(std::size_t n) : cumulative_(n) {
        double sum = 0;
        for (std::size_t rank = 0; rank < n; ++rank) {
            sum += 1.0 / double(rank + 1);
            cumulative_[rank] = sum;
        }
    }

    std::size_t Draw(Random& random) const {
        double target = random.Unit() * cumulative_.back();
        auto hit = std::upper_bound(cumulative_.begin(), cumulative_.end(), target);
        return std::min(std::size_t(hit - cumulative_.begin()), cumulative_.size() - 1);
    }

  private:
    std::vector<double> cumulative_;
};

}  // namespace kestrin::bench
