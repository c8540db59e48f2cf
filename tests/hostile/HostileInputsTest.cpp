// Big inputs: a million distinct URLs read in ranges on several threads, on as many
// threads as the system allows, and logs of over 32 MiB in every compressed form
// and archive; each reported byte for byte as expected. Fewer URLs under the
// sanitizers, whose ranges are made small instead so that the threads still run.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Processes.h"
#include "RecordingUi.h"
#include "input/FileSource.h"
#include "os/File.h"
#include "os/Processors.h"

#ifdef _WIN32
#include <tlhelp32.h>
#else
#include <sys/resource.h>
#endif

namespace kestrin {
namespace {

using namespace testing;

std::string Entry(const std::string& url, std::uint64_t count) {
    return url + "\t " + std::to_string(count) + "\r\n";
}

// The threads of this process now.
std::size_t Threads() {
#ifdef _WIN32
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    std::size_t threads = 0;
    for (BOOL more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread))
        threads += thread.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return threads;
#else
    return std::size_t(std::distance(std::filesystem::directory_iterator("/proc/self/task"), {}));
#endif
}

TEST(HostileInputs, AMillionDistinctUrlsInRangesAreAllListedAndRankedLikeTheSelectionSort) {
    constexpr int kUrls = 1000000 / int(kSanitizerShrink), kLast = kUrls - 1;
    auto url = [](int number) {
        char text[32];
        std::snprintf(text, sizeof text, "http://h/%07d", number);
        return std::string(text);
    };
    // Every URL once, scrambled by a factor prime to the count (the product passes
    // 32 bits, which Windows' long has), then two again.
    std::string text;
    for (std::int64_t i = 0; i < kUrls; ++i)
        text += "GET " + url(int(i * 7919 % kUrls)) + " HTTP/1.1 200\n";
    for (int again : {7, kLast, 7}) text += url(again) + "\n";
    TempDir dir;
    const std::string log = dir / "million.log", save = dir / "report.txt";
    WriteFile(log, text);
    auto countOf = [kLast](int number) { return number == 7 ? 3 : number == kLast ? 2 : 1; };
    std::string listing, ranked;
    for (int i = 0; i < kUrls; ++i) {
        listing += Entry(url(i), countOf(i));
        // The selection sort swaps 7 into place 0 (0 goes to 7) and the last into
        // place 1 (1 goes last); equal counts then stay where they are.
        const int at = i == 0 ? 7 : i == 7 ? 0 : i == 1 ? kLast : i == kLast ? 1 : i;
        ranked += Entry(url(at), countOf(at));
    }
    const std::string lines = std::to_string(kUrls + 3);
    const std::string summary = "kestrin-cut: " + lines + " lines, " + lines + " with a URL, " +
                                std::to_string(kUrls) + " distinct URLs\n";
    // Ranges, one a thread, merged, lines counted; then, where the system can be
    // told to, with no thread to be had (one process for the user, this one), all
    // on the calling thread.
    // Ranges of 1 MiB, so that a log of a few megabytes is read on several threads.
    std::vector<Launch> launches{{.rangeBytes = 1 << 20}};
#ifndef _WIN32
    launches.push_back({.rangeBytes = 1 << 20, .before = [] {
                            // The leak checker needs a thread of its own at the end.
                            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
                            DropPrivileges();
                            const rlimit one{1, 1};
                            setrlimit(RLIMIT_NPROC, &one);
                        }});
#endif
    for (const Launch& launch : launches) {
        std::remove(save.c_str());
        const CutResult cut = RunCut({"--ranked", "-j", "3", "-o", save, log}, launch);
        EXPECT_TRUE(cut.err.ends_with(summary)) << cut.err;
        EXPECT_TRUE(ReadFile(save) == listing + kBanner + ranked);
    }
}

// Threads beyond the processors are not started, however many are asked for, and
// one job is one thread, for compressed logs too.
TEST(HostileInputs, NoMoreThreadsThanProcessors) {
    TempDir dir;
    std::string text;
    for (int i = 0; text.size() < (40 << 20); ++i)
        text += "GET http://h/" + std::to_string(i % 5000) + " HTTP/1.1 200\n";
    WriteFile(dir / "access.log", text);
    // Counted beside those the process has already, before it started any: a
    // thread joined may linger in the count for a moment. ThreadSanitizer starts
    // one of its own with the first thread the program starts.
#if defined(__SANITIZE_THREAD__)
    constexpr std::size_t kSanitizerThreads = 1;
#else
    constexpr std::size_t kSanitizerThreads = 0;
#endif
    const std::size_t before = Threads();
    // The most threads the run had as it told its progress, `sanitizer` of them
    // the sanitizer's.
    const auto mostThreads = [&](std::vector<std::string> logs, std::size_t jobs,
                                 std::size_t sanitizer) {
        RecordingUi ui;
        std::size_t most = 0;
        ui.onProgress = [&](const RunProgress&) {
            most = std::max(most, Threads() + 1 - before - sanitizer);
        };
        RunEngine({.logPaths = std::move(logs),
                   .savePath = dir / "report.txt",
                   .jobs = jobs,
                   .minimumRange = 1 << 20},
                  ui);
        EXPECT_EQ(ui.calls, Completed(dir / "report.txt"));
        return most;
    };
    // One job starts no thread, not even the sanitizer's: it goes first.
    EXPECT_EQ(mostThreads({KESTRIN_BIG_LOGS "/big.log.gz"}, 1, 0), 1u);
    const std::size_t most = mostThreads({dir / "access.log"}, 9999, kSanitizerThreads);
    EXPECT_GE(most, std::min<std::size_t>(2, os::UsableProcessors()));
    EXPECT_LE(most, os::UsableProcessors());
}

// Logs whose every compressed form is over 32 MiB (made once by make_big_logs.sh):
// each form, and each archive of the log, gives the plain log's report.
TEST(HostileInputs, BigCompressedLogsGiveThePlainLogsReport) {
    const std::string big = KESTRIN_BIG_LOGS;
    const CutResult plain = RunCut({"--ranked", big + "/big.log"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_GT(plain.out.size(), 100000u) << plain.err;
    for (const char* form : {"big.log.gz", "big.log.zst", "big.log.xz", "big.log.bz2",
                             "big.log.lz4", "big.zip", "big.tar.gz"}) {
        const CutResult cut = RunCut({"--ranked", big + "/" + form});
        EXPECT_EQ(cut.err, plain.err) << form;
        EXPECT_TRUE(cut.out == plain.out) << form;
    }
}

// A big gzip log decompressed on a thread beside its tally: a member damaged in its
// middle fails the run in the words and with the outcome of one thread, whatever
// was read before it; a member whose length or CRC is wrong is named so; members
// one after another read as one log; and a stop while it is read ends both
// threads, saves nothing and tells no message.
TEST(HostileInputs, AGzipLogReadAheadFailsAndStopsAsOnOneThread) {
    TempDir dir;
    const std::string big = ReadFile(KESTRIN_BIG_LOGS "/big.log.gz"), log = dir / "big.log.gz";
    const std::string member = ReadFile(KESTRIN_TEST_LOGS "/access.log.gz");
    const std::string tail = member.substr(member.size() - 8);
    const auto damaged = [&](std::size_t at) {
        std::string bad = member;
        bad[bad.size() - 8 + at] ^= 0x01;
        return bad;
    };
    const std::string failed =
        "ERROR!: Can't File Read!\n" + log + "\nkestrin-cut: damaged compressed data: ";
    for (const auto& [bad, reason] : {std::pair{damaged(0), "incorrect data check"},
                                      std::pair{damaged(4), "incorrect length check"}}) {
        WriteFile(log, big + bad + big);
        const CutResult ahead = RunCut({log}), alone = RunCut({"--jobs", "1", log});
        EXPECT_EQ(ahead.status, 1) << reason;
        EXPECT_EQ(ahead.out, "") << reason;
        EXPECT_TRUE(ahead.err.ends_with(failed + reason + "\n")) << ahead.err;
        EXPECT_EQ(ahead.err, alone.err) << reason;
    }
    WriteFile(log, big + member + big);
    const CutResult whole = RunCut({"--ranked", log});
    const CutResult parts =
        RunCut({"--ranked", KESTRIN_BIG_LOGS "/big.log.gz", KESTRIN_TEST_LOGS "/access.log.gz",
                KESTRIN_BIG_LOGS "/big.log.gz"});
    EXPECT_EQ(whole.status, 0) << whole.err;
    EXPECT_TRUE(whole.out == parts.out && whole.out.size() > 100000u);

    const std::string save = dir / "report.dat";
    WriteFile(save, "previous report\r\n");
    std::atomic<bool> stop = false;
    double told = 0;  // of the reading, once the stop is asked for
    RecordingUi ui;
    ui.onProgress = [&](const RunProgress& progress) {
        if (stop) told = std::max(told, progress.phaseFraction);
        if (progress.phaseFraction > 0) stop = true;
    };
    RunEngine({.logPaths = {log}, .savePath = save, .stop = &stop, .jobs = 2}, ui);
    EXPECT_TRUE(stop);
    EXPECT_LT(told, 0.5);
    EXPECT_EQ(ui.messages.size(), 0u);
    EXPECT_EQ(ReadFile(save), "previous report\r\n");
}

// Streamed logs read at once on two threads, a big one between small ones: a small
// log read after the big one began is merged after it all the same, so that a URL
// is shown in the spelling its first line had, here the big log's last line, and
// the report is that of one thread.
TEST(HostileInputs, LogsReadAtOnceAreMergedInTheirOrder) {
    TempDir dir;
    std::string big;
    for (int i = 0; big.size() < (40 << 20); ++i)
        big += "GET http://h/" + std::to_string(i % 5000) + " HTTP/1.1 200\n";
    // Two spellings of one character in code page 932.
    WriteFile(dir / "first.log", "GET http://first/ x\n");
    WriteFile(dir / "big.log", big + "GET http://u/\x87\x90 x\n");
    WriteFile(dir / "small.log", "GET http://u/\x81\xe0 x\n");
    std::vector<std::string> logs = {dir / "first.log", dir / "big.log", dir / "small.log"};
    // Logs past a batch, each counted in the tally of a log merged before it, and
    // beginning as the big log does: what that tally held must not count again.
    for (const char* name : {"a.log", "b.log", "c.log", "d.log"}) {
        WriteFile(dir / name, big.substr(0, 2000) + "GET http://" + name + "/ x\n");
        logs.push_back(dir / name);
    }
    std::string reports[2];
    for (std::size_t jobs : {1u, 2u}) {
        const std::string save = dir / ("report-" + std::to_string(jobs) + ".dat");
        RecordingUi ui;
        // Ranges no log reaches: every log is read as a stream, one a thread.
        RunEngine({.logPaths = logs, .savePath = save, .jobs = jobs, .minimumRange = 1 << 30}, ui);
        EXPECT_EQ(ui.calls, Completed(save)) << jobs;
        reports[jobs - 1] = ReadFile(save);
    }
    EXPECT_TRUE(reports[0].ends_with("http://u/\x87\x90\t 2\r\n")) << reports[0].substr(0, 200);
    EXPECT_TRUE(reports[1] == reports[0]);
}

// A log of which one half takes far longer to tally than the other (a new URL a
// line, against lines of blanks): the thread done with the quick half takes over
// what is left of the slow one, part after part, down to ranges of 64 KiB, and
// each URL keeps the spelling that came first, wherever the parts were cut and
// however late a part was taken over.
TEST(HostileInputs, ARangeLeftBehindIsTakenOverInParts) {
    TempDir dir;
    // An end given away is never one asked for already, nor one past the range.
    WriteFile(dir / "lines.log", std::string(100, '\n'));
    Result<os::File> file = os::File::OpenForReading(dir / "lines.log");
    ASSERT_TRUE(file);
    RangeSource source(*file, {0, 100});
    char bytes[100];
    const auto read = [&](std::size_t size) {
        Result<std::size_t> got = source.Read(bytes, size);
        return got ? *got : 999;
    };
    ASSERT_EQ(read(30), 30u);
    EXPECT_FALSE(source.GiveAwayFrom(29) || source.GiveAwayFrom(100));
    const std::optional<LogRange> rest = source.GiveAwayFrom(60);
    ASSERT_TRUE(rest);
    EXPECT_EQ(std::pair(rest->begin, rest->end), std::pair(std::int64_t(60), std::int64_t(100)));
    EXPECT_EQ(read(100), 30u);
    EXPECT_EQ(read(100), 0u);

    // Each URL in one spelling of a character of code page 932, then in the other
    // one further on.
    constexpr int kUrls = int(300000 / kSanitizerShrink), kFurther = kUrls / 16;
    const auto line = [](int number, const char* spelling) {
        return "GET http://h/" + std::to_string(number) + spelling + " x\n";
    };
    std::string slow;
    for (int i = 0; i < kUrls + kFurther; ++i) {
        if (i < kUrls) slow += line(i, "\x87\x90");
        if (i >= kFurther) slow += line(i - kFurther, "\x81\xe0");
    }
    // The quick half: blanks, and now and then one of the URLs, spelt the second way
    // when the quick half comes second and the first way when it comes first, so that
    // the first way always comes first in the log.
    for (const bool slowFirst : {true, false}) {
        std::string quick;
        for (int i = 0; quick.size() < slow.size(); i = (i + 97) % kUrls)
            quick += std::string(999, ' ') + "\n" + line(i, slowFirst ? "\x81\xe0" : "\x87\x90");
        WriteFile(dir / "access.log", slowFirst ? slow + quick : quick + slow);
        const CutResult one = RunCut({"-j", "1", dir / "access.log"});
        const CutResult shared = RunCut({"-j", "2", dir / "access.log"}, {.rangeBytes = 64 << 10});
        EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), kUrls);
        EXPECT_EQ(one.out.find("\x81\xe0"), std::string::npos);
        EXPECT_TRUE(shared.out == one.out) << slowFirst;
        EXPECT_EQ(shared.err, one.err);
    }
}

#ifndef _WIN32
// A zstd frame of `head`, `count` times the byte `fill`, and `tail`: the repeated
// byte in blocks that say it once for 128 KiB, so that gigabytes take kilobytes.
std::string ZstdFrame(const std::string& head, char fill, std::uint64_t count,
                      const std::string& tail) {
    // The magic number, a frame of no stated size without checksum, a 128 KiB window.
    std::string frame("\x28\xB5\x2F\xFD\x00\x38", 6);
    const auto block = [&frame](std::uint32_t type, std::size_t size, bool last) {
        const std::uint32_t header = std::uint32_t(last) | type << 1 | std::uint32_t(size) << 3;
        frame += {char(header), char(header >> 8), char(header >> 16)};
    };
    block(0, head.size(), false);  // raw bytes
    frame += head;
    for (std::uint64_t left = count; left > 0;) {
        const auto size = std::size_t(std::min<std::uint64_t>(left, 128 << 10));
        block(1, size, false);  // one byte, repeated
        frame += fill;
        left -= size;
    }
    block(0, tail.size(), true);
    return frame + tail;
}

// kestrin-cut within `bytes` of address space; the sanitizers reserve more than
// that for themselves, and run it without a limit.
Launch WithinAddressSpace(rlim_t bytes) {
    return {.before = [bytes] {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        const rlimit limit{bytes, bytes};
        setrlimit(RLIMIT_AS, &limit);
#endif
    }};
}

// A line costs no more memory than a buffer and its URL, however long: a zstd log
// of one 4 GiB line whose URL is short, and a sparse plain log of one 2 GiB line
// without a URL, are each read within 512 MiB. A URL longer than the 2^31 - 1
// bytes a tally holds passes the tally's limit, found before it takes more memory.
TEST(HostileInputs, LinesOfGigabytesNeedNoMoreMemoryThanTheirUrls) {
    TempDir dir;
    constexpr std::uint64_t kGiB = std::uint64_t(1) << 30;
    const std::string oneLine = dir / "one-line.log.zst", sparse = dir / "sparse.log";
    WriteFile(oneLine, ZstdFrame("GET http://a.jp/x HTTP/1.1 ", 'a', 4 * kGiB / kSanitizerShrink,
                                 "\nhttp://b.jp/ z\n"));
    WriteFile(sparse, std::string(1024, 'x'));
    std::filesystem::resize_file(sparse, 2 * kGiB / kSanitizerShrink);
    std::ofstream(sparse, std::ios::app) << "\nhttp://c.jp/ z\n";
    const CutResult compressed = RunCut({oneLine}, WithinAddressSpace(512 << 20));
    EXPECT_EQ(std::tuple(compressed.status, compressed.out),
              std::tuple(0, "http://a.jp/x\t 1\r\nhttp://b.jp/\t 1\r\n"))
        << compressed.err;
    const CutResult plain = RunCut({sparse}, WithinAddressSpace(512 << 20));
    EXPECT_EQ(std::tuple(plain.status, plain.out), std::tuple(0, "http://c.jp/\t 1\r\n"))
        << plain.err;

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    const std::string overCap = dir / "over-cap.log.zst";
    WriteFile(overCap, ZstdFrame("http://", 'a', 2 * kGiB, "\n"));
    const CutResult over = RunCut({overCap}, WithinAddressSpace(3 * kGiB));
    EXPECT_EQ(std::tuple(over.status, over.out, over.err),
              std::tuple(1, "", "ERROR!: Kestrin stopped: a URL of 2 GiB or more\n"));
#endif
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// A tally that outgrows the memory it may take says so and ends, whichever of its
// arrays asked last: a million distinct URLs under limits from 40 to 96 MiB of
// address space, some of which the table's slots or blocks meet, others the
// allocator's memory or none. The same where the run has loaded ICU (logs in
// windows-1252) or libarchive (the log in a .tgz), each of which brings the shared
// C++ runtime beside the one the program carries: the program's own failure is
// still caught by the program.
TEST(HostileInputs, ATallyOutOfMemorySaysSo) {
    TempDir dir;
    std::string log;
    for (int i = 0; i < 1000000; ++i) log += "GET http://h/" + std::to_string(i) + " x\n";
    WriteFile(dir / "many.log", log);
    const std::string tar = "tar -czf " + dir / "many.tgz" + " -C " + dir.Path() + " many.log";
    ASSERT_EQ(std::system(tar.c_str()), 0);
    const struct {
        std::vector<std::string> args;
        bool loadsALibrary;
    } runs[] = {{{dir / "many.log"}, false},
                {{"--codepage", "windows-1252", dir / "many.log"}, true},
                {{dir / "many.tgz"}, true}};
    for (const auto& [logs, loadsALibrary] : runs) {
        const std::string named = logs.front() + (logs.size() > 1 ? " " + logs[1] : "");
        int outOfMemory = 0;
        for (const rlim_t mebibytes : {40, 48, 56, 64, 72, 80, 88, 96}) {
            std::filesystem::remove(dir / "report.dat");
            std::vector<std::string> args = logs;
            args.insert(args.end(), {"-o", dir / "report.dat"});
            const CutResult run = RunCut(args, WithinAddressSpace(mebibytes << 20));
            const std::string limit = named + " within " + std::to_string(mebibytes) + " MiB";
            if (run.status == 0) continue;
            EXPECT_FALSE(Exists(dir / "report.dat")) << limit;
            // Too little room to map the library a run needs is a refusal in the
            // loader's words.
            if (loadsALibrary && run.status == 1 &&
                run.err.find(" cannot be read: ") != std::string::npos)
                continue;
            ++outOfMemory;
            EXPECT_EQ(std::tuple(run.status, run.err),
                      std::tuple(1, "ERROR!: Kestrin stopped: std::bad_alloc\n"))
                << limit;
        }
        EXPECT_GT(outOfMemory, 0) << named << ": never out of memory";
    }
}
#endif
#endif

}  // namespace
}  // namespace kestrin
