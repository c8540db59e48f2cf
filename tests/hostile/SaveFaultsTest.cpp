// The report cannot be written, or not completely: every such run ends with
// "Can't File Save!", the save path and the reason, never with "Complete", and the
// log, the previous report and other files keep every byte. Where the report can be
// saved only otherwise than asked, it is, and a warning says how.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "Processes.h"
#include "RecordingUi.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#endif

namespace kestrin {
namespace {

using namespace testing;

class SaveFaults : public ::testing::Test {
  protected:
    // Many distinct URLs, so that the report runs to tens of kilobytes.
    void SetUp() override {
        for (int i = 0; i < 3000; ++i)
            urls += "GET http://example.com/page/" + std::to_string(i) + " 200\r\n";
        WriteFile(log, urls);
    }

    // The files of the folder, the log and the report among them.
    std::size_t FilesInFolder() const {
        return std::size_t(std::distance(std::filesystem::directory_iterator(dir.Path()), {}));
    }

#ifndef _WIN32
    // A report holding `previous` that anyone may write, in a folder no one may.
    std::string InLockedFolder(const std::string& previous) {
        const std::string report = dir / "locked/report.txt";
        mkdir((dir / "locked").c_str(), 0777);
        chmod((dir / "locked").c_str(), 0777);
        WriteFile(report, previous);
        chmod(report.c_str(), 0666);
        chmod((dir / "locked").c_str(), 0555);
        return report;
    }
#endif

