#include "input/Decoders.h"

#include <cerrno>
#include <string>
#include <vector>

namespace kestrin {
namespace detail {
std::unique_ptr<ByteSource> NewGzipDecoder(ByteSource& below);
std::unique_ptr<ByteSource> NewZstdDecoder(ByteSource& below);
std::unique_ptr<ByteSource> NewXzDecoder(ByteSource& below);
std::unique_ptr<ByteSource> NewBzip2Decoder(ByteSource& below);
std::unique_ptr<ByteSource> NewLz4Decoder(ByteSource& below);
}  // namespace detail

namespace {

// Skippable frames, as zstd and lz4 both write them: a magic from 0x184D2A50 to
// 0x184D2A5F and a size, both little-endian, and that many bytes of the writer's.
// They are passed over, and what follows is handed out as it is.
class SkippableFrames : public ByteSource {
  public:
    explicit SkippableFrames(ByteSource& below) : below_(below) {}

    Result<std::size_t> Read(char* into, std::size_t size) override {
        while (!framesPassed_) {
            char header[8];
            Result<std::size_t> got = ReadAll(header, sizeof header);
            if (!got) return got;
            const auto word = [&](int at) {
                std::uint32_t value = 0;
                for (int i = 3; i >= 0; --i) value = value << 8 | std::uint8_t(header[at + i]);
                return value;
            };
            if (*got < sizeof header || (word(0) & 0xFFFFFFF0U) != 0x184D2A50U) {
                // The first bytes that are no skippable frame, handed out first.
                framesPassed_ = true;
                held_.assign(header, *got);
                break;
            }
            scratch_.resize(64 << 10);
            for (std::uint32_t left = word(4); left > 0;) {
                Result<std::size_t> skipped =
                    below_.Read(scratch_.data(), std::min<std::size_t>(scratch_.size(), left));
                if (!skipped) return skipped;
                if (*skipped == 0) return Fault{EILSEQ, "unexpected end of compressed data"};
                left -= std::uint32_t(*skipped);
            }
        }
        if (!held_.empty()) {
            const std::size_t part = std::min(size, held_.size());
            held_.copy(into, part);
            held_.erase(0, part);
            return part;
        }
        return below_.Read(into, size);
    }
    std::int64_t Consumed() const override { return below_.Consumed(); }

  private:
    // Up to `size` bytes, fewer only at the end.
    Result<std::size_t> ReadAll(char* into, std::size_t size) {
        std::size_t got = 0;
        while (got < size) {
            Result<std::size_t> part = below_.Read(into + got, size - got);
            if (!part) return part;
            if (*part == 0) break;
            got += *part;
        }
        return got;
    }

    ByteSource& below_;
    bool framesPassed_ = false;
    std::string held_;
    std::vector<char> scratch_;
};

}  // namespace

std::unique_ptr<ByteSource> NewDecoder(LogForm form, ByteSource& below) {
    switch (form) {
        case LogForm::Gzip:
            return detail::NewGzipDecoder(below);
        case LogForm::Zstd:
            return detail::NewZstdDecoder(below);
        case LogForm::Xz:
            return detail::NewXzDecoder(below);
        case LogForm::Bzip2:
            return detail::NewBzip2Decoder(below);
        case LogForm::Lz4:
            return detail::NewLz4Decoder(below);
        case LogForm::SkippableFrames:
            return std::make_unique<SkippableFrames>(below);
        default:
            return nullptr;
    }
}

}  // namespace kestrin
