#include "input/ByteSource.h"

#include <unistd.h>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

namespace kestrin {
namespace {

constexpr const char* kTruncated = "unexpected end of compressed data";
constexpr std::size_t kInputBuffer = 256 << 10;

// read() that is not cut short by a signal: the count, 0 at the end, -1 with errno.
ssize_t ReadRetrying(int fd, char* into, std::size_t size) {
    for (;;) {
        ssize_t got = read(fd, into, size);
        if (got >= 0 || errno != EINTR) return got;
    }
}

}  // namespace

std::int64_t ByteSource::Fail(int error, std::string_view reason) {
    if (error_ == 0) {
        error_ = error;
        reason_ = reason.empty() ? std::string(std::strerror(error)) : std::string(reason);
    }
    return -1;
}

// ---------------------------------------------------------------------------------

FileSource::FileSource(int fd, std::string_view alreadyRead) : fd_(fd), pending_(alreadyRead) {}

std::int64_t FileSource::Read(char* into, std::size_t size) {
    if (Error() != 0) return -1;
    if (pendingAt_ < pending_.size()) {
        std::size_t part = std::min(size, pending_.size() - pendingAt_);
        std::memcpy(into, pending_.data() + pendingAt_, part);
        pendingAt_ += part;
        consumed_ += std::int64_t(part);
        return std::int64_t(part);
    }
    ssize_t got = ReadRetrying(fd_, into, size);
    if (got < 0) return Fail(errno);
    consumed_ += got;
    return got;
}

// ---------------------------------------------------------------------------------

namespace {

// The compressed bytes of the file, in blocks: first those read before the
// source was made, then the descriptor's.
class CompressedInput {
  public:
    CompressedInput(int fd, std::string_view alreadyRead)
        : fd_(fd), pending_(alreadyRead), buffer_(kInputBuffer) {}

    // Sets `block` to the next bytes: their count, 0 at the end, -1 with errno.
    ssize_t Next(const char*& block) {
        if (!pendingGiven_ && !pending_.empty()) {
            pendingGiven_ = true;
            block = pending_.data();
            return ssize_t(pending_.size());
        }
        if (atEnd_) return 0;
        ssize_t got = ReadRetrying(fd_, buffer_.data(), buffer_.size());
        if (got == 0) atEnd_ = true;
        block = buffer_.data();
        return got;
    }
    bool AtEnd() const { return atEnd_; }

  private:
    int fd_;
    std::string pending_;
    bool pendingGiven_ = false;
    std::vector<char> buffer_;
    bool atEnd_ = false;
};

}  // namespace

struct GzipSource::State {
    State(int fd, std::string_view alreadyRead) : input(fd, alreadyRead) {}
    CompressedInput input;
    z_stream stream{};
    int initialized = Z_STREAM_ERROR;
    bool betweenMembers = false;  // the last member ended and no byte of another came
    bool done = false;
    int member = 1;
};

GzipSource::GzipSource(int fd, std::string_view alreadyRead)
    : state_(std::make_unique<State>(fd, alreadyRead)) {
    // 16 + the largest window: gzip members only, no raw deflate or zlib streams.
    state_->initialized = inflateInit2(&state_->stream, 16 + MAX_WBITS);
}

GzipSource::~GzipSource() {
    if (state_->initialized == Z_OK) inflateEnd(&state_->stream);
}

std::int64_t GzipSource::Read(char* into, std::size_t size) {
    State& s = *state_;
    if (Error() != 0) return -1;
    if (s.initialized != Z_OK)
        return Fail(s.initialized == Z_MEM_ERROR ? ENOMEM : EINVAL, "cannot start inflating");
    if (s.done || size == 0) return 0;
    z_stream& z = s.stream;
    z.next_out = reinterpret_cast<Bytef*>(into);
    z.avail_out = uInt(std::min<std::size_t>(size, UINT_MAX));
    const uInt room = z.avail_out;
    for (;;) {
        if (z.avail_in == 0 && !s.input.AtEnd()) {
            const char* block = nullptr;
            ssize_t got = s.input.Next(block);
            if (got < 0) return Fail(errno);
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block));
            z.avail_in = uInt(got);
            consumed_ += got;
        }
        if (z.avail_in == 0 && s.input.AtEnd() && s.betweenMembers) {
            s.done = true;
            return 0;
        }
        int rc = inflate(&z, Z_NO_FLUSH);
        if (rc == Z_STREAM_END) {
            // Another member may follow; anything else after the last one is damage.
            inflateReset(&z);
            s.betweenMembers = true;
            ++s.member;
        } else if (rc == Z_OK) {
            s.betweenMembers = false;
        } else if (rc == Z_BUF_ERROR && z.avail_in == 0 && s.input.AtEnd()) {
            return Fail(EILSEQ, kTruncated);
        } else if (rc == Z_MEM_ERROR) {
            return Fail(ENOMEM);
        } else if (rc != Z_BUF_ERROR) {
            if (s.betweenMembers) return Fail(EILSEQ, "data after the last gzip member");
            return Fail(EILSEQ, std::string("damaged compressed data: ") +
                                    (z.msg != nullptr ? z.msg : "inflate failed"));
        }
        if (z.avail_out < room) return std::int64_t(room - z.avail_out);
    }
}

