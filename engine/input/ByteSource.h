#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kestrin {

/// Where the log's bytes come from: the file itself or the file decompressed.
///
/// Failures are values: Read returns -1 and Error tells why, an errno for a failed
/// read of the file and EILSEQ for compressed data that is damaged, truncated or
/// followed by anything that is not more compressed data.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    /// Fills `into` with up to `size` bytes of the log: the count (> 0), 0 at the
    /// end of the log, -1 after a failure (and for every later call).
    virtual std::int64_t Read(char* into, std::size_t size) = 0;

    /// The errno of the failure, 0 while every read has succeeded.
    int Error() const { return error_; }
    /// The failure in words ("unexpected end of compressed data", or the errno's
    /// text); empty while every read has succeeded.
    const std::string& Reason() const { return reason_; }
    /// Bytes of the file taken so far: the compressed bytes for a compressed log, so
    /// that progress measured against the file's size ends at 100%.
    std::int64_t Consumed() const { return consumed_; }

  protected:
    ByteSource() = default;
    /// Records the first failure and returns -1 for Read to pass on.
    std::int64_t Fail(int error, std::string_view reason = {});

    std::int64_t consumed_ = 0;

  private:
    int error_ = 0;
    std::string reason_;
};

/// The log's descriptor, read as it is. `alreadyRead` holds bytes that were taken
/// from the descriptor before (to tell the kind of log) and come first.
class FileSource : public ByteSource {
  public:
    /// Reads from `fd`, which stays the caller's to close.
    explicit FileSource(int fd, std::string_view alreadyRead = {});
    std::int64_t Read(char* into, std::size_t size) override;

  private:
    int fd_;
    std::string pending_;
    std::size_t pendingAt_ = 0;
};

/// A gzip log: one member or several one after the other (as `cat a.gz b.gz` makes
/// them), read as the concatenation of their contents.
class GzipSource : public ByteSource {
  public:
    explicit GzipSource(int fd, std::string_view alreadyRead = {});
    ~GzipSource() override;
    std::int64_t Read(char* into, std::size_t size) override;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

/// A zstd log: one frame or several (skippable frames are passed over).
class ZstdSource : public ByteSource {
  public:
    explicit ZstdSource(int fd, std::string_view alreadyRead = {});
    ~ZstdSource() override;
    std::int64_t Read(char* into, std::size_t size) override;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

/// The source for the log open on `fd` (which stays the caller's to close), told
/// by its first bytes: gzip, zstd, or else the plain log with those bytes kept.
/// Never seeks, so a pipe works too. A failure to read the first bytes shows as
/// the first Read failing.
std::unique_ptr<ByteSource> OpenLogSource(int fd);

/// True when a log's first bytes (four are enough) are those of a gzip member or
/// a zstd frame: such a log reads only from its start, on one reader.
bool IsCompressed(std::string_view firstBytes);

}  // namespace kestrin
