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

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

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
    std::string command = std::string(tool) + " -c -q " + dir / "in" + " > " + dir / "out";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadFile(dir / "out");
}

// The log's bytes as the source gives them, then how it ended: "<end after N>" with
// N the file's bytes consumed, or "<errno: reason>".
// How Drain writes a failure: "<errno: reason>".
std::string Failure(int error) {
    return std::string("<") + std::to_string(error) + ": ";
}

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
    return bytes + Failure(source->Error()) + source->Reason() + ">";
}

// The file through a pipe, its first bytes one at a time so the magic comes in pieces.
std::string DrainPipe(const std::string& file) {
    int ends[2];
    if (pipe(ends) != 0) return "<no pipe>";
    pid_t writer = fork();
    if (writer == 0) {
        close(ends[0]);
        for (std::size_t at = 0, part; at < file.size(); at += part) {
            part = at < 3 ? 1 : file.size() - at;
            if (write(ends[1], file.data() + at, part) != ssize_t(part)) _exit(1);
            usleep(at < 3 ? 2000 : 0);
        }
        _exit(0);
    }
    close(ends[1]);
    std::string result = Drain(ends[0]);
    int status = 0;
    waitpid(writer, &status, 0);
    EXPECT_EQ(status, 0);
    return result;
}

TEST(LogSource, EveryKindOfLogReadsAsItsPlainBytesFromAFileOrAPipe) {
    const std::string gzip = Compressed("gzip", kPlain), zstd = Compressed("zstd", kPlain);
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
        {"gzip", gzip, kPlain},
        {"gzip members", gzip + Compressed("gzip", "") + Compressed("gzip", kOther),
         kPlain + kOther},
        {"zstd frames", skippable + zstd + Compressed("zstd", kOther), kPlain + kOther},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / "log", c.file);
        const std::string expected = c.plain + "<end after " + std::to_string(c.file.size()) + ">";
        EXPECT_TRUE(Drain(open((dir / "log").c_str(), O_RDONLY)) == expected);
        EXPECT_TRUE(DrainPipe(c.file) == expected);
    }
}

TEST(LogSource, DamagedOrUnreadableLogsFail) {
    const std::string gzip = Compressed("gzip", kPlain), zstd = Compressed("zstd", kPlain);
    auto flipped = [](std::string bytes, std::size_t fromEnd) {
        bytes[bytes.size() - fromEnd] ^= 0x55;
        return bytes;
    };
    const std::string cut = Failure(EILSEQ) + "unexpected end of compressed data>";
    const struct {
        const char* name;
        std::string file;
        std::string failure;  // the end of what was read, where not empty
    } cases[] = {
        {"gzip cut in half", gzip.substr(0, gzip.size() / 2), cut},
        {"gzip without its length", gzip.substr(0, gzip.size() - 4), cut},
        {"gzip and garbage", gzip + "garbage", ""},
        {"gzip and half a header", gzip + "\x1f\x8b", cut},
        {"gzip with a wrong checksum", flipped(gzip, 6), ""},
        {"zstd cut in half", zstd.substr(0, zstd.size() / 2), cut},
        {"zstd without its checksum", zstd.substr(0, zstd.size() - 1), cut},
        {"zstd and garbage", zstd + "garbage!", ""},
        {"zstd with a wrong checksum", flipped(zstd, 2), ""},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / "log", c.file);
        std::string read = Drain(open((dir / "log").c_str(), O_RDONLY));
        // Whatever came before the failure is the log's own bytes.
        std::size_t failure = read.rfind('<');
        EXPECT_EQ(read.compare(0, failure, kPlain, 0, failure), 0);
        EXPECT_TRUE(read.substr(failure).starts_with(Failure(EILSEQ)));
        EXPECT_TRUE(c.failure.empty() || read.ends_with(c.failure)) << read.substr(failure);
    }
    std::string directory = Drain(open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY));
    EXPECT_TRUE(directory.starts_with(Failure(EISDIR))) << directory;
}

}  // namespace
}  // namespace kestrin
