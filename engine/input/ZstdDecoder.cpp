// zstd, one frame after another; skippable frames are passed over.

#include <zstd.h>
#include <zstd_errors.h>

#include <cerrno>
#include <string>

#include "input/CompressedInput.h"
#include "input/Decoders.h"

namespace kestrin::detail {
namespace {

class ZstdDecoder : public Decoder {
  public:
    explicit ZstdDecoder(ByteSource& below) : Decoder(below), context_(ZSTD_createDCtx()) {
        // A frame's window is as large as its writer chose (--long=31 makes 2 GiB),
        // and the memory it takes is the log's own need: zstd's default of 128 MiB
        // would refuse logs that zstd itself reads with --memory.
        if (context_ != nullptr) ZSTD_DCtx_setParameter(context_, ZSTD_d_windowLogMax, 31);
    }
    ~ZstdDecoder() override { ZSTD_freeDCtx(context_); }

    Result<std::size_t> Read(char* into, std::size_t size) override {
        if (failure_) return *failure_;
        if (context_ == nullptr) return Fail(SystemFault(ENOMEM));
        ZSTD_outBuffer out{into, size, 0};
        while (out.pos == 0 && size > 0) {
            Result<bool> more = input_.Refill();
            if (!more) return Fail(more.Failure());
            // Between frames the input may end; inside one it may not.
            if (!*more && frameDone_) return std::size_t(0);
            // Called even without input: the decoder may still hold output to hand out.
            ZSTD_inBuffer in{input_.Data(), input_.Size(), 0};
            const std::size_t rc = ZSTD_decompressStream(context_, &out, &in);
            input_.Take(in.pos);
            if (ZSTD_isError(rc)) {
                if (ZSTD_getErrorCode(rc) == ZSTD_error_memory_allocation)
                    return Fail(SystemFault(ENOMEM));
                if (ZSTD_getErrorCode(rc) == ZSTD_error_frameParameter_windowTooLarge)
                    return Fail(Fault{EFBIG,
                                      "a zstd frame needs a window of more than 2048 "
                                      "MiB, which is not read"});
                return Fail(Fault{
                    EILSEQ, std::string("damaged compressed data: ") + ZSTD_getErrorName(rc)});
            }
            frameDone_ = rc == 0;
            if (out.pos == 0 && !*more && !frameDone_) return Fail(Fault{EILSEQ, kTruncated});
        }
        return out.pos;
    }

  private:
    ZSTD_DCtx* context_;
    bool frameDone_ = true;  // no frame begun, or the last one decoded and handed out whole
};

}  // namespace

std::unique_ptr<ByteSource> NewZstdDecoder(ByteSource& below) {
    return std::make_unique<ZstdDecoder>(below);
}

}  // namespace kestrin::detail
