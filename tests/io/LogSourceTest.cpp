#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "input/ByteSource.h"

namespace kestrin {
namespace {

using testing::TempDir;
using testing::WriteFile;

// Log lines that compress only a few times, so that a compressed log spans many
// of the source's input blocks.
std::string Lines(std::size_t count, unsigned seed) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        text += "GET http://example.com/" + std::to_string(seed) + "/" +
                std::to_string(seed % 977) + " \"Mozilla\"\r\n";
    }
    return text;
}

std::string Gzip(std::string_view plain) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, uLong(plain.size())) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    z.avail_in = uInt(plain.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string Zstd(std::string_view plain) {
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
    std::string out(ZSTD_compressBound(plain.size()), '\0');
    std::size_t size = ZSTD_compress2(context, out.data(), out.size(), plain.data(), plain.size());
    ZSTD_freeCCtx(context);
    EXPECT_FALSE(ZSTD_isError(size));
    out.resize(size);
    return out;
}

struct Drained {
    std::string bytes;
    std::int64_t last = 0;  // what the final Read returned
};

Drained Drain(ByteSource& source, std::size_t chunk = 4093) {
    Drained result;
    std::vector<char> buffer(chunk);
    while ((result.last = source.Read(buffer.data(), buffer.size())) > 0)
        result.bytes.append(buffer.data(), std::size_t(result.last));
    return result;
}

const std::string kPlain = Lines(60000, 1), kOther = Lines(20000, 2);

TEST(LogSource, EveryKindOfLogReadsAsItsPlainBytes) {
    const std::string skippable(
        "\x50\x2a\x4d\x18\x03\x00\x00\x00"
        "abc",
        11);
    const struct {
        const char* name;
        std::string file, plain;
    } cases[] = {
        {"plain", kPlain, kPlain},
        {"plain starting with 0x1f", "\x1fhttp://a\n\x1f\x8b", "\x1fhttp://a\n\x1f\x8b"},
        {"gzip magic without deflate", "\x1f\x8b\x07x", "\x1f\x8b\x07x"},
        {"one byte", "\x1f", "\x1f"},
        {"empty", "", ""},
        {"gzip", Gzip(kPlain), kPlain},
        {"gzip members", Gzip(kPlain) + Gzip("") + Gzip(kOther), kPlain + kOther},
        {"zstd frames", skippable + Zstd(kPlain) + Zstd(kOther), kPlain + kOther},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / "log", c.file);
        int fd = open((dir / "log").c_str(), O_RDONLY);
        std::unique_ptr<ByteSource> source = OpenLogSource(fd);
        Drained read = Drain(*source);
        EXPECT_EQ(read.last, 0);
        EXPECT_EQ(read.bytes, c.plain);
        EXPECT_EQ(source->Error(), 0) << source->Reason();
        EXPECT_EQ(source->Consumed(), std::int64_t(c.file.size()));
        char byte;
        EXPECT_EQ(source->Read(&byte, 1), 0);
        close(fd);
    }
}

TEST(LogSource, PipesReadLikeFiles) {
    for (const std::string& file : {Gzip(kPlain) + Gzip(kOther), std::string("\x1f\x8bxy\n")}) {
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        pid_t writer = fork();
        if (writer == 0) {
            // A byte at a time at first, so the magic arrives in pieces.
            close(ends[0]);
            std::size_t at = 0;
            for (; at < 3 && at < file.size(); ++at) {
                if (write(ends[1], file.data() + at, 1) != 1) _exit(1);
                usleep(2000);
            }
            for (ssize_t wrote; at < file.size(); at += std::size_t(wrote))
                if ((wrote = write(ends[1], file.data() + at, file.size() - at)) <= 0) _exit(1);
            _exit(0);
        }
        close(ends[1]);
        std::unique_ptr<ByteSource> source = OpenLogSource(ends[0]);
        Drained read = Drain(*source, 1 << 20);
        EXPECT_EQ(read.last, 0);
        EXPECT_EQ(read.bytes, file.size() > 10 ? kPlain + kOther : file);
        close(ends[0]);
        int status = 0;
        waitpid(writer, &status, 0);
        EXPECT_EQ(status, 0);
    }
}

TEST(LogSource, DamagedOrUnreadableLogsFail) {
    const std::string gzip = Gzip(kPlain), zstd = Zstd(kPlain);
    auto flipped = [](std::string bytes, std::size_t fromEnd) {
        bytes[bytes.size() - fromEnd] ^= 0x55;
        return bytes;
    };
    const std::string truncated = "unexpected end of compressed data";
    const struct {
        const char* name;
        std::string file;
        std::string reason;  // expected exactly where not empty
    } cases[] = {
        {"gzip cut in half", gzip.substr(0, gzip.size() / 2), truncated},
        {"gzip without its length", gzip.substr(0, gzip.size() - 4), truncated},
        {"gzip and garbage", gzip + "garbage", ""},
        {"gzip and half a header", gzip + "\x1f\x8b", truncated},
        {"gzip with a wrong checksum", flipped(gzip, 6), ""},
        {"zstd cut in half", zstd.substr(0, zstd.size() / 2), truncated},
        {"zstd without its checksum", zstd.substr(0, zstd.size() - 1), truncated},
        {"zstd and garbage", zstd + "garbage!", ""},
        {"zstd with a wrong checksum", flipped(zstd, 2), ""},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / "log", c.file);
        int fd = open((dir / "log").c_str(), O_RDONLY);
        std::unique_ptr<ByteSource> source = OpenLogSource(fd);
        Drained read = Drain(*source);
        EXPECT_EQ(read.last, -1);
        EXPECT_EQ(source->Error(), EILSEQ);
        EXPECT_FALSE(source->Reason().empty());
        if (!c.reason.empty()) {
            EXPECT_EQ(source->Reason(), c.reason);
        }
        // Whatever came out before the failure is the log's own bytes.
        EXPECT_EQ(read.bytes, kPlain.substr(0, read.bytes.size()));
        char byte;
        EXPECT_EQ(source->Read(&byte, 1), -1);
        close(fd);
    }
    int directory = open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
    std::unique_ptr<ByteSource> source = OpenLogSource(directory);
    EXPECT_EQ(Drain(*source).last, -1);
    EXPECT_EQ(source->Error(), EISDIR);
    close(directory);
}

}  // namespace
}  // namespace kestrin
