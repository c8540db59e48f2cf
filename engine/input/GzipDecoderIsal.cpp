// gzip through ISA-L's streaming inflate, one member after another: two to three
// times zlib's speed on the same members, with the same checks of each member's
// CRC and length.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>

#include "input/CompressedInput.h"
#include "input/CompressionLibraries.h"
#include "input/Decoders.h"

namespace kestrin::detail {
namespace {

// The reason a member cannot be read, in the words the reader gives elsewhere.
std::string DamageOf(int rc) {
    switch (rc) {
        case ISAL_INVALID_BLOCK:
            return "invalid block type";
        case ISAL_INVALID_SYMBOL:
            return "invalid code";
        case ISAL_INVALID_LOOKBACK:
            return "invalid distance too far back";
        case ISAL_INVALID_WRAPPER:
            return "incorrect header check";
        case ISAL_UNSUPPORTED_METHOD:
            return "unknown compression method";
        case ISAL_INCORRECT_CHECKSUM:
            return "incorrect data check";
        default:
            return "inflate failed";
    }
}

class GzipDecoder : public Decoder {
  public:
    GzipDecoder(ByteSource& below, const IsalLibrary& isal) : Decoder(below), isal_(isal) {
        Restart();
    }

    Result<std::size_t> Read(char* into, std::size_t size) override {
        if (failure_) return *failure_;
        state_.next_out = reinterpret_cast<std::uint8_t*>(into);
        state_.avail_out = std::uint32_t(std::min<std::size_t>(size, UINT32_MAX));
        const std::uint32_t room = state_.avail_out;
        while (state_.avail_out == room && room > 0) {
            // The inflater may hold output of input it took before: it is asked
            // first, and only a call that gave nothing asks for more input.
            if (input_.Size() == 0) {
                if (Status fault = Inflate()) return *fault;
                if (state_.avail_out != room) break;
                Result<bool> more = input_.Refill();
                if (!more) return Fail(more.Failure());
                // Between members the input may end; inside one it may not.
                if (!*more) {
                    if (betweenMembers_) return std::size_t(0);
                    return Fail(Fault{EILSEQ, kTruncated});
                }
            }
            if (betweenMembers_ && !StartsMember())
                return Fail(Fault{EILSEQ, "data after the last gzip member"});
            if (Status fault = Inflate()) return *fault;
        }
        return std::size_t(room - state_.avail_out);
    }

  private:
    // A new member, into the output still at hand.
    void Restart() {
        std::uint8_t* const out = state_.next_out;
        const std::uint32_t room = state_.avail_out;
        isal_.isal_inflate_init(&state_);
        state_.crc_flag = ISAL_GZIP;
        state_.next_out = out;
        state_.avail_out = room;
    }

    // Whether the bytes after a member begin another: its magic, deflate, and no
    // reserved flag, as far as they are at hand.
    bool StartsMember() const {
        static constexpr std::uint8_t kStart[] = {0x1f, 0x8b, 0x08};
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(input_.Data());
        const std::size_t known = std::min<std::size_t>(input_.Size(), 4);
        for (std::size_t i = 0; i < known; ++i) {
            if (i < 3 ? bytes[i] != kStart[i] : (bytes[i] & 0xE0) != 0) return false;
        }
        return true;
    }

    // Whether the member's CRC came out, so that its length did not: its trailer is
    // the last 8 bytes taken, read when they are still at hand.
    bool CrcCameOut() const {
        if (input_.TakenOfBlock() < 8) return false;
        const auto* trailer = reinterpret_cast<const std::uint8_t*>(input_.Data()) - 8;
        const std::uint32_t crc = std::uint32_t(trailer[0]) | std::uint32_t(trailer[1]) << 8 |
                                  std::uint32_t(trailer[2]) << 16 | std::uint32_t(trailer[3]) << 24;
        return crc == state_.crc;
    }

    // One call of the inflater on the input at hand; a member's end starts the next.
    Status Inflate() {
        state_.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(input_.Data()));
        state_.avail_in = std::uint32_t(std::min<std::size_t>(input_.Size(), UINT32_MAX));
        const std::uint32_t offered = state_.avail_in;
        const int rc = isal_.isal_inflate(&state_);
        input_.Take(offered - state_.avail_in);
        if (rc < 0) {
            const std::string reason = rc == ISAL_INCORRECT_CHECKSUM && CrcCameOut()
                                           ? "incorrect length check"
                                           : DamageOf(rc);
            return Fail(Fault{EILSEQ, "damaged compressed data: " + reason}).Failure();
        }
        if (state_.block_state == ISAL_BLOCK_FINISH) {
            // Another member may follow; anything else after the last one is damage.
            Restart();
            betweenMembers_ = true;
        } else {
            betweenMembers_ = betweenMembers_ && state_.avail_in == offered;
        }
        return std::nullopt;
    }

    const IsalLibrary& isal_;
    inflate_state state_{};
    bool betweenMembers_ = false;  // the last member ended and no byte of another was read
};

}  // namespace

std::unique_ptr<ByteSource> NewGzipDecoder(ByteSource& below) {
    return NewDecoderOver<GzipDecoder>(below, LoadIsalLibrary());
}

}  // namespace kestrin::detail
