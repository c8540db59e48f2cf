// The log cannot be read, or not as an ordinary file: each run ends with one
// "ERROR!" that names the log (and no report), or, when the log changes under the
// run, with a report of exactly what was read.

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

#include "input/LogReader.h"
#include "Processes.h"
#include "RecordingUi.h"

namespace kestrin {
namespace {

using namespace testing;

TEST(LogFaults, OnlyAnOrdinaryFileWithAVisibleNameIsALog) {
    TempDir dir;
    const std::string log = "http://a/ x\n";
    WriteFile(dir / ".hidden.log", log);
    WriteFile(dir / "plain.log", log);
    mkdir((dir / ".logs").c_str(), 0777);
    WriteFile(dir / ".logs/visible.log", log);
    mkfifo((dir / "fifo.log").c_str(), 0666);
    symlink((dir / "missing.log").c_str(), (dir / "dangling.log").c_str());
    symlink((dir / "loop.log").c_str(), (dir / "loop.log").c_str());
    symlink((dir / ".logs").c_str(), (dir / "dir-link.log").c_str());
    symlink((dir / "plain.log").c_str(), (dir / ".link").c_str());
    symlink((dir / ".hidden.log").c_str(), (dir / "link-to-hidden.log").c_str());
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    (dir / "socket.log").copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    const std::string save = dir / "report.txt";
    const std::string notFound[] = {
        dir / "missing.log",
        dir / ".logs",
        dir / "fifo.log",  // a FIFO with no writer: the run must not wait for one
        dir / "socket.log",
        "/dev/zero",  // endless: the run must not read it
        "/dev/null",
        dir / "dangling.log",
        dir / "loop.log",
        dir / "dir-link.log",
        dir / ".hidden.log",
        dir / ".link",  // hidden is the name given, not the link target's
        dir / ".logs/../.hidden.log",
        dir / "plain.log/",            // a trailing slash names a directory
        dir / std::string(5000, 'x'),  // a name longer than the system allows
        "",
    };
    for (const std::string& logPath : notFound) {
        EXPECT_EQ(RunEngine({.logPath = logPath, .savePath = save}),
                  Failed("File Not Found!\r" + logPath))
            << logPath;
        EXPECT_FALSE(Exists(save)) << logPath << ": no report file is made";
    }
    close(listener);
    for (const std::string& logPath : {dir / ".logs/visible.log", dir / "link-to-hidden.log"}) {
        EXPECT_EQ(RunEngine({.logPath = logPath, .savePath = save}), Completed(save)) << logPath;
        EXPECT_EQ(ReadFile(save), "http://a/\t 1\r\n") << logPath;
    }
}

// /proc/self/mem is a regular file whose read at offset 0 fails with EIO, even for
// root: a real read error, no seam needed. A file without read permission is
// read by an unprivileged kestrin-cut, since root may read anything.
TEST(LogFaults, UnreadableLogIsCantFileRead) {
    TempDir dir;
    const std::string log = dir / "secret.log", save = dir / "report.txt";
    WriteFile(log, "http://a/ x\n");
    chmod(log.c_str(), 0000);
    CutResult result = RunCut({log, save}, DropPrivileges);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "ERROR!: Can't File Read!\n" + log + "\n");
    EXPECT_FALSE(Exists(save));
    for (bool yes : {false, true}) {
        EXPECT_EQ(RunEngine({.logPath = "/proc/self/mem", .savePath = save}, yes),
                  Failed("Can't File Read!\r/proc/self/mem"));
    }
}

// The same file read from a mapped page followed by an unmapped one: the first
// read returns the page, the next fails. The reader must stop with the error, not
// take it for the end of the log.
TEST(LogFaults, ReadErrorAfterTheFirstReadIsAnError) {
    const long page = sysconf(_SC_PAGESIZE);
    char* mapped = static_cast<char*>(mmap(nullptr, std::size_t(2 * page), PROT_READ | PROT_WRITE,
                                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(mapped, MAP_FAILED);
    ASSERT_EQ(munmap(mapped + page, std::size_t(page)), 0);
    std::memset(mapped, '\n', std::size_t(page));
    int fd = open("/proc/self/mem", O_RDONLY);
    ASSERT_EQ(lseek(fd, off_t(std::uintptr_t(mapped)), SEEK_SET), off_t(std::uintptr_t(mapped)));
    LogReader reader(fd);
    std::int64_t lines = 0;
    while (reader.NextLine()) ++lines;
    close(fd);
    munmap(mapped, std::size_t(page));
    EXPECT_EQ(reader.Error(), EIO);
    EXPECT_EQ(reader.BytesRead(), page);
    EXPECT_EQ(lines, page) << "every line read is delivered";
}

// A log truncated while the run reads it (as log rotation by copy and truncate
// does): the run completes with the tally of exactly the bytes it could read.
TEST(LogFaults, LogTruncatedDuringTheRunIsTalliedAsFarAsItWasRead) {
    TempDir dir;
    const std::string log = dir / "rotating.log", save = dir / "report.txt";
    std::string original, block;
    for (int i = 0; i < 1000; ++i) block += "GET http://host/" + std::to_string(i % 97) + " 200\n";
    while (original.size() < (48 << 20)) original += block;
    for (bool toNothing : {true, false}) {
        WriteFile(log, original);
        std::int64_t kept = -1;
        RecordingUi ui;
        ui.onProgress = [&](std::int64_t bytesRead, std::int64_t) {
            if (kept >= 0) return;
            // To nothing (what the reader holds stays read), or to a line end ahead.
            const std::size_t ahead = original.rfind('\n', std::size_t(bytesRead) + (8 << 20)) + 1;
            kept = toNothing ? bytesRead : std::int64_t(ahead);
            truncate(log.c_str(), toNothing ? 0 : off_t(ahead));
        };
        RunEngine({.logPath = log, .savePath = save}, ui);
        ASSERT_GT(kept, 0) << toNothing << ": the run reports progress";
        ASSERT_LT(kept, std::int64_t(original.size())) << toNothing;
        EXPECT_EQ(ui.calls, Completed(save)) << toNothing;

        const std::string prefix = dir / "prefix.log", prefixSave = dir / "prefix-report.txt";
        WriteFile(prefix, original.substr(0, std::size_t(kept)));
        ASSERT_EQ(RunEngine({.logPath = prefix, .savePath = prefixSave}), Completed(prefixSave));
        EXPECT_TRUE(ReadFile(save) == ReadFile(prefixSave))
            << "truncated to nothing: " << toNothing;
    }
}

}  // namespace
}  // namespace kestrin
