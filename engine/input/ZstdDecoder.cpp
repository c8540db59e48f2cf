// zstd, one frame after another; skippable frames are passed over.

#include <cerrno>
#include <string>

#include "input/CompressedInput.h"
#include "input/CompressionLibraries.h"
#include "input/Decoders.h"

namespace kestrin::detail {
namespace {

class ZstdDecoder : public Decoder {
  public:
    ZstdDecoder(ByteSource& below, const ZstdLibrary& zstd)
        : Decoder(below), zstd_(zstd), context_(zstd.ZSTD_createDCtx()) {
        // A frame's window is as large as its writer chose (--long=31 makes 2 GiB),
        // and the memory it takes is the log's own need: zstd's default of 128 MiB
        // would refuse logs that zstd itself reads with --memory.
        if (context_ != nullptr) zstd_.ZSTD_DCtx_setParameter(context_, ZSTD_d_windowLogMax, 31);
    }
    ~ZstdDecoder() override { zstd_.ZSTD_freeDCtx(context_); }

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
            const std::size_t rc = zstd_.ZSTD_decompressStream(context_, &out, &in);
            input_.Take(in.pos);
            if (zstd_.ZSTD_isError(rc)) {
                if (zstd_.ZSTD_getErrorCode(rc) == ZSTD_error_memory_allocation)
                    return Fail(SystemFault(ENOMEM));
                if (zstd_.ZSTD_getErrorCode(rc) == ZSTD_error_frameParameter_windowTooLarge)
                    return Fail(Fault{EFBIG,
                                      "a zstd frame needs a window of more than 2048 "
                                      "MiB, which is not read"});
                return Fail(Fault{EILSEQ, std::string("damaged compressed data: ") +
                                              zstd_.ZSTD_getErrorName(rc)});
            }
            frameDone_ = rc == 0;
            if (out.pos == 0 && !*more && !frameDone_) return Fail(Fault{EILSEQ, kTruncated});
        }
        return out.pos;
    }

  private:
    const ZstdLibrary& zstd_;
    ZSTD_DCtx* context_;
    bool frameDone_ = true;  // no frame begun, or the last one decoded and handed out whole
};

}  // namespace

std::unique_ptr<ByteSource> NewZstdDecoder(ByteSource& below) {
    return NewDecoderOver<ZstdDecoder>(below, LoadZstdLibrary());
}

}  // namespace kestrin::detail
