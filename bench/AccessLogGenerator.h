#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Random.h"
#include "ZipfSampler.h"

namespace kestrin::bench {

/// Lines of a combined-format web server access log, the same bytes for the same
/// options on every machine:
///
///   IP - - [date] "GET /path HTTP/1.1" status bytes "referrer" "user agent"
///
/// Referrers come from a pool of `distinctUrls` URLs drawn with a Zipf-like skew;
/// a sweep through the pool makes every one of them appear before the log ends
/// (when the log has lines enough). Some lines have no referrer ("-"), crawlers
/// name their own page in the user agent ("+http://..."), a few requests carry a
/// URL themselves, and some paths, queries and referrers hold Shift_JIS (CP932)
/// text as raw bytes. Lines end with LF; there is no CR, NUL or TAB anywhere.
class AccessLogGenerator {
  public:
    struct Options {
        std::uint64_t targetBytes = 1 << 30;
        std::size_t distinctUrls = 200000;
        std::uint64_t seed = 1;
    };

    explicit AccessLogGenerator(const Options& options);

    /// Appends the next line (with its LF) to `out`; false once the log has
    /// reached its target size.
    bool NextLine(std::string& out);

    /// The referrer URL of the pool's rank `rank`, the same for every call.
    std::string PoolUrl(std::size_t rank) const;

  private:
    std::size_t ChooseReferrer();
    void AppendDate(std::string& out);
    void AppendPath(std::string& out);
    void AppendJapanese(std::string& out, Random& random, int words) const;

    Options options_;
    Random random_;
    ZipfSampler pool_;
    std::vector<std::string> japanese_;  // words in CP932 bytes
    std::uint64_t written_ = 0;
    std::uint64_t lines_ = 0;
    std::size_t nextUnseen_ = 0;
    std::int64_t clock_ = 0;  // seconds since the log's first line
};

}  // namespace kestrin::bench
