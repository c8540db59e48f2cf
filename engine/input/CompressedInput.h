#pragma once

#include <memory>

#include <cstddef>
#include <vector>

#include "input/ByteSource.h"

namespace kestrin::detail {

/// The compressed bytes a decoder reads, a block at a time from the source below.
class CompressedInput {
  public:
    explicit CompressedInput(ByteSource& below) : below_(below), buffer_(256 << 10) {}

    /// The bytes not yet taken by the decoder.
    const char* Data() const { return buffer_.data() + at_; }
    std::size_t Size() const { return size_ - at_; }
    void Take(std::size_t bytes) { at_ += bytes; }
    /// The bytes of the block at hand taken so far, which stand before Data().
    std::size_t TakenOfBlock() const { return at_; }

    /// Reads the next block once the last is taken: false at the end of the input.
    Result<bool> Refill() {
        if (Size() > 0) return true;
        if (ended_) return false;
        Result<std::size_t> got = below_.Read(buffer_.data(), buffer_.size());
        if (!got) return got.Failure();
        at_ = 0;
        size_ = *got;
        ended_ = size_ == 0;
        return !ended_;
    }
    /// True once the source below has nothing more and every byte is taken.
    bool Ended() const { return ended_ && Size() == 0; }
    std::int64_t Consumed() const { return below_.Consumed(); }

  private:
    ByteSource& below_;
    std::vector<char> buffer_;
    std::size_t at_ = 0, size_ = 0;
    bool ended_ = false;
};

inline constexpr const char* kTruncated = "unexpected end of compressed data";

/// What every decoder has: its compressed input, and the fault that ended it, which
/// every later Read returns alike.
class Decoder : public ByteSource {
  public:
    std::int64_t Consumed() const override { return input_.Consumed(); }

  protected:
    explicit Decoder(ByteSource& below) : input_(below) {}
    Result<std::size_t> Fail(Fault fault) {
        failure_ = fault;
        return fault;
    }

    CompressedInput input_;
    Status failure_;
};

/// A decoder whose library could not be loaded: every Read says why.
class Unloaded : public Decoder {
  public:
    Unloaded(ByteSource& below, Fault why) : Decoder(below) { failure_ = std::move(why); }
    Result<std::size_t> Read(char*, std::size_t) override { return *failure_; }
};

/// The decoder `Over` of `below`, over the functions of its library, or an
/// Unloaded one where the library could not be loaded.
template <typename Over, typename Library>
std::unique_ptr<ByteSource> NewDecoderOver(ByteSource& below,
                                           const Result<const Library*>& library) {
    if (!library) return std::make_unique<Unloaded>(below, library.Failure());
    return std::make_unique<Over>(below, **library);
}

}  // namespace kestrin::detail
