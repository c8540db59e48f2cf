#pragma once

#include <string>
#include <string_view>

#include "input/ByteSource.h"

namespace kestrin {

/// A source whose first bytes are read ahead, to tell what the log is, and then
/// handed out again before the rest, so that a pipe is read once.
class PeekedSource : public ByteSource {
  public:
    /// Reads up to `bytes` from `below` (which must outlive this), as many as the
    /// source has: a pipe that hands them over a few at a time is read until then.
    PeekedSource(ByteSource& below, std::size_t bytes);

    /// The first bytes; fewer than asked only when the source has no more.
    std::string_view Head() const { return head_; }
    /// The fault met while reading the first bytes, which Read then returns.
    const Status& Failure() const { return failure_; }

    Result<std::size_t> Read(char* into, std::size_t size) override;
    std::int64_t Consumed() const override { return below_.Consumed(); }

  private:
    ByteSource& below_;
    std::string head_;
    std::size_t handedOut_ = 0;
    Status failure_;
};

}  // namespace kestrin
