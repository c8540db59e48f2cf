#pragma once

#include "input/ByteSource.h"
#include "os/File.h"

namespace kestrin {

/// The bytes of a file from where it stands, as they are.
class FileSource : public ByteSource {
  public:
    /// Reads `file`, which must outlive the source.
    explicit FileSource(os::File& file) : file_(file) {}
    Result<std::size_t> Read(char* into, std::size_t size) override;
    std::int64_t Consumed() const override { return consumed_; }

  private:
    os::File& file_;
    std::int64_t consumed_ = 0;
};

/// Bytes [begin, end) of a log.
struct LogRange {
    std::int64_t begin = 0;
    std::int64_t end = 0;
};

/// One range of a regular file, read at its offsets, so that several threads can
/// each read their range of one file at once. A file cut short ends the range early.
class RangeSource : public ByteSource {
  public:
    RangeSource(const os::File& file, LogRange range)
        : file_(file), range_(range), at_(range.begin) {}
    Result<std::size_t> Read(char* into, std::size_t size) override;
    std::int64_t Consumed() const override { return at_ - range_.begin; }

  private:
    const os::File& file_;
    LogRange range_;
    std::int64_t at_;
};

}  // namespace kestrin
