// The log cannot be read, or not as an ordinary file: each run ends with one
// "ERROR!" that names the log, and no report.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "Processes.h"
#include "RecordingUi.h"
#include "input/FileSource.h"
#include "input/LogReader.h"
#include "os/File.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#endif

namespace kestrin {
namespace {

using namespace testing;

// Hidden files are not logs: on POSIX systems those whose name begins with a dot,
// on Windows those with the attribute (which wine gives dot names too).
void Hide([[maybe_unused]] const std::string& path) {
#ifdef _WIN32
    SetFileAttributesW(Native(path).c_str(), FILE_ATTRIBUTE_HIDDEN);
#endif
}

TEST(LogFaults, OnlyAnOrdinaryFileWithAVisibleNameIsALog) {
    TempDir dir;
    std::filesystem::create_directory(dir / ".logs");
    for (const char* name : {".hidden.log", "plain.log", ".logs/visible.log"})
        WriteFile(dir / name, "http://a/ x\n");
    Hide(dir / ".hidden.log");
    std::vector<std::string> notLogs = {dir / "missing.log", dir / ".logs",
                                        dir / ".hidden.log", dir / ".logs/../.hidden.log",
                                        dir / "plain.log/",  dir / std::string(5000, 'x'),
                                        std::string()};
    std::vector<std::string> logs = {dir / ".logs/visible.log"};
#ifdef _WIN32
    notLogs.push_back("NUL");
#else
    mkfifo((dir / "fifo.log").c_str(), 0666);
    for (auto [target, name] : {std::pair{"missing.log", "dangling.log"},
                                {"loop.log", "loop.log"},
                                {".logs", "dir-link.log"},
                                {"plain.log", ".link"},
                                {".hidden.log", "link-to-hidden.log"}})
        symlink((dir / target).c_str(), (dir / name).c_str());
    notLogs.insert(notLogs.end(), {dir / "fifo.log" /* must not wait for a writer */, "/dev/zero",
                                   dir / "dangling.log", dir / "loop.log", dir / "dir-link.log",
                                   dir / ".link" /* the name given counts */});
    logs.push_back(dir / "link-to-hidden.log");
#endif
    const std::string save = dir / "report.txt";
    for (const std::string& logPath : notLogs) {
        EXPECT_EQ(RunEngine({.logPaths = {logPath}, .savePath = save}),
                  Failed("File Not Found!\r" + logPath));
        EXPECT_FALSE(Exists(save)) << logPath << ": no report file is made";
    }
    for (const std::string& logPath : logs) {
        EXPECT_EQ(RunEngine({.logPaths = {logPath}, .savePath = save}), Completed(save)) << logPath;
        EXPECT_EQ(ReadFile(save), "http://a/\t 1\r\n") << logPath;
    }
}

#ifdef _WIN32
// A log another program writes, as a server writes its log, is read whole while
// that program holds it open, sharing it for reading; one held without sharing at
// all is "Can't File Read!".
TEST(LogFaults, ALogAnotherProgramWritesIsReadUnlessItSharesNothing) {
    TempDir dir;
    const std::string log = dir / "access.log";
    WriteFile(log, "http://a/ x\n");
    HANDLE writer = CreateFileW(Native(log).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    DWORD wrote = 0;
    ASSERT_TRUE(::WriteFile(writer, "http://b/ y\n", 12, &wrote, nullptr));
    const CutResult shared = RunCut({log});
    CloseHandle(writer);
    EXPECT_EQ(std::tuple(shared.status, shared.out),
              std::tuple(0, "http://a/\t 1\r\nhttp://b/\t 1\r\n"))
        << shared.err;

    writer = CreateFileW(Native(log).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    const CutResult unshared = RunCut({log});
    CloseHandle(writer);
    EXPECT_EQ(std::tuple(unshared.status, unshared.out, unshared.err),
              std::tuple(1, "",
                         "ERROR!: Can't File Read!\n" + log +
                             "\nkestrin-cut: the file is in use by another program\n"));
}
#else
// /proc/self/mem is a regular file whose read at offset 0 fails with EIO, even for
// root. A file without read permission is read by an unprivileged kestrin-cut.
TEST(LogFaults, UnreadableLogIsCantFileRead) {
    TempDir dir;
    const std::string log = dir / "secret.log", save = dir / "report.txt";
    WriteFile(log, "http://a/ x\n");
    chmod(log.c_str(), 0000);
    const CutResult result = RunCut({log, "-o", save}, {.before = DropPrivileges});
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

#endif

}  // namespace
}  // namespace kestrin
