// A 100 MB line without a terminator and a 100 MB run of NUL bytes: the run reads
// on to the true end of the log, reports exactly, and its peak memory is bounded
// by the longest line, not by the log. Peak memory is that of the kestrin-cut
// process, from the kernel's accounting (getrusage through wait4). Under the
// sanitizers the logs are smaller (see kSanitizerShrink).

#include <gtest/gtest.h>

#include "HostileSupport.h"

namespace kestrin::hostile {
namespace {

constexpr std::size_t kHuge = (100 << 20) / kSanitizerShrink;
constexpr long kMiB = 1024;  // in the kilobytes ru_maxrss counts

// Writes `count` copies of `byte` to `out` without holding them all in memory.
void WriteRun(std::ofstream& out, char byte, std::size_t count) {
    const std::string chunk(1 << 20, byte);
    for (; count >= chunk.size(); count -= chunk.size())
        out.write(chunk.data(), std::streamsize(chunk.size()));
    out.write(chunk.data(), std::streamsize(count));
}

// True when `path` holds `prefix`, then `count` bytes `byte`, then `suffix`.
bool HoldsRun(const std::string& path, const std::string& prefix, char byte, std::size_t count,
              const std::string& suffix) {
    std::ifstream in(path, std::ios::binary);
    std::string head(prefix.size(), '\0');
    if (!in.read(head.data(), std::streamsize(head.size())) || head != prefix) return false;
    std::string chunk(1 << 20, '\0');
    for (std::size_t left = count; left > 0;) {
        std::size_t part = std::min(left, chunk.size());
        if (!in.read(chunk.data(), std::streamsize(part))) return false;
        if (chunk.find_first_not_of(byte, 0) < part) return false;
        left -= part;
    }
    std::string tail((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return tail == suffix;
}

// The peak of kestrin-cut on a tiny log: what the program needs before any log.
long BaselinePeak(const ScratchDir& dir) {
    WriteFile(dir / "tiny.log", "http://tiny/\n");
    CutResult tiny = RunCut({dir / "tiny.log", dir / "tiny.txt"}, WithoutQuarantine);
    EXPECT_EQ(tiny.status, 0) << tiny.err;
    return tiny.peakKilobytes;
}

TEST(HugeInputs, HundredMegabyteLineWithoutTerminatorIsOneUrlInMemoryBoundedByTheLine) {
    ScratchDir dir;
    const long baseline = BaselinePeak(dir);
    const std::string log = dir / "huge-line.log";
    const std::string save = dir / "report.txt";
    {
        std::ofstream out(log, std::ios::binary);
        out << "GET http://first/ 200\r\nGET http://big/";
        WriteRun(out, 'x', kHuge);
    }
    CutResult result = RunCut({log, save}, WithoutQuarantine);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(HoldsRun(save, "http://big/", 'x', kHuge, "\t 1\r\nhttp://first/\t 1\r\n"));
    // The line is held once by the reader (whose buffer doubles) and once by the
    // table: four times the line is generous.
    EXPECT_LT(result.peakKilobytes - baseline, 4 * long(kHuge >> 10))
        << "peak " << result.peakKilobytes / kMiB << " MiB, baseline " << baseline / kMiB << " MiB";
}

TEST(HugeInputs, HundredMegabyteNulRunDoesNotEndTheLogAndNeedsNoMemory) {
    ScratchDir dir;
    const long baseline = BaselinePeak(dir);
    const std::string log = dir / "nul-run.log";
    const std::string save = dir / "report.txt";
    {
        std::ofstream out(log, std::ios::binary);
        out << "GET http://before/ 200\n";
        WriteRun(out, '\0', kHuge);
        out << "GET http://after/ 200\r\nGET http://before/ 304\n";
    }
    CutResult result = RunCut({log, save}, WithoutQuarantine);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ReadFile(save), "http://after/\t 1\r\nhttp://before/\t 2\r\n");
    // Each NUL is a line of its own: nothing grows with the run.
    EXPECT_LT(result.peakKilobytes - baseline, 32 * kMiB)
        << "peak " << result.peakKilobytes / kMiB << " MiB, baseline " << baseline / kMiB << " MiB";
}

}  // namespace
}  // namespace kestrin::hostile