    TempDir dir;
    std::string urls;
    const std::string log = dir / "access.log", save = dir / "report.txt";
};

// Each failure names the save path and says why, in the system's words or ours.
TEST_F(SaveFaults, UnwritableReportIsCantFileSaveWithItsReason) {
    std::filesystem::create_directory(dir / "folder");
    std::vector<std::pair<std::string, std::string>> cases = {
        {dir / "gone/report.txt", "No such file or directory"},
        {dir / "folder", "Is a directory"},
    };
    std::size_t files = 2;  // the log and the folder
#ifndef _WIN32
    files += 2;
    mkfifo((dir / "fifo").c_str(), 0666);
    symlink("access.log", (dir / "link.log").c_str());
    cases.insert(cases.end(), {
                                  {"/dev/full", "No space left on device"},
                                  {dir / "fifo", "No such device or address"},  // nobody reads it
                                  {dir / "link.log", "the report would replace a log"},
                              });
#endif
    for (const auto& [savePath, reason] : cases) {
        RecordingUi ui(true);
        RunEngine({.logPaths = {log}, .savePath = savePath}, ui);
        EXPECT_EQ(ui.calls.back(), "ERROR! error Can't File Save!\r" + savePath);
        EXPECT_EQ(ui.messages.at(0).details, std::vector<std::string>{reason}) << savePath;
    }
    EXPECT_EQ(ReadFile(log), urls) << "the log is left as it was";
    EXPECT_EQ(FilesInFolder(), files) << "no temporary file is left";
}

// The save path names the log under another name.
TEST_F(SaveFaults, NoOtherNameOfTheLogIsOverwritten) {
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_hard_link(Native(log), Native(dir / "hard.log"));
    std::vector<std::pair<std::string, std::string>> cases = {
        {log, log}, {log, "sub/../access.log"}, {"access.log", log}, {log, "hard.log"}};
#ifndef _WIN32
    symlink(log.c_str(), (dir / "link.log").c_str());
    symlink("access.log", (dir / "relative-link.log").c_str());
    symlink(dir.Path().c_str(), (dir / "dir-link").c_str());
    cases.insert(cases.end(), {{log, dir / "dir-link/access.log"},
                               {log, "link.log"},
                               {log, "relative-link.log"},
                               {"hard.log", "link.log"}});
#endif
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(Native(dir.Path()));
    for (const auto& [logPath, savePath] : cases) {
        EXPECT_EQ(RunEngine({.logPaths = {logPath}, .savePath = savePath}, true),
                  Failed("Can't File Save!\r" + savePath));
        EXPECT_EQ(ReadFile(log), urls) << logPath << " saved as " << savePath;
    }
    std::filesystem::current_path(previous);
#ifndef _WIN32
    // A link to an earlier report (through a link relative to its own folder)
    // replaces the report it leads to, which keeps its mode; the links stay links.
    WriteFile(dir / "sub/report.dat", "earlier");
    chmod((dir / "sub/report.dat").c_str(), 0640);
    symlink("report.dat", (dir / "sub/inner").c_str());
    symlink((dir / "sub/inner").c_str(), (dir / "outer").c_str());
    ASSERT_EQ(RunEngine({.logPaths = {log}, .savePath = dir / "outer"}), Completed(dir / "outer"));
    auto mode = [](const std::string& path) {
        struct stat info {};
        return lstat(path.c_str(), &info) == 0 ? info.st_mode : 0;
    };
    EXPECT_TRUE(S_ISLNK(mode(dir / "outer")) && S_ISLNK(mode(dir / "sub/inner")));
    EXPECT_EQ(mode(dir / "sub/report.dat"), S_IFREG | 0640);
    EXPECT_TRUE(ReadFile(dir / "sub/report.dat").starts_with("http://example.com/page/0\t 1\r\n"));
#endif
}

#ifndef _WIN32
// The report's folder is removed while the question is on screen: the report
// cannot take its name, so the run did not save it. (On Windows the report's
// temporary file, open and unshared, keeps its folder.)
TEST_F(SaveFaults, ReportWhoseFolderVanishesIsCantFileSave) {
    mkdir((dir / "out").c_str(), 0777);
    struct VanishingUi : RecordingUi {
        std::string folder;
        bool AskYesNo(const std::string& text, const std::string& title) override {
            std::filesystem::remove_all(folder);
            return RecordingUi::AskYesNo(text, title);
        }
    } ui;
    ui.folder = dir / "out";
    RunEngine({.logPaths = {log}, .savePath = dir / "out/report.dat"}, ui);
    EXPECT_EQ(ui.calls, std::vector<std::string>(
                            {"Confirm Sortting Data Output?",
                             "ERROR! error Can't File Save!\r" + dir / "out/report.dat"}));
}

#endif

// The report cannot be finished: it stops growing at a file size limit, as on a
// disk that fills up, and the program is not killed for it (no one told it to
// ignore the signal); or on Windows another program holds the previous report
// without sharing it. Or the run is ended from outside while it reads, or killed
// outright. The previous report keeps every byte and no temporary file is left.
TEST_F(SaveFaults, LimitsLocksEndingsAndKillsLeaveThePreviousReport) {
    ASSERT_EQ(RunCut({"--ranked", log, "-o", save}).status, 0);
    const std::string previous = "previous report\r\n";
    // "Can't File Save!" with the save path, the previous report as it was: the reason.
    const auto refusal = [&](const CutResult& result) {
        const std::string error = "ERROR!: Can't File Save!\n" + save + "\nkestrin-cut: ";
        const std::size_t at = result.err.find(error);
        EXPECT_TRUE(result.status == 1 && at != std::string::npos) << result.err;
        EXPECT_TRUE(ReadFile(save) == previous && FilesInFolder() == 2) << result.err;
        return at == std::string::npos ? "" : result.err.substr(at + error.size());
    };
#ifdef _WIN32
    WriteFile(save, previous);
    const HANDLE held = CreateFileW(Native(save).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const CutResult locked = RunCut({"--ranked", log, "-o", save});
    CloseHandle(held);
    const std::string reason = refusal(locked);
    // In Windows' words, which its versions choose differently: one line of them.
    EXPECT_TRUE(reason.size() > 1 && reason.find('\n') == reason.size() - 1) << reason;
#else
    const std::size_t whole = ReadFile(save).size();
    for (std::size_t limit : {whole / 3, whole - 1}) {
        WriteFile(save, previous);
        const auto limited = [limit] {
            const rlimit size{limit, limit};
            setrlimit(RLIMIT_FSIZE, &size);
        };
        EXPECT_EQ(refusal(RunCut({"--ranked", log, "-o", save}, {.before = limited})),
                  "File too large\n");
    }
#endif
    // The log comes through a pipe that stays open: the run is reading when it is
    // ended, with its temporary report made, which has a name on Windows and shows
    // only among the process's files on Linux.
    std::string text;
    for (int i = 0; i < 20; ++i) text += urls;
    for (const Ending& ending : Endings()) {
        WriteFile(save, previous);
        const auto reportOpen = [&](const Child& child) {
#ifdef _WIN32
            (void)child;
            return FilesInFolder() > 2;
#else
            std::error_code ignored;
            const std::string fds = "/proc/" + std::to_string(child.id) + "/fd";
            for (const auto& fd : std::filesystem::directory_iterator(fds, ignored)) {
                const std::string target = std::filesystem::read_symlink(fd, ignored);
                if (target.starts_with(dir.Path() + "/") && target != log) return true;
            }
            return false;
#endif
        };
        Launch launch{.piped = text, .keepPipeOpen = true, .during = [&](const Child& child) {
                          for (int i = 0; i < 1000 && !reportOpen(child); ++i)
                              std::this_thread::sleep_for(std::chrono::milliseconds(10));
                          End(child, ending);
                      }};
#ifndef _WIN32
        launch.before = [] {
            for (int each : {SIGTERM, SIGINT, SIGHUP}) signal(each, SIG_DFL);
        };
#endif
        const CutResult result = RunCut({"-o", save}, launch);
        EXPECT_EQ(result.status, ending.status) << ending.name;
        EXPECT_TRUE(ReadFile(save) == previous && FilesInFolder() == 2) << ending.name;
    }
}

#ifndef _WIN32
// An unprivileged user who may write the report but not its folder gets it written
// in place, whole or not at all; one who may not write the report is refused,
// whether the folder may be written or not.
TEST_F(SaveFaults, AReportInAFolderThatMayNotBeWrittenIsWrittenInPlace) {
    const std::string smaller(50000, 'x'), larger(200000, 'y');
    const std::string inPlace = InLockedFolder(smaller);
    chmod((dir / "locked").c_str(), 0777);
    for (const std::string& readOnly : {dir / "locked/readonly.txt", dir / "readonly.txt"}) {
        WriteFile(readOnly, "earlier report");
        chmod(readOnly.c_str(), 0444);
    }
    chmod((dir / "locked").c_str(), 0555);
    for (const std::string& readOnly : {dir / "locked/readonly.txt", dir / "readonly.txt"}) {
        const CutResult refused = RunCut({log, "-o", readOnly}, {.before = DropPrivileges});
        EXPECT_EQ(refused.err, Refused("Can't File Save!", readOnly, "Permission denied"));
        EXPECT_EQ(ReadFile(readOnly), "earlier report");
    }

    // Room for the whole report (some 200 kB, ranked) is made before the first byte:
    // past a size limit the previous report is untouched.
    const CutResult tooBig = RunCut({"--ranked", log, "-o", inPlace}, {.before = [] {
                                        DropPrivileges();
                                        const rlimit size{100000, 100000};
                                        setrlimit(RLIMIT_FSIZE, &size);
                                    }});
    EXPECT_TRUE(tooBig.err.ends_with("kestrin-cut: File too large\n")) << tooBig.err;
    EXPECT_TRUE(ReadFile(inPlace) == smaller);

    InLockedFolder(larger);
    const CutResult written = RunCut({log, "-o", inPlace}, {.before = DropPrivileges});
    EXPECT_EQ(written.status, 0);
    EXPECT_TRUE(written.err.ends_with(
        "kestrin-cut: warning: the report's folder may not be written, so the report was written "
        "over the previous one in place, not replaced in one step\n"))
        << written.err;
    EXPECT_TRUE(ReadFile(inPlace) == RunCut({log}).out) << "the old report's tail is cut off";
}

// An ending signal that comes while a report is written over the previous one in
// place waits until it is whole: the file is never a part of each, and the signal
// then ends the program as it would have. The program is stopped once the file has
// begun to change and holds neither report, signalled, and let go on: so the
// signal came during the write, however fast the machine.
TEST_F(SaveFaults, AnEndingSignalWaitsForAReportWrittenInPlace) {
    std::string big;
    for (std::size_t i = 0; i < 400000 / kSanitizerShrink; ++i)
        big += "GET http://example.com/" + std::to_string(i % 7) + "/page/" + std::to_string(i) +
               " 200\r\n";
    WriteFile(log, big);
    const CutResult elsewhere = RunCut({"--ranked", log});
    ASSERT_EQ(elsewhere.status, 0);
    const std::string previous = "previous report\r\n";
    for (const Ending& ending : Endings()) {
        if (ending.how == SIGKILL) continue;  // nothing outlives it
        bool caught = false;
        for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
            const std::string report = InLockedFolder(previous);
            const int watch = inotify_init1(IN_CLOEXEC);
            ASSERT_GE(inotify_add_watch(watch, report.c_str(), IN_MODIFY), 0);
            Launch launch{.during = [&](const Child& child) {
                pollfd changed{watch, POLLIN, 0};
                if (poll(&changed, 1, 120000) != 1) return;  // never changed: a failure below
                kill(child.id, SIGSTOP);
                siginfo_t stopped{};  // or ended already, and left for RunCut to wait for
                waitid(P_PID, id_t(child.id), &stopped, WSTOPPED | WEXITED | WNOWAIT);
                const std::string midway = ReadFile(report);
                caught = midway != previous && midway != elsewhere.out;
                kill(child.id, ending.how);
                kill(child.id, SIGCONT);
            }};
            launch.before = [] {
                DropPrivileges();
                for (int each : {SIGTERM, SIGINT, SIGHUP}) signal(each, SIG_DFL);
            };
            const CutResult result = RunCut({"--ranked", log, "-o", report}, launch);
            close(watch);
            if (!caught) continue;  // whole already: the signal came too late to tell
            EXPECT_EQ(result.status, ending.status) << ending.name << result.err;
            EXPECT_TRUE(ReadFile(report) == elsewhere.out) << ending.name << " cut the report";
        }
        EXPECT_TRUE(caught) << ending.name << " never came while the report was written";
    }
}

// A window closed while a report is written over the previous one in place waits
// for the report to be whole: half of it would be neither report. The stop comes
// once the listing has begun, after the first bytes went over the previous report.
TEST_F(SaveFaults, AStopWaitsForAReportWrittenInPlace) {
    // Over 16 MiB, so that the run tells its progress and the listing is seen begun.
    std::string big;
    for (int i = 0; i < 400000; ++i)
        big += "GET http://example.com/a/longer/path/" + std::to_string(i) + " HTTP/1.1 200\n";
    WriteFile(log, big);
    const std::string inPlace = InLockedFolder("previous report\r\n");
    const CutResult result = RunInChild(
        [&] {
            std::atomic<bool> stop = false;
            RecordingUi ui(true);
            ui.onProgress = [&](const RunProgress& progress) {
                if (progress.phase >= RunPhase::Listing) stop = true;
            };
            const RunResult run =
                CuttingRun({.logPaths = {log}, .savePath = inPlace, .stop = &stop}, ui);
            _exit(!stop ? 3 : run.outcome == RunOutcome::Complete ? 0 : 1);
        },
        {.before = DropPrivileges});
    EXPECT_EQ(result.status, 0)
        << "the stop came (3: it never did) and the report was saved anyway";
    EXPECT_TRUE(ReadFile(inPlace) == RunCut({"--ranked", log}).out) << "the report is not whole";
}
#endif

// A report with a second name is replaced under the name given; the other name
// keeps the previous report, and a warning says so.
TEST_F(SaveFaults, AReportWithOtherNamesIsReplacedWithAWarning) {
    WriteFile(save, "previous report\r\n");
    std::filesystem::create_hard_link(Native(save), Native(dir / "other.txt"));
    RecordingUi ui;
    RunEngine({.logPaths = {log}, .savePath = save}, ui);
    EXPECT_EQ(ui.calls, Completed(save));
    EXPECT_EQ(
        ui.messages.at(0).warnings,
        std::vector<std::string>{"the report's other names (hard links) keep the previous report"});
    EXPECT_TRUE(ReadFile(save).starts_with("http://example.com/page/0\t 1\r\n"));
    EXPECT_EQ(ReadFile(dir / "other.txt"), "previous report\r\n");
}

}  // namespace
}  // namespace kestrin
