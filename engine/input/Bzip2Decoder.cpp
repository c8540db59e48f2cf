// bzip2 through libbz2, streams one after another.

#include <algorithm>
#include <cerrno>
#include <climits>

#include "input/CompressedInput.h"
#include "input/CompressionLibraries.h"
#include "input/Decoders.h"

namespace kestrin::detail {
namespace {

class Bzip2Decoder : public Decoder {
  public:
    Bzip2Decoder(ByteSource& below, const Bzip2Library& bzip2) : Decoder(below), bzip2_(bzip2) {
        Start();
    }
    ~Bzip2Decoder() override {
        if (started_ == BZ_OK) bzip2_.BZ2_bzDecompressEnd(&stream_);
    }

    Result<std::size_t> Read(char* into, std::size_t size) override {
        if (failure_) return *failure_;
        if (started_ != BZ_OK) return Fail(SystemFault(ENOMEM));
        stream_.next_out = into;
        stream_.avail_out = unsigned(std::min<std::size_t>(size, UINT_MAX));
        const unsigned room = stream_.avail_out;
        while (stream_.avail_out == room && room > 0) {
            Result<bool> more = input_.Refill();
            if (!more) return Fail(more.Failure());
            if (!*more) {
                if (betweenStreams_) return std::size_t(0);
                return Fail(Fault{EILSEQ, kTruncated});
            }
            if (betweenStreams_) {
                // Another stream may follow; anything else after the last one is damage.
                if (input_.Data()[0] != 'B')
                    return Fail(Fault{EILSEQ, "data after the last bzip2 stream"});
                char* const at = stream_.next_out;
                const unsigned left = stream_.avail_out;
                bzip2_.BZ2_bzDecompressEnd(&stream_);
                if (!Start()) return Fail(SystemFault(ENOMEM));
                stream_.next_out = at;
                stream_.avail_out = left;
            }
            stream_.next_in = const_cast<char*>(input_.Data());
            stream_.avail_in = unsigned(std::min<std::size_t>(input_.Size(), UINT_MAX));
            const unsigned offered = stream_.avail_in;
            const int rc = bzip2_.BZ2_bzDecompress(&stream_);
            input_.Take(offered - stream_.avail_in);
            betweenStreams_ = rc == BZ_STREAM_END;
            if (rc == BZ_MEM_ERROR) return Fail(SystemFault(ENOMEM));
            if (rc != BZ_OK && rc != BZ_STREAM_END)
                return Fail(Fault{EILSEQ, "damaged compressed data: bzip2 data is corrupt"});
        }
        return std::size_t(room - stream_.avail_out);
    }

  private:
    bool Start() {
        stream_ = bz_stream{};
        started_ = bzip2_.BZ2_bzDecompressInit(&stream_, 0, 0);
        return started_ == BZ_OK;
    }
    const Bzip2Library& bzip2_;
    bz_stream stream_{};
    int started_ = BZ_CONFIG_ERROR;
    bool betweenStreams_ = false;
};

}  // namespace

std::unique_ptr<ByteSource> NewBzip2Decoder(ByteSource& below) {
    return NewDecoderOver<Bzip2Decoder>(below, LoadBzip2Library());
}

}  // namespace kestrin::detail
