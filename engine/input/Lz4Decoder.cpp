// lz4 frames through liblz4's frame API, one after another; skippable frames are
// passed over.

#include <cerrno>
#include <string>

#include "input/CompressedInput.h"
#include "input/CompressionLibraries.h"
#include "input/Decoders.h"

namespace kestrin::detail {
namespace {

class Lz4Decoder : public Decoder {
  public:
    Lz4Decoder(ByteSource& below, const Lz4Library& lz4) : Decoder(below), lz4_(lz4) {
        if (lz4_.LZ4F_isError(lz4_.LZ4F_createDecompressionContext(&context_, LZ4F_VERSION)))
            context_ = nullptr;
    }
    ~Lz4Decoder() override { lz4_.LZ4F_freeDecompressionContext(context_); }

    Result<std::size_t> Read(char* into, std::size_t size) override {
        if (failure_) return *failure_;
        if (context_ == nullptr) return Fail(SystemFault(ENOMEM));
        std::size_t written = 0;
        while (written == 0 && size > 0) {
            Result<bool> more = input_.Refill();
            if (!more) return Fail(more.Failure());
            // Between frames the input may end; inside one it may not.
            if (!*more && frameDone_) return std::size_t(0);
            std::size_t out = size, in = input_.Size();
            const std::size_t rc =
                lz4_.LZ4F_decompress(context_, into, &out, input_.Data(), &in, nullptr);
            input_.Take(in);
            if (lz4_.LZ4F_isError(rc))
                return Fail(Fault{
                    EILSEQ, std::string("damaged compressed data: ") + lz4_.LZ4F_getErrorName(rc)});
            // 0: the frame is whole, and the context ready for another.
            frameDone_ = rc == 0;
            written = out;
            if (written == 0 && !*more && !frameDone_) return Fail(Fault{EILSEQ, kTruncated});
        }
        return written;
    }

  private:
    const Lz4Library& lz4_;
    LZ4F_dctx* context_ = nullptr;
    bool frameDone_ = true;
};

}  // namespace

std::unique_ptr<ByteSource> NewLz4Decoder(ByteSource& below) {
    return NewDecoderOver<Lz4Decoder>(below, LoadLz4Library());
}

}  // namespace kestrin::detail
