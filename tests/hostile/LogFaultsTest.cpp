// The log cannot be read, or not as an ordinary file: each run ends with one
// "ERROR!" that names the log (and no report), or, when the log changes under the
// run, with a report of exactly what was read.

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

#include "HostileSupport.h"
#include "LogReader.h"

namespace kestrin::hostile {
namespace {

TEST(LogFaults, WhatIsNotAnOrdinaryFileIsFileNotFoundAndNothingIsCreated) {
    ScratchDir dir;
    WriteFile(dir / ".hidden.log", "http://a/ x\n");
    WriteFile(dir / "plain.log", "http://a/ x\n");
    mkdir((dir / "logs").c_str(), 0777);
    mkfifo((dir / "fifo.log").c_str(), 0666);
    symlink((dir / "missing.log").c_str(), (dir / "dangling.log").c_str());
    symlink((dir / "loop.log").c_str(), (dir / "loop.log").c_str());
    symlink((dir / "logs").c_str(), (dir / "dir-link.log").c_str());
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = dir / "socket.log";
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    const std::string save = dir / "report.txt";
    const std::string cases[] = {
        dir / "fifo.log",  // a FIFO with no writer: the run must not wait for one
        dir / "socket.log",
        "/dev/zero",  // endless: the run must not read it
        "/dev/null",
        dir / "dangling.log",
        dir / "loop.log",
        dir / "dir-link.log",
        dir / "logs/../.hidden.log",
        dir / "plain.log/",            // a trailing slash names a directory
        dir / std::string(5000, 'x'),  // a name longer than the system allows
        "",
    };
    for (const std::string& logPath : cases) {
        EXPECT_EQ(RunEngine(Request(logPath, save)), FailedWith("File Not Found!\r" + logPath))
            << logPath;
        EXPECT_FALSE(Exists(save)) << logPath << ": no report file is made";
    }
    close(listener);
}

TEST(LogFaults, UnreadableLogIsCantFileReadAndNoReportIsMade) {
    ScratchDir dir;
    const std::string log = dir / "secret.log";
    const std::string save = dir / "report.txt";
    WriteFile(log, "http://a/ x\n");
    chmod(log.c_str(), 0000);
    EXPECT_EQ(RunEngineUnprivileged(Request(log, save)), FailedWith("Can't File Read!\r" + log));
    EXPECT_FALSE(Exists(save));
}

// /proc/self/mem is a regular file whose read at offset 0 fails with EIO, even for
// root: a real read error, no seam needed.
TEST(LogFaults, ReadErrorIsCantFileReadNotComplete) {
    ScratchDir dir;
    const std::string save = dir / "report.txt";
    for (bool yes : {false, true}) {
        EXPECT_EQ(RunEngine(Request("/proc/self/mem", save), yes),
                  FailedWith("Can't File Read!\r/proc/self/mem"));
    }
    CutResult result = RunCut({"/proc/self/mem", save});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "ERROR!: Can't File Read!\n/proc/self/mem\n");
}

// The same file read from a mapped page that is followed by an unmapped one: the
// first read returns the page, the next fails. The reader hands out the lines it
// has and then stops with the error, without inventing a line.
TEST(LogFaults, ReaderStopsAtReadErrorInTheMiddleWithLinesIntact) {
    const long page = sysconf(_SC_PAGESIZE);
    void* mapped = mmap(nullptr, std::size_t(2 * page), PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    ASSERT_EQ(munmap(static_cast<char*>(mapped) + page, std::size_t(page)), 0);
    std::string text;
    while (text.size() + 16 <= std::size_t(page)) text += "http://ok/ line\n";
    text.resize(std::size_t(page) - 5, 'z');  // a last line the error cuts short
    std::memcpy(mapped, text.data(), text.size());
    std::memcpy(static_cast<char*>(mapped) + text.size(), "zzzzz", 5);
    text.append("zzzzz");

    int fd = open("/proc/self/mem", O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(lseek(fd, off_t(reinterpret_cast<std::uintptr_t>(mapped)), SEEK_SET),
              off_t(reinterpret_cast<std::uintptr_t>(mapped)));
    LogReader reader(fd);
    std::int64_t readPos = 1;
    std::string joined;
    while (true) {
        std::string_view line = ReadLogLine(reader, readPos);
        if (readPos <= 0) break;
        joined.append(line);
        joined.push_back('\n');
    }
    close(fd);
    munmap(mapped, std::size_t(page));
    EXPECT_EQ(reader.Error(), EIO);
    EXPECT_EQ(reader.BytesRead(), page);
    EXPECT_EQ(joined, text + "\n") << "every byte read is delivered, in its lines";
}

// A log truncated while the run reads it (as log rotation by copy and truncate
// does): the run completes with the tally of exactly the bytes it could read.
TEST(LogFaults, LogTruncatedDuringTheRunIsTalliedAsFarAsItWasRead) {
    ScratchDir dir;
    const std::string log = dir / "rotating.log";
    {
        std::ofstream out(log, std::ios::binary);
        std::string block;
        for (int i = 0; i < 1000; ++i)
            block += "GET http://host/" + std::to_string(i % 97) + " 200\n";
        while (out.tellp() < std::streamoff(48 << 20)) out << block;
    }
    const std::int64_t fullSize = std::int64_t(std::filesystem::file_size(log));
    const std::string original = ReadFile(log);

    struct Case {
        const char* name;
        bool toZero;  // else: to a line end well past what has been read
    } cases[] = {{"truncated to nothing", true}, {"truncated to a line end ahead", false}};
    for (const Case& c : cases) {
        WriteFile(log, original);
        const std::string save = dir / "report.txt";
        std::int64_t keptBytes = -1;
        UrlTable table;
        RecordingUi ui;
        ui.onProgress = [&](std::int64_t bytesRead, std::int64_t) {
            if (keptBytes >= 0) return;
            if (c.toZero) {
                keptBytes = bytesRead;  // already in the reader's hands
                truncate(log.c_str(), 0);
            } else {
                keptBytes =
                    std::int64_t(original.rfind('\n', std::size_t(bytesRead) + (8 << 20))) + 1;
                truncate(log.c_str(), keptBytes);
            }
        };
        CuttingRun(Request(log, save), ui, table);
        ASSERT_GT(keptBytes, 0) << c.name << ": the run reports progress";
        ASSERT_LT(keptBytes, fullSize) << c.name;
        EXPECT_EQ(ui.calls, Completed(save)) << c.name;

        const std::string prefix = dir / "prefix.log";
        const std::string prefixSave = dir / "prefix-report.txt";
        WriteFile(prefix, original.substr(0, std::size_t(keptBytes)));
        ASSERT_EQ(RunEngine(Request(prefix, prefixSave)), Completed(prefixSave));
        EXPECT_EQ(ReadFile(save), ReadFile(prefixSave)) << c.name;
    }
}

}  // namespace
}  // namespace kestrin::hostile
