#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "input/ByteSource.h"

namespace kestrin {
namespace {

using namespace testing;

// Log lines that compress only a few times, so that a compressed log spans many
// of the source's input blocks.
std::string Lines(unsigned count, unsigned seed) {
    std::string text;
    for (unsigned i = 0; i < count; ++i, seed = seed * 1103515245u + 12345u)
        text += "GET http://example.com/" + std::to_string(seed) + "/" + std::to_string(i) + "\r\n";
    return text;
}

const std::string kPlain = Lines(60000, 1), kOther = Lines(20000, 2);

// `plain` compressed by the command line `tool` (gzip or zstd), as one member or frame.
std::string Compressed(const char* tool, const std::string& plain) {
    TempDir dir;
    WriteFile(dir / "in", plain);
    const std::string command = std::string(tool) + " -c -q " + dir / "in" + " > " + dir / "out";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadFile(dir / "out");
}

// The log's bytes as the source gives them, then how it ended: "<end after N>" with
// N the file's bytes consumed, or "<errno: reason>".
std::string Drain(int fd) {
    std::unique_ptr<ByteSource> source = OpenLogSource(fd);
    std::string bytes;
    std::vector<char> buffer(4093);
    std::int64_t got;
    while ((got = source->Read(buffer.data(), buffer.size())) > 0)
        bytes.append(buffer.data(), std::size_t(got));
    EXPECT_EQ(source->Read(buffer.data(), 1), got);  // once ended or failed, it stays so
    close(fd);
    if (got == 0) return bytes + "<end after " + std::to_string(source->Consumed()) + ">";
    return bytes + "<" + std::to_string(source->Error()) + ": " + source->Reason() + ">";
}

// The file through a pipe, its first bytes one at a time so the magic comes in pieces.
std::string DrainPipe(const std::string& file) {
    int ends[2];
    if (pipe(ends) != 0) return "<no pipe>";
    if (fork() == 0) {
        close(ends[0]);
        for (std::size_t at = 0, part; at < file.size(); at += part) {
            part = at < 3 ? 1 : file.size() - at;
            if (write(ends[1], file.data() + at, part) != ssize_t(part)) _exit(1);
            usleep(at < 3 ? 2000 : 0);
        }
        _exit(0);
    }
    close(ends[1]);
    const std::string result = Drain(ends[0]);
    wait(nullptr);
    return result;
}

TEST(LogSource, EveryKindOfLogReadsAsItsPlainBytesOrFails) {
    const std::string gzip = Compressed("gzip", kPlain), zstd = Compressed("zstd", kPlain);
    const std::string skippable(
        "\x50\x2a\x4d\x18\x03\x00\x00\x00"
        "abc",
        11);
    auto flipped = [](std::string bytes, std::size_t fromEnd) {
        bytes[bytes.size() - fromEnd] ^= 0x55;
        return bytes;
    };
    const std::string cut = "unexpected end of compressed data";
    const struct {
        const char* name;
        std::string file, plain;   // plain: what reads before the end, or the failure
        std::string failure = "";  // the end of the reason, where a failure
    } cases[] = {
        {"plain starting with 0x1f", "\x1fhttp://a\n\x1f\x8b", "\x1fhttp://a\n\x1f\x8b"},
        {"gzip magic without deflate", "\x1f\x8b\x07x", "\x1f\x8b\x07x"},
        {"empty", "", ""},
        {"gzip members", gzip + Compressed("gzip", "") + Compressed("gzip", kOther),
         kPlain + kOther},
        {"zstd frames", skippable + zstd + Compressed("zstd", kOther), kPlain + kOther},
        {"gzip cut in half", gzip.substr(0, gzip.size() / 2), kPlain, cut},
        {"gzip without its length", gzip.substr(0, gzip.size() - 4), kPlain, cut},
        {"gzip and garbage", gzip + "garbage", kPlain, ">"},
        {"gzip with a wrong checksum", flipped(gzip, 6), kPlain, ">"},
        {"zstd without its checksum", zstd.substr(0, zstd.size() - 1), kPlain, cut},
        {"zstd with a wrong checksum", flipped(zstd, 2), kPlain, ">"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / "log", c.file);
        const std::string read = Drain(open((dir / "log").c_str(), O_RDONLY));
        if (c.failure.empty()) {
            const std::string whole = c.plain + "<end after " + std::to_string(c.file.size()) + ">";
            EXPECT_TRUE(read == whole);
            EXPECT_TRUE(DrainPipe(c.file) == whole);
        } else {
            // Whatever came before the failure is the log's own bytes.
            const std::size_t end = read.rfind('<');
            EXPECT_EQ(read.compare(0, end, c.plain, 0, end), 0);
            EXPECT_TRUE(read.substr(end).starts_with(std::string("<") + std::to_string(EILSEQ)));
            EXPECT_TRUE(read.ends_with(c.failure + ">") || c.failure == ">") << read.substr(end);
        }
    }
}

}  // namespace
}  // namespace kestrin
