#pragma once

#include <cstddef>
#include <cstdint>

#include "os/Fault.h"

namespace kestrin {

/// Where a log's bytes come from: a file, a range of one, its decompressed text, a
/// member of an archive. A fault ends the log: every later Read fails alike.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    /// Fills `into` with up to `size` bytes of the log: the count, 0 at its end.
    virtual Result<std::size_t> Read(char* into, std::size_t size) = 0;
    /// Bytes of the file taken so far: the compressed bytes of a compressed log,
    /// so that progress measured against the file's size ends at 100%.
    virtual std::int64_t Consumed() const = 0;

  protected:
    ByteSource() = default;
};

}  // namespace kestrin
