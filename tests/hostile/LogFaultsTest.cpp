// The log cannot be read, or not as an ordinary file: each run ends with one
// "ERROR!" that names the log, and no report.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "Processes.h"
#include "RecordingUi.h"
#include "input/FileSource.h"
#include "input/LineCutter.h"
#include "os/File.h"
#include "text/CodePage.h"
#include "text/CuttingRule.h"

#ifndef _WIN32
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

// Standard error on a terminal that runs `action` once, as the first progress bar
// is drawn: the run's own thread is then part of the way through a log of over 16
// MiB, or through its range of one, and has more of it to read.
class AtFirstBar : public StringSink {
  public:
    explicit AtFirstBar(std::function<void()> action) : action_(std::move(action)) {}

    void Write(std::string_view text) override {
        StringSink::Write(text);
        if (action_ && str().find("\r[") != std::string::npos) std::exchange(action_, {})();
    }

  private:
    std::function<void()> action_;
};

// A log is what it was when the run began. One that shrinks while it is read (as
// logrotate's copytruncate leaves it) fails, read on one thread or in ranges on
// two, cut to nothing or by its last byte only, compressed or archived, or on
// standard input, as does one shrunk or put in another's place before its turn
// comes; the previous report stays. One that grows is read as long as it was when
// opened.
TEST(LogFaults, ALogIsWhatItWasWhenTheRunBegan) {
    TempDir dir;
    std::string text;
    for (int i = 0; text.size() < (24 << 20); ++i)
        text += "GET http://h/" + std::to_string(i % 1000) + " HTTP/1.1 200\n";
    const std::string log = dir / "access.log", next = dir / "next.log", save = dir / "report.dat";
    const std::string big = KESTRIN_BIG_LOGS, previous = "previous report\r\n";
    const auto truncate = [](const std::string& path, std::uintmax_t size) {
        return [path, size] { std::filesystem::resize_file(Native(path), size); };
    };
    const std::string replaced = dir / "replaced.log";
    const auto replace = [&] { std::filesystem::rename(Native(replaced), Native(next)); };
    const auto grow = [&] { std::ofstream(Native(log), std::ios::app) << "http://grown/ x\n"; };
    const std::string shrank = "the log shrank while it was read";
    const struct {
        std::string from;  // the log's bytes: a big log's form, or the text above
        std::vector<std::string> args;
        std::function<void()> change;
        std::string failed, reason;    // the log that fails, and why; none: Complete
        bool onStandardInput = false;  // the log, given as "-"
    } cases[] = {
        {"", {"-j", "1", log}, truncate(log, 0), log, shrank},
        {"", {"-j", "1", log}, truncate(log, text.size() - 1), log, shrank},
        {"", {"-j", "2", log}, truncate(log, 0), log, shrank},
        {"big.log.gz", {log}, truncate(log, 0), log, shrank},
        {"big.zip", {log}, truncate(log, 0), log, "big.log: " + shrank},
        {"", {"-j", "1", log, next}, truncate(next, 5), next, shrank},
        {"", {"-j", "1", log, next}, replace, next, "the log was replaced since the run began"},
        {"", {"-j", "1", log}, grow, "", ""},
#ifndef _WIN32
        {"", {"-j", "1", "-"}, truncate(log, 0), "-", shrank, true},
#endif
    };
    // Ranges of 8 MiB: two of them, and the first bar in the middle of each.
    const RunRequest ranges{.minimumRange = 8 << 20};
    std::string unchanged;
    for (const auto& c : cases) {
        const std::string name = c.from + ::testing::PrintToString(c.args);
        // Written anew rather than copied over: the C++ library of the Windows build
        // refuses to copy over a file that is there, whatever it is told.
        WriteFile(log, c.from.empty() ? text : ReadFile(big + "/" + c.from));
        WriteFile(next, "http://next/ x\n");
        WriteFile(replaced, "http://replaced/ x\n");
        WriteFile(save, previous);
        AtFirstBar bar(c.change);
        StringSink out;
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-o", save});
        std::optional<InputFrom> input;
        if (c.onStandardInput) input.emplace(log);
        const int status = RunCommandLine(args, {out, bar, 80, false}, ranges);
        input.reset();
        if (c.failed.empty()) {
            EXPECT_EQ(status, 0) << name << bar.str().substr(bar.str().rfind('\r'));
            unchanged = ReadFile(save);
            WriteFile(log, text);
            EXPECT_EQ(CutHere({"-o", save, log}).status, 0);
            EXPECT_TRUE(unchanged == ReadFile(save)) << name << ": the added line is not read";
            continue;
        }
        EXPECT_EQ(status, 1) << name;
        EXPECT_TRUE(bar.str().ends_with(Refused("Can't File Read!", c.failed, c.reason)))
            << name << bar.str().substr(bar.str().rfind('\r'));
        EXPECT_EQ(ReadFile(save), previous) << name;
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
    EXPECT_EQ(
        std::tuple(unshared.status, unshared.out, unshared.err),
        std::tuple(1, "",
                   Refused("Can't File Read!", log, "the file is in use by another program")));
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
    EXPECT_EQ(result.err, Refused("Can't File Read!", log, "Permission denied"));
    EXPECT_FALSE(Exists(save));
    EXPECT_EQ(RunEngine({.logPaths = {"/proc/self/mem"}, .savePath = save}, true),
              Failed("Can't File Read!\r/proc/self/mem"));

    // A mapped page followed by an unmapped one: the first read returns the page,
    // the next fails, and the cutter must not take that for the end of the log.
    const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    char* mapped = static_cast<char*>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_EQ(munmap(mapped + page, page), 0);
    std::memset(mapped, '\n', page);
    Result<os::File> memory = os::File::OpenForReading("/proc/self/mem");
    ASSERT_TRUE(memory);
    const auto at = std::int64_t(std::uintptr_t(mapped));
    RangeSource source(*memory, {at, at + 2 * std::int64_t(page)});
    const CuttingRule rule(**CodePage::Shared("CP932"), u' ');
    LineCutter cutter(source, rule);
    while (cutter.Cut()) {
    }
    munmap(mapped, page);
    EXPECT_EQ(std::tuple(cutter.Failure().value_or(Fault{}).systemError, cutter.LinesCut()),
              std::tuple(EIO, std::uint64_t(page)));
}

#endif

}  // namespace
}  // namespace kestrin
