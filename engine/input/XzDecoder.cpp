// xz through liblzma, streams one after another (with their padding).

#include <cerrno>
#include <string>

#include "input/CompressedInput.h"
#include "input/CompressionLibraries.h"
#include "input/Decoders.h"

namespace kestrin::detail {
namespace {

const char* WhatWentWrong(lzma_ret rc) {
    switch (rc) {
        case LZMA_FORMAT_ERROR:
            return "damaged compressed data: not xz data";
        case LZMA_OPTIONS_ERROR:
            return "damaged compressed data: unsupported xz options";
        case LZMA_BUF_ERROR:
            return kTruncated;
        case LZMA_UNSUPPORTED_CHECK:
            return "damaged compressed data: unsupported xz integrity check";
        default:
            return "damaged compressed data: xz data is corrupt";
    }
}

class XzDecoder : public Decoder {
  public:
    XzDecoder(ByteSource& below, const XzLibrary& xz) : Decoder(below), xz_(xz) {
        started_ = xz_.lzma_stream_decoder(&stream_, UINT64_MAX, LZMA_CONCATENATED);
    }
    ~XzDecoder() override { xz_.lzma_end(&stream_); }

    Result<std::size_t> Read(char* into, std::size_t size) override {
        if (failure_) return *failure_;
        if (started_ != LZMA_OK) return Fail(SystemFault(ENOMEM));
        if (ended_) return std::size_t(0);
        stream_.next_out = reinterpret_cast<std::uint8_t*>(into);
        stream_.avail_out = size;
        while (stream_.avail_out == size && size > 0) {
            Result<bool> more = input_.Refill();
            if (!more) return Fail(more.Failure());
            stream_.next_in = reinterpret_cast<const std::uint8_t*>(input_.Data());
            stream_.avail_in = input_.Size();
            // Told that the input has ended, the decoder checks the last stream is whole.
            const lzma_ret rc = xz_.lzma_code(&stream_, *more ? LZMA_RUN : LZMA_FINISH);
            input_.Take(input_.Size() - stream_.avail_in);
            if (rc == LZMA_STREAM_END) {
                ended_ = true;
                break;
            }
            if (rc == LZMA_MEM_ERROR) return Fail(SystemFault(ENOMEM));
            if (rc != LZMA_OK) return Fail(Fault{EILSEQ, WhatWentWrong(rc)});
        }
        return size - stream_.avail_out;
    }

  private:
    const XzLibrary& xz_;
    lzma_stream stream_ = LZMA_STREAM_INIT;
    lzma_ret started_ = LZMA_PROG_ERROR;
    bool ended_ = false;
};

}  // namespace

std::unique_ptr<ByteSource> NewXzDecoder(ByteSource& below) {
    return NewDecoderOver<XzDecoder>(below, LoadXzLibrary());
}

}  // namespace kestrin::detail