// ---------------------------------------------------------------------------------

struct ZstdSource::State {
    State(int fd, std::string_view alreadyRead) : input(fd, alreadyRead) {}
    ~State() { ZSTD_freeDCtx(context); }
    CompressedInput input;
    ZSTD_DCtx* context = ZSTD_createDCtx();
    ZSTD_inBuffer in{nullptr, 0, 0};
    bool frameDone = false;  // the last frame was decoded and handed out whole
};

ZstdSource::ZstdSource(int fd, std::string_view alreadyRead)
    : state_(std::make_unique<State>(fd, alreadyRead)) {}

ZstdSource::~ZstdSource() = default;

std::int64_t ZstdSource::Read(char* into, std::size_t size) {
    State& s = *state_;
    if (Error() != 0) return -1;
    if (s.context == nullptr) return Fail(ENOMEM);
    if (size == 0) return 0;
    ZSTD_outBuffer out{into, size, 0};
    for (;;) {
        if (s.in.pos == s.in.size && !s.input.AtEnd()) {
            const char* block = nullptr;
            ssize_t got = s.input.Next(block);
            if (got < 0) return Fail(errno);
            s.in = {block, std::size_t(got), 0};
            consumed_ += got;
        }
        const bool inputEnded = s.in.pos == s.in.size && s.input.AtEnd();
        if (inputEnded && s.frameDone) return 0;
        // Called even without input: the decoder may still hold output to hand out.
        std::size_t rc = ZSTD_decompressStream(s.context, &out, &s.in);
        if (ZSTD_isError(rc)) {
            if (ZSTD_getErrorCode(rc) == ZSTD_error_memory_allocation) return Fail(ENOMEM);
            return Fail(EILSEQ, std::string("damaged compressed data: ") + ZSTD_getErrorName(rc));
        }
        s.frameDone = rc == 0;
        if (out.pos > 0) return std::int64_t(out.pos);
        if (inputEnded && !s.frameDone) return Fail(EILSEQ, kTruncated);
    }
}

// ---------------------------------------------------------------------------------

namespace {

bool IsGzip(std::string_view head) {
    // The magic bytes and deflate, the only method gzip defines.
    return head.size() >= 3 && head.substr(0, 3) == std::string_view("\x1f\x8b\x08", 3);
}

bool IsZstd(std::string_view head) {
    if (head.size() < 4) return false;
    if (head == std::string_view("\x28\xb5\x2f\xfd", 4)) return true;
    // A skippable frame: magic 0x184D2A50 to 0x184D2A5F, little-endian.
    return (std::uint8_t(head[0]) & 0xf0) == 0x50 && head.substr(1) == "\x2a\x4d\x18";
}

// A source that failed before it could read anything.
class FailedSource : public ByteSource {
  public:
    explicit FailedSource(int error) { Fail(error); }
    std::int64_t Read(char*, std::size_t) override { return -1; }
};

}  // namespace

std::unique_ptr<ByteSource> OpenLogSource(int fd) {
    // A pipe may hand over fewer bytes than asked: read until the magic is whole.
    char head[4];
    std::size_t size = 0;
    while (size < sizeof head) {
        ssize_t got = ReadRetrying(fd, head + size, sizeof head - size);
        if (got < 0) return std::make_unique<FailedSource>(errno);
        if (got == 0) break;
        size += std::size_t(got);
    }
    std::string_view taken(head, size);
    if (IsGzip(taken)) return std::make_unique<GzipSource>(fd, taken);
    if (IsZstd(taken)) return std::make_unique<ZstdSource>(fd, taken);
    return std::make_unique<FileSource>(fd, taken);
}

bool IsCompressed(std::string_view firstBytes) {
    return IsGzip(firstBytes) || IsZstd(firstBytes);
}

}  // namespace kestrin
