// A 100 MB line without a terminator and a 100 MB run of NUL bytes: the run reads
// on to the true end of the log, reports exactly, and its peak memory is bounded
// by the longest line, not by the log. Peak memory is that of the kestrin-cut
// process, from the kernel's accounting. Under the sanitizers the logs are smaller.

#include <gtest/gtest.h>

#include <algorithm>

#include "Processes.h"

namespace kestrin {
namespace {

using namespace testing;

constexpr std::size_t kHuge = (100 << 20) / kSanitizerShrink;
constexpr long kMiB = 1024;  // in the kilobytes ru_maxrss counts

// Writes `count` copies of `byte` to `out` without holding them all in memory.
void WriteRun(std::ofstream& out, char byte, std::size_t count) {
    const std::string chunk(1 << 20, byte);
    for (; count >= chunk.size(); count -= chunk.size())
        out.write(chunk.data(), std::streamsize(chunk.size()));
    out.write(chunk.data(), std::streamsize(count));
}

// True when `path` holds `head`, then `count` bytes `byte`, then `tail`.
bool HoldsRun(const std::string& path, const std::string& head, char byte, std::size_t count,
              const std::string& tail) {
    std::ifstream in(path, std::ios::binary);
    std::string chunk(std::max<std::size_t>(head.size(), 1 << 20), '\0');
    if (!in.read(chunk.data(), std::streamsize(head.size())) || chunk.compare(0, head.size(), head))
        return false;
    for (std::size_t left = count, part; left > 0; left -= part) {
        part = std::min(left, chunk.size());
        if (!in.read(chunk.data(), std::streamsize(part))) return false;
        if (chunk.find_first_not_of(byte, 0) < part) return false;
    }
    return std::string(std::istreambuf_iterator<char>(in), {}) == tail;
}

TEST(HugeInputs, HugeLinesAndNulRunsAreReadToTheEndInMemoryBoundedByTheLine) {
    struct Case {
        const char* name;
        std::string logHead;
        char byte;  // kHuge of them follow logHead
        std::string logTail;
        std::string reportHead;
        std::size_t reportRun;  // bytes `byte` after reportHead
        std::string reportTail;
        long maxGrowthKiB;
    };
    const Case cases[] = {
        // The line is held once by the reader (whose buffer doubles) and once by
        // the table: four times the line is generous.
        {"line without terminator", "GET http://first/ 200\r\nGET http://big/", 'x', "",
         "http://big/", kHuge, "\t 1\r\nhttp://first/\t 1\r\n", 4 * long(kHuge >> 10)},
        // Each NUL is a line of its own: nothing grows with the run.
        {"NUL run", "GET http://before/ 200\n", '\0',
         "GET http://after/ 200\r\nGET http://before/ 304\n",
         "http://after/\t 1\r\nhttp://before/\t 2\r\n", 0, "", 32 * kMiB},
    };
    TempDir dir;
    const std::string log = dir / "huge.log", save = dir / "report.txt";
    // What the program needs before any log.
    WriteFile(dir / "tiny.log", "http://tiny/\n");
    const CutResult tiny = RunCut({dir / "tiny.log", dir / "tiny.txt"}, WithoutQuarantine);
    ASSERT_EQ(tiny.status, 0) << tiny.err;
    for (const Case& c : cases) {
        {
            std::ofstream out(log, std::ios::binary);
            out << c.logHead;
            WriteRun(out, c.byte, kHuge);
            out << c.logTail;
        }
        const CutResult result = RunCut({log, save}, WithoutQuarantine);
        EXPECT_EQ(result.status, 0) << c.name << ": " << result.err;
        EXPECT_TRUE(HoldsRun(save, c.reportHead, c.byte, c.reportRun, c.reportTail)) << c.name;
        EXPECT_LT(result.peakKilobytes - tiny.peakKilobytes, c.maxGrowthKiB)
            << c.name << ": peak " << result.peakKilobytes / kMiB << " MiB, baseline "
            << tiny.peakKilobytes / kMiB << " MiB";
    }
}

}  // namespace
}  // namespace kestrin
