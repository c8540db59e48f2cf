// The log cannot be read, or not as an ordinary file: each run ends with one
// "ERROR!" that names the log, and no report.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>

#include "Processes.h"
#include "RecordingUi.h"
#include "input/FileSource.h"
#include "input/LogReader.h"
#include "os/File.h"

namespace kestrin {
namespace {

using namespace testing;

TEST(LogFaults, OnlyAnOrdinaryFileWithAVisibleNameIsALog) {
    TempDir dir;
    for (const char* name : {".hidden.log", "plain.log", ".logs/visible.log"}) {
        mkdir((dir / ".logs").c_str(), 0777);
        WriteFile(dir / name, "http://a/ x\n");
    }
    mkfifo((dir / "fifo.log").c_str(), 0666);
    for (auto [target, name] : {std::pair{"missing.log", "dangling.log"},
                                {"loop.log", "loop.log"},
                                {".logs", "dir-link.log"},
                                {"plain.log", ".link"},
                                {".hidden.log", "link-to-hidden.log"}})
        symlink((dir / target).c_str(), (dir / name).c_str());

    const std::string save = dir / "report.txt";
    for (const std::string& logPath :
         {dir / "missing.log", dir / ".logs", dir / "fifo.log" /* must not wait for a writer */,
          std::string("/dev/zero"), dir / "dangling.log", dir / "loop.log", dir / "dir-link.log",
          dir / ".hidden.log", dir / ".link" /* the name given counts */,
          dir / ".logs/../.hidden.log", dir / "plain.log/", dir / std::string(5000, 'x'),
          std::string()}) {
        EXPECT_EQ(RunEngine({.logPaths = {logPath}, .savePath = save}),
                  Failed("File Not Found!\r" + logPath));
        EXPECT_FALSE(Exists(save)) << logPath << ": no report file is made";
    }
    for (const std::string& logPath : {dir / ".logs/visible.log", dir / "link-to-hidden.log"}) {
        EXPECT_EQ(RunEngine({.logPaths = {logPath}, .savePath = save}), Completed(save)) << logPath;
        EXPECT_EQ(ReadFile(save), "http://a/\t 1\r\n") << logPath;
    }
}

// /proc/self/mem is a regular file whose read at offset 0 fails with EIO, even for
// root. A file without read permission is read by an unprivileged kestrin-cut.
TEST(LogFaults, UnreadableLogIsCantFileRead) {
    TempDir dir;
    const std::string log = dir / "secret.log", save = dir / "report.txt";
    WriteFile(log, "http://a/ x\n");
    chmod(log.c_str(), 0000);
    const CutResult result = RunCut({log, "-o", save}, DropPrivileges);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "ERROR!: Can't File Read!\n" + log + "\nkestrin-cut: Permission denied\n");
    EXPECT_FALSE(Exists(save));
    EXPECT_EQ(RunEngine({.logPaths = {"/proc/self/mem"}, .savePath = save}, true),
              Failed("Can't File Read!\r/proc/self/mem"));

    // A mapped page followed by an unmapped one: the first read returns the page,
    // the next fails, and the reader must not take that for the end of the log.
    const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    char* mapped = static_cast<char*>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_EQ(munmap(mapped + page, page), 0);
    std::memset(mapped, '\n', page);
    Result<os::File> memory = os::File::OpenForReading("/proc/self/mem");
    ASSERT_TRUE(memory);
    const auto at = std::int64_t(std::uintptr_t(mapped));
    RangeSource source(*memory, {at, at + 2 * std::int64_t(page)});
    LogReader reader(source);
    std::size_t lines = 0;
    while (reader.NextLine()) ++lines;
    munmap(mapped, page);
    EXPECT_EQ(std::tuple(reader.Failure().value_or(Fault{}).systemError, lines),
              std::tuple(EIO, page));
}

}  // namespace
}  // namespace kestrin
