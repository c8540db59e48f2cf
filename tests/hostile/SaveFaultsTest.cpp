// The report cannot be written, or not completely: every such run ends with
// "Can't File Save!" and the save path, never with "Complete", and the log, the
// previous report and other files keep every byte.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>

#include "Processes.h"
#include "RecordingUi.h"

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

    TempDir dir;
    std::string urls;
    const std::string log = dir / "access.log", save = dir / "report.txt";
};

TEST_F(SaveFaults, UnwritableReportIsCantFileSave) {
    mkdir((dir / "subdir").c_str(), 0777);
    mkfifo((dir / "fifo").c_str(), 0666);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    close(pipeEnds[0]);
    signal(SIGPIPE, SIG_IGN);  // EPIPE instead, as a front end may have it
    const struct {
        std::string savePath;
        int descriptor;
    } cases[] = {
        {"/dev/full", -1},
        {dir / "gone/report.txt", -1},
        {dir / "fifo", -1},  // nobody reads it: the run must not hang
        {"(read-only)", open(log.c_str(), O_RDONLY)},
        {"-", pipeEnds[1]},  // its reader has gone
        {"-", open(log.c_str(), O_WRONLY | O_APPEND)},
    };
    for (const auto& c : cases) {
        const RunRequest request{
            .logPaths = {log}, .savePath = c.savePath, .saveDescriptor = c.descriptor};
        EXPECT_EQ(RunEngine(request, true), Failed("Can't File Save!\r" + c.savePath));
        close(c.descriptor);
    }
    signal(SIGPIPE, SIG_DFL);
    EXPECT_EQ(ReadFile(log), urls) << "the log is left as it was";
}

// The save path names the log under another name.
TEST_F(SaveFaults, NoOtherNameOfTheLogIsOverwritten) {
    mkdir((dir / "sub").c_str(), 0777);
    symlink(log.c_str(), (dir / "link.log").c_str());
    symlink("access.log", (dir / "relative-link.log").c_str());
    symlink(dir.Path().c_str(), (dir / "dir-link").c_str());
    link(log.c_str(), (dir / "hard.log").c_str());
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const std::pair<std::string, std::string> cases[] = {
        {log, log},          {log, "sub/../access.log"}, {log, dir / "dir-link/access.log"},
        {log, "link.log"},   {log, "relative-link.log"}, {"hard.log", "link.log"},
        {"access.log", log},
    };
    for (const auto& [logPath, savePath] : cases) {
        EXPECT_EQ(RunEngine({.logPaths = {logPath}, .savePath = savePath}, true),
                  Failed("Can't File Save!\r" + savePath));
        EXPECT_EQ(ReadFile(log), urls) << logPath << " saved as " << savePath;
    }
    std::filesystem::current_path(previous);

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
}

// The report's directory is removed while the question is on screen: the report
// cannot take its name, so the run did not save it.
TEST_F(SaveFaults, ReportWhoseDirectoryVanishesIsCantFileSave) {
    mkdir((dir / "out").c_str(), 0777);
    struct VanishingUi : RecordingUi {
        std::string directory;
        bool AskYesNo(const std::string& text, const std::string& title) override {
            std::filesystem::remove_all(directory);
            return RecordingUi::AskYesNo(text, title);
        }
    } ui;
    ui.directory = dir / "out";
    RunEngine({.logPaths = {log}, .savePath = dir / "out/report.dat"}, ui);
    EXPECT_EQ(ui.calls,
              std::vector<std::string>({"EnterBusy", "Confirm Sortting Data Output?",
                                        "ERROR! error Can't File Save!\r" + dir / "out/report.dat",
                                        "LeaveBusy"}));
}

// The report stops growing at a file size limit, as on a disk that fills up, or
// the run is ended by a signal while it reads: the previous report keeps every
// byte and no temporary file is left. An unprivileged user meets read-only places.
TEST_F(SaveFaults, LimitsSignalsAndPermissionsLeaveThePreviousReport) {
    ASSERT_EQ(RunCut({"--ranked", log, "-o", save}).status, 0);
    const std::size_t whole = ReadFile(save).size();
    const std::string previous = "previous report\r\n";
    const auto onlyTheReport = [&] {
        return std::distance(std::filesystem::directory_iterator(dir.Path()), {}) == 2;
    };
    for (std::size_t limit : {whole / 3, whole - 1}) {
        WriteFile(save, previous);
        const CutResult result = RunCut({"--ranked", log, "-o", save}, [limit] {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit size {
                limit, limit
            };
            setrlimit(RLIMIT_FSIZE, &size);
        });
        EXPECT_EQ(result.status, 1) << limit;
        EXPECT_TRUE(result.err.ends_with("ERROR!: Can't File Save!\n" + save +
                                         "\nkestrin-cut: File too large\n"))
            << result.err;
        EXPECT_TRUE(ReadFile(save) == previous && onlyTheReport()) << limit;
    }
    // The log comes through a pipe that stays open: the run is reading when the
    // signal comes, with its temporary report made.
    for (const int ending : {SIGTERM, SIGINT, SIGHUP}) {
        int feed[2];
        ASSERT_EQ(pipe(feed), 0);
        const auto asStandardInput = [&] {
            dup2(feed[0], STDIN_FILENO);
            close(feed[1]);
            for (int each : {SIGTERM, SIGINT, SIGHUP}) signal(each, SIG_DFL);
        };
        const auto interrupt = [&](pid_t child) {
            close(feed[0]);
            for (int i = 0; i < 20; ++i) ASSERT_GT(write(feed[1], urls.data(), urls.size()), 0);
            for (int i = 0; i < 10000 && onlyTheReport(); ++i) usleep(1000);
            kill(child, ending);
        };
        const CutResult result = RunCut({"-o", save}, asStandardInput, interrupt);
        close(feed[1]);
        EXPECT_EQ(result.status, 128 + ending);
        EXPECT_TRUE(ReadFile(save) == previous && onlyTheReport()) << ending;
    }
    mkdir((dir / "locked").c_str(), 0555);
    WriteFile(dir / "readonly.txt", "earlier report");
    chmod((dir / "readonly.txt").c_str(), 0444);
    for (const std::string& place : {dir / "locked/report.txt", dir / "readonly.txt"}) {
        const CutResult result = RunCut({log, "-o", place}, DropPrivileges);
        EXPECT_EQ(result.err,
                  "ERROR!: Can't File Save!\n" + place + "\nkestrin-cut: Permission denied\n");
    }
    EXPECT_EQ(ReadFile(dir / "readonly.txt"), "earlier report");
}

}  // namespace
}  // namespace kestrin
