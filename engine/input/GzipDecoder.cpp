// gzip through zlib's streaming inflate, one member after another.

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string>

#include "input/CompressedInput.h"
#include "input/Decoders.h"

namespace kestrin::detail {
namespace {

class GzipDecoder : public Decoder {
  public:
    explicit GzipDecoder(ByteSource& below) : Decoder(below) {
        // 16 + the largest window: gzip members only, no raw deflate or zlib streams.
        started_ = inflateInit2(&stream_, 16 + MAX_WBITS);
    }
    ~GzipDecoder() override {
        if (started_ == Z_OK) inflateEnd(&stream_);
    }

    Result<std::size_t> Read(char* into, std::size_t size) override {
        if (failure_) return *failure_;
        if (started_ != Z_OK) return Fail(SystemFault(started_ == Z_MEM_ERROR ? ENOMEM : EINVAL));
        stream_.next_out = reinterpret_cast<Bytef*>(into);
        stream_.avail_out = uInt(std::min<std::size_t>(size, UINT_MAX));
        const uInt room = stream_.avail_out;
        while (stream_.avail_out == room && room > 0) {
            Result<bool> more = input_.Refill();
            if (!more) return Fail(more.Failure());
            // Between members the input may end; inside one it may not.
            if (!*more) {
                if (betweenMembers_) return std::size_t(0);
                return Fail(Fault{EILSEQ, kTruncated});
            }
            stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input_.Data()));
            stream_.avail_in = uInt(std::min<std::size_t>(input_.Size(), UINT_MAX));
            const uInt offered = stream_.avail_in;
            const int rc = inflate(&stream_, Z_NO_FLUSH);
            input_.Take(offered - stream_.avail_in);
            if (rc == Z_STREAM_END) {
                // Another member may follow; anything else after the last one is damage.
                inflateReset(&stream_);
                betweenMembers_ = true;
            } else if (rc == Z_OK || rc == Z_BUF_ERROR) {
                betweenMembers_ = betweenMembers_ && stream_.avail_in == offered;
            } else if (rc == Z_MEM_ERROR) {
                return Fail(SystemFault(ENOMEM));
            } else if (betweenMembers_) {
                return Fail(Fault{EILSEQ, "data after the last gzip member"});
            } else {
                return Fail(
                    Fault{EILSEQ, std::string("damaged compressed data: ") +
                                      (stream_.msg != nullptr ? stream_.msg : "inflate failed")});
            }
        }
        return std::size_t(room - stream_.avail_out);
    }

  private:
    z_stream stream_{};
    int started_ = Z_STREAM_ERROR;
    bool betweenMembers_ = false;  // the last member ended and no byte of another was read
};

}  // namespace

std::unique_ptr<ByteSource> NewGzipDecoder(ByteSource& below) {
    return std::make_unique<GzipDecoder>(below);
}

}  // namespace kestrin::detail
