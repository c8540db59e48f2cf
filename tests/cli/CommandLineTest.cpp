#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ConsoleUi.h"
#include "Processes.h"
#include "os/StopSignals.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace kestrin {
namespace {

using namespace testing;

const std::string kHint = "\nTry 'kestrin-cut --help'.\n";

TEST(CommandLine, OptionsMessagesReportsAndExitStatuses) {
    TempDir dir;
    const std::string log = dir / "access.log", save = dir / "report.txt";
    WriteFile(log, "x http://a.jp/x y\"z,w\nhttps://c.jp/\nhttp://b.jp/\nHTTP://B.JP:80/\n");
    WriteFile(dir / "x.7z", "7z\xbc\xaf\x27\x1c\0\x04");
    WriteFile(
        dir / "utf8.log",
        "http://u/\xef\xbd\xa1\nhttp://u/\xed\xa0\x80\nhttp://u/\xe0\x80\xaf\nhttp://u/\xf0\x9f"
        "\x98\x80\nhttp://u/\xf0\x9f\x98\x80\n");
    const std::string no = Saved(save),
                      summary = "kestrin-cut: 4 lines, 3 with a URL, 3 distinct URLs\n";
    const std::string upper = "HTTP://B.JP:80/\t 1\r\n", lower = "http://b.jp/\t 1\r\n";
    const std::string listing = upper + "http://a.jp/x\t 1\r\n" + lower;
    // The calls of one case: a run in this process, and the report it leaves ("(none)"
    // for none written).
    const auto expect = [&](const std::vector<std::string>& args, int status,
                            const std::string& err, const std::string& report) {
        std::remove(save.c_str());
        const CutResult result = CutHere(args);
        const std::string name = ::testing::PrintToString(args);
        EXPECT_EQ(std::tuple(result.status, result.err, result.out), std::tuple(status, err, ""))
            << name;
        const std::string saved = Exists(save) ? ReadFile(save) : "(none)";
        EXPECT_EQ(saved.empty() ? "(empty)" : saved, report) << name;
    };
    expect({"--keyword", "Space", log, "-o", save}, 0, no + summary, listing);
    expect({"--keyword", "Space", "--codepage", "UTF-8", log, "-o", save}, 0, no + summary,
           listing);
    expect({"--keyword=\"", "--output", save, log}, 0, no + summary,
           upper + "http://a.jp/x y\t 1\r\n" + lower);
    expect({"--keyword", ",", "--codepage", "windows-1252", "-o" + save, log}, 0, no + summary,
           upper + "http://a.jp/x y\"z\t 1\r\n" + lower);
    expect({"--ranked", "--quiet", "-o", save, log}, 0, "",
           listing + "*********** SORTTING DATA ************\r\n" + listing);
    expect(
        {"--scheme", "https,http", "--exclude-host", "b.JP", "--exclude-host=p", "-o", save, log},
        0, no + "kestrin-cut: 4 lines, 2 with a URL, 2 distinct URLs\n",
        "http://a.jp/x\t 1\r\nhttps://c.jp/\t 1\r\n");
    expect({"--scheme=https", "--exclude-host", "c.jp", "-o", save, log}, 0,
           no + "kestrin-cut: 4 lines, none with an https:// URL\n", "(empty)");
    // UTF-16 order: a supplementary character's surrogates, then the undecodable
    // bytes of an overlong form and of a surrogate's code, then U+FF61.
    expect({"--codepage", "UTF-8", "-o", save, dir / "utf8.log"}, 0,
           no + "kestrin-cut: 5 lines, 5 with a URL, 4 distinct URLs\n",
           "http://u/\xf0\x9f\x98\x80\t 2\r\nhttp://u/\xe0\x80\xaf\t 1\r\nhttp://u/\xed\xa0\x80\t "
           "1\r\nhttp://u/\xef\xbd\xa1\t 1\r\n");
    // In windows-1252 é is a byte of its own: allowed, and found nowhere here.
    expect({"--codepage", "windows-1252", "--keyword", "\xc3\xa9", "-o", save, log}, 0,
           no + summary, upper + "http://a.jp/x y\"z,w\t 1\r\n" + lower);
    expect({"-o", save, log, "--", "-x", log}, 1,
           Refused("File Not Found!", "-x", "No such file or directory"), "(none)");
    expect({"-o", save, log, dir.Path()}, 1,
           Refused("File Not Found!", dir.Path(), "Is a directory"), "(none)");
    expect({"-o", save, dir / "x.7z"}, 1,
           Refused("Can't File Read!", dir / "x.7z", "a 7z archive is not read: unpack it first"),
           "(none)");
    expect({"--top", "18446744073709551615", "-o", save, log}, 0, Saved(save, true) + summary,
           listing);
    // Usage errors: status 2, what is wrong and where help is, and no report. The
    // keyword must be one character of one byte in the code page.
    std::remove(save.c_str());
    const std::string notAscii = "Back Keyword is not ASCII";
    const std::pair<std::vector<std::string>, std::string> usage[] = {
        {{"--keyword", "ab", "-o", save, log}, notAscii},
        {{"--keyword=", "-o", save, log}, notAscii},
        {{"--keyword", "\xc3\xa9", "-o", save, log}, notAscii},
        {{"--keyword", "\xe4\xb8\x80", "-o", save, log}, notAscii},
        {{"--keyword", "\xff", log}, "the keyword is not UTF-8 text"},
        {{"--frobnicate", log}, "unknown option --frobnicate"},
        {{log, "-o"}, "-o needs a value"},
        {{"-j", "0", log}, "--jobs takes a number of threads from 1 to 9999"},
        {{"--codepage", "UTF-16", log}, "not a code page of one- and two-byte characters: UTF-16"},
        {{"--report-codepage", "UTF-16"},
         "not a code page of one- and two-byte characters: UTF-16"},
        // The reports merged were cut by their own runs: no --scheme can apply.
        {{"--merge", "--scheme", "https", "-o", save, log},
         "--scheme chooses the URLs cut from logs: a merge of reports takes none"},
        {{"--top", "18446744073709551616", log},
         "--top takes a number of entries from 1 to 18446744073709551615"},
        // A host alone: nothing, a port, user info or a path would leave out nothing,
        // or every URL without a host.
        {{"--exclude-host", ".", log}, "--exclude-host needs a host"},
        {{"--exclude-host", "example.com:8080", log},
         "--exclude-host takes a host alone, without scheme, user, port or path: "
         "example.com:8080"},
        {{"--exclude-host", "[::1]:80", log},
         "--exclude-host takes a host alone, without scheme, user, port or path: [::1]:80"},
        {{"--exclude-host", "http://example.com/", log},
         "--exclude-host takes a host alone, without scheme, user, port or path: "
         "http://example.com/"},
        {{"--exclude-host", "me@example.com", log},
         "--exclude-host takes a host alone, without scheme, user, port or path: "
         "me@example.com"},
        {{"--top", "0"}, "--top takes a number of entries from 1 to 18446744073709551615"},
        {{"--top", "2", "--ranked"},
         "--top is the head of the ranked listing: it takes no --ranked"},
        {{"--eol", "cr"}, "--eol takes crlf or lf"},
        {{"-o", "", log}, "--output needs a file name"},
    };
    for (const auto& [args, problem] : usage) {
        const CutResult result = CutHere(args);
        EXPECT_EQ(std::tuple(result.status, result.err, result.out, Exists(save)),
                  std::tuple(2, "kestrin-cut: " + problem + kHint, "", false))
            << ::testing::PrintToString(args);
    }
    const CutResult help = CutHere({"-h", log, "--frobnicate"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("usage: kestrin-cut [OPTIONS] [LOGFILE...]\n"));
    // Every line of the help within a terminal's 80 columns.
    std::istringstream lines(help.out);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
}

// A console user's ways: a log typed at the console is told how to end, wildcards
// are the program's to expand on Windows (the shell's elsewhere), "/?" asks for the
// help there, a name Windows cannot have is said so, and a report another program
// holds open is refused before a log is read.
TEST(CommandLine, AConsoleUsersWaysOnEachSystem) {
    TempDir dir;
    WriteFile(dir / "a1.log", "x http://a1/ y\n");
    WriteFile(dir / "a2.log", "x http://a2/ y\n");
    WriteFile(dir / "b.txt", "x http://b/ y\n");
    std::filesystem::create_directory(Native(dir / "a3.log"));  // a folder is no log
    const std::string save = dir / "report.dat";
    // A run, standard input a terminal when `typing` or else the file `input`.
    const auto run = [&](const std::vector<std::string>& args, bool typing, int status = 0,
                         const std::string& input = "") {
        std::optional<InputFrom> from;
        if (!input.empty()) from.emplace(input);
        const CutResult result = CutHere(args, {.inputIsTerminal = typing});
        EXPECT_EQ(result.status, status) << args[0];
        return result.err;
    };
#ifdef _WIN32
    const std::string typed =
        "kestrin-cut: reading standard input: type the log, then Ctrl+Z, Enter to end it\n";
#else
    const std::string typed =
        "kestrin-cut: reading standard input: type the log, then Ctrl+D to end it\n";
#endif
    const std::string one = Saved(save) + "kestrin-cut: 1 line, 1 with a URL, 1 distinct URL\n";
    const std::string text = dir / "b.txt";
    EXPECT_EQ(run({"-o", save}, true, 0, text), typed + one);
    EXPECT_EQ(run({"-o", save, "-"}, true, 0, text), typed + one);
    EXPECT_EQ(ReadFile(save), "http://b/\t 1\r\n");
    EXPECT_EQ(run({"--merge", "-o", dir / "merged.dat"}, true, 0, save)
                  .find("kestrin-cut: reading standard input: type the report, then "),
              0u);
    EXPECT_EQ(run({"-o", save}, false, 0, text), one);
    EXPECT_EQ(run({"--quiet", "-o", save}, true, 0, text), "");
    EXPECT_EQ(run({"-o", save, dir / "b.txt"}, true), one);

    const std::string wild = dir / "a*.log", nothing = dir / "z?.log";
    const std::string notFound = "ERROR!: File Not Found!\n" + nothing + "\nkestrin-cut: ";
    EXPECT_EQ(run({"-o", save, nothing}, false, 1).find(notFound), 0u);
    const std::string oddName = dir / "r?.dat";
#ifdef _WIN32
    EXPECT_EQ(run({"-o", save, wild, dir / "a?.log"}, false),
              Saved(save) + "kestrin-cut: 4 lines, 4 with a URL, 2 distinct URLs\n");
    EXPECT_EQ(ReadFile(save), "http://a1/\t 2\r\nhttp://a2/\t 2\r\n");
    EXPECT_EQ(run({"-o", oddName, dir / "b.txt"}, false, 1),
              Refused("Can't File Save!", oddName, "the name is not a valid file name"));
    EXPECT_EQ(run({"-o", save, dir / "a<b.dat"}, false, 1),
              Refused("File Not Found!", dir / "a<b.dat", "the name is not a valid file name"));
    EXPECT_EQ(RunCut({"/?"}).out.find("usage: kestrin-cut"), 0u);
    // Held as a spreadsheet program holds its file: others may read it, no more.
    for (const DWORD sharing :
         {DWORD(FILE_SHARE_READ), DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE)}) {
        const HANDLE held = CreateFileW(Native(save).c_str(), GENERIC_READ, sharing, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(run({"-o", save, dir / "b.txt"}, false, 1),
                  Refused("Can't File Save!", save, "the report is open in another program"));
        CloseHandle(held);
    }
    EXPECT_EQ(ReadFile(save), "http://a1/\t 2\r\nhttp://a2/\t 2\r\n");
#else
    EXPECT_EQ(run({"-o", save, wild}, false, 1).find("ERROR!: File Not Found!\n" + wild), 0u);
    EXPECT_EQ(run({"-o", oddName, dir / "b.txt"}, false),
              Saved(oddName) + "kestrin-cut: 1 line, 1 with a URL, 1 distinct URL\n");
    const CutResult help = RunCut({"/?"});
    EXPECT_EQ(help.status, 1);
    EXPECT_EQ(help.err, Refused("File Not Found!", "/?", "No such file or directory"));
#endif
}

// The real program as a filter: logs from files or standard input, plain,
// compressed in every form it reads or members of archives, each a log of its own,
// and the report on standard output. The two real logs give the reports worked out
// for them by hand. Text that starts like bzip2 ("BZh9") or lzip ("LZIP"), or has
// "ustar" where a tar header has it, is text. A piped log is read as bytes, 0x1A and
// CR LF among them, and the report written so (Windows' C runtime would take 0x1A for
// the end of its text and make CR LF of LF). Names in Japanese, in a folder past 260
// characters, are read and written (Windows would take narrow names in its ANSI code
// page, and only the long form of a name past 260 characters).
TEST(CommandLine, KestrinCutIsAFilterOfLogs) {
    TempDir dir;
    const std::string log = KESTRIN_TEST_DATA "/apache_access.log";
    // Whole, and in two members, frames or streams (an empty one and skippable ones
    // among them); archives of a plain and a compressed member, and of a zip one.
    const std::string made = KESTRIN_TEST_LOGS, gz = made + "/access.log.gz";
    WriteFile(dir / "a.log", "http://a/x");  // no terminator: the next log's line stays apart
    WriteFile(dir / "b.log", "BZh9 http://b/\n");
    WriteFile(dir / "c.log", "LZIP http://c/\n");
    WriteFile(dir / "d.log", "GET " + std::string(252, 'x') + "custard http://d/ x\n");
    const std::string ranked = TestData("apache_access.ranked-report"), no = Saved("-");
    const std::string apache =
        Saved("-", true) + "kestrin-cut: 40 lines, 36 with a URL, 10 distinct URLs\n";
    WriteFile(dir / "after.log", "http://junk/\n" + ReadFile(log));
    WriteFile(dir / "after.tar", "http://junk/\n" + ReadFile(made + "/whole.tar"));
    WriteFile(dir / "links.tar", "http://junk/\n" + ReadFile(made + "/archives/links.tar"));
    const std::string failed = "Can't File Read!";
    const auto fromPipe = [](const std::string& path) { return Launch{.piped = ReadFile(path)}; };
    const auto expect = [](const std::vector<std::string>& args, const Launch& launch, int status,
                           const std::string& out, const std::string& err) {
        const CutResult result = RunCut(args, launch);
        const std::string name = ::testing::PrintToString(args);
        EXPECT_EQ(result.status, status) << name;
        EXPECT_TRUE(result.out == out) << name;
        EXPECT_EQ(result.err, err) << name;
    };
    for (const std::string& form : {log, gz, made + "/a.zst", made + "/a.xz", made + "/a.bz2",
                                    made + "/a.lz4", made + "/a.zip", made + "/a.tgz"})
        expect({"--ranked", "--keyword", "\"", form}, {}, 0, ranked, apache);
    for (const std::string& form : {made + "/a.zip", gz})
        expect({"--ranked", "--keyword", "\""}, fromPipe(form), 0, ranked, apache);
    expect({"--ranked", "--keyword=\"", "-o", "-", "-"}, {.inputFile = log}, 0, ranked, apache);
    expect({}, {.piped = "GET http://a/\x1a\r\nGET http://b/\x1a x\r\nhttp://a/\x1a\r\n"}, 0,
           "http://a/\x1a\t 2\r\nhttp://b/\x1a\t 1\r\n",
           no + "kestrin-cut: 3 lines, 3 with a URL, 2 distinct URLs\n");
    expect({"--ranked", KESTRIN_TEST_DATA "/aozora_cp932.txt"}, {}, 0,
           TestData("aozora_cp932.ranked-report"),
           Saved("-", true) + "kestrin-cut: 5 lines, 2 with a URL, 2 distinct URLs\n");
    expect({dir / "a.log", dir / "b.log", dir / "c.log", dir / "d.log"}, {}, 0,
           "http://a/x\t 1\r\nhttp://b/\t 1\r\nhttp://c/\t 1\r\nhttp://d/\t 1\r\n",
           no + "kestrin-cut: 4 lines, 4 with a URL, 4 distinct URLs\n");
    expect({made + "/b.tar"}, {}, 1, "",
           Refused(failed, made + "/b.tar",
                   "a.zip: a zip archive inside an archive is not read: unpack it first"));
    expect({"-", "-"}, fromPipe(log), 1, "",
           Refused(failed, "-", "standard input is named more than once"));
#ifndef _WIN32
    // Standard input left past a line by the shell before it: read from there on,
    // even with ranges small enough that a file would be cut, and an archive too;
    // nor is it read again from its file's start for a hard link.
    const auto past = [] { lseek(STDIN_FILENO, 13, SEEK_SET); };
    expect({"--ranked", "--keyword", "\"", "-j", "2"},
           {.inputFile = dir / "after.log", .rangeBytes = 1024, .before = past}, 0, ranked, apache);
    expect({"--ranked", "--keyword", "\""}, {.inputFile = dir / "after.tar", .before = past}, 0,
           ranked, apache);
    expect({}, {.inputFile = dir / "links.tar", .before = past}, 1, "",
           Refused(failed, "-",
                   "hard.log: a hard link to one.log, which standard input cannot give again: "
                   "name the archive as a file"));
    expect({log}, {.before = [] { dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO); }}, 1, "",
           "Confirm: Sortting Data Output? No\n" +
               Refused("Can't File Save!", "-", "No space left on device"));
    // The log opened takes the closed descriptor's number: standard output is
    // still closed, whatever file now has its number.
    expect({log}, {.before = [] { close(STDOUT_FILENO); }}, 1, "",
           Refused("Can't File Save!", "-", "standard output is closed"));
#endif
    // Cut short by a byte, or followed by bytes that are no stream: never the log's end.
    const std::string cut = dir / "cut", junk = dir / "junk";
    for (const std::string form : {"gz", "zst", "xz", "bz2", "lz4"}) {
        const std::string whole = ReadFile(form == "gz" ? gz : made + "/a." + form);
        WriteFile(cut, whole.substr(0, whole.size() - 1));
        WriteFile(junk, whole + "junk\n");
        EXPECT_EQ(RunCut({log, cut}).err,
                  Refused(failed, cut, "unexpected end of compressed data"));
        const std::string last = form == "gz" ? "gzip member" : "bzip2 stream";
        if (form == "gz" || form == "bz2") {
            EXPECT_EQ(RunCut({junk}).err, Refused(failed, junk, "data after the last " + last));
        }
    }
    // An archive whose member fails its check, or whose header is damaged, is no
    // log, though its reader only warns of the first and would pass over the
    // member behind the second; a sparse member's trailing hole is part of it.
    std::string zip = ReadFile(made + "/a.zip"), tar = ReadFile(made + "/b.tar");
    zip[14] ^= 0x5a;                                       // the first member's CRC
    tar[tar.find(std::string("a.zip\0", 6)) + 1] ^= 0x20;  // the second member's name
    WriteFile(cut, zip);
    WriteFile(junk, tar);
    EXPECT_TRUE(RunCut({cut}).err.starts_with("ERROR!: Can't File Read!\n" + cut +
                                              "\nkestrin-cut: first.log: damaged archive: "
                                              "ZIP bad CRC"));
    EXPECT_EQ(RunCut({junk}).err, Refused(failed, junk, "damaged archive: Damaged tar archive"));
    EXPECT_EQ(RunCut({made + "/sparse.tar"}).err,
              no + "kestrin-cut: 1048567 lines, 1 with a URL, 1 distinct URL\n");

    // Names given the old way round: both are logs, and neither is written.
    const std::string report = dir / "report.dat", logCopy = dir / "access.log";
    WriteFile(report, "http://earlier/\t 1\r\n");
    WriteFile(logCopy, ReadFile(log));
    EXPECT_EQ(RunCut({report, logCopy}).status, 0);
    EXPECT_TRUE(ReadFile(logCopy) == ReadFile(log) &&
                ReadFile(report) == "http://earlier/\t 1\r\n");

    std::string deep = dir.Path();
    for (int level = 0; level < 5; ++level) {
        deep += "/\xe3\x83\xad\xe3\x82\xb0-" + std::string(60, 'x');  // ログ-xxx...
        std::filesystem::create_directory(Native(deep));
    }
    ASSERT_GT(deep.size(), 300u);
    const std::string japanese = deep + "/\xe5\xa0\xb1\xe5\x91\x8a.log";  // 報告.log
    WriteFile(japanese, ReadFile(log));
    const CutResult named =
        RunCut({"--ranked", "--keyword", "\"", "-o", japanese + ".dat", japanese});
    EXPECT_EQ(named.err, Saved(japanese + ".dat", true) +
                             "kestrin-cut: 40 lines, 36 with a URL, 10 distinct URLs\n");
    EXPECT_TRUE(ReadFile(japanese + ".dat") == ranked);
}

// Archives and streams as an attacker and a new user try them, each from a file and
// from a pipe: archives one after another read as one (as concatenated gzip
// members are), and anything else after an archive named; a tar cut at a member's
// end read with a warning; an archive on standard input read to its end, so that
// its writer is not cut off; skippable frames longer than the first bytes read,
// and a zstd window over 128 MiB; an encrypted archive refused; a tar's hard link
// read as the member it names (which a pipe cannot give again); and folders, links
// and macOS's metadata passed over and counted, a hidden name kept as a log.
TEST(CommandLine, ArchivesAreReadToTheirEndsAlikeFromAFileAndAPipe) {
    const std::string dir = KESTRIN_TEST_LOGS "/archives/";
    const std::string one = "http://one/\t 1\r\n", both = one + "http://two/\t 2\r\n";
    std::map<int, int> counts;  // of the members l1.log to l3000.log, each "http://h/" + i % 7
    for (int i = 1; i <= 3000; ++i) ++counts[i % 7];
    std::string many;
    for (const auto& [residue, count] : counts)
        many += "http://h/" + std::to_string(residue) + "\t " + std::to_string(count) + "\r\n";
    const std::string twice = "http://one/\t 2\r\nhttp://two/\t 2\r\n",
                      linksRead =
                          "4 lines, 4 with a URL, 2 distinct URLs; 2 archive members "
                          "skipped: 1 folder, 1 symbolic link",
                      linkFromPipe =
                          "hard.log: a hard link to one.log, which standard input "
                          "cannot give again: name the archive as a file";
    const struct {
        std::string file;
        std::string out;
        std::string err;            // after "Complete", or the reason after "ERROR!"
        std::string fromPipe = "";  // the reason from a pipe, where it differs
    } cases[] = {
        {"ab.tar", both, "3 lines, 3 with a URL, 2 distinct URLs"},
        {"ab.tgz", both, "3 lines, 3 with a URL, 2 distinct URLs"},
        {"ab.zip", both, "3 lines, 3 with a URL, 2 distinct URLs"},
        {"then-text.tar", "", "the tar archive is followed by text, not by another tar archive"},
        {"then-text.zip", "", "the zip archive is followed by text, not by another zip archive"},
        {"cut.tar", one,
         "1 line, 1 with a URL, 1 distinct URL\nkestrin-cut: warning: PATH: a tar archive has no "
         "end marker: it may have been cut short"},
        {"many.zip", many, "3000 lines, 3000 with a URL, 7 distinct URLs"},
        {"padded.tar", one, "1 line, 1 with a URL, 1 distinct URL"},
        {"skippable.lz4", "http://two/\t 2\r\n", "2 lines, 2 with a URL, 1 distinct URL"},
        {"long.zst", "http://two/\t 2\r\n", "2 lines, 2 with a URL, 1 distinct URL"},
        {"secret.zip", "", "one.log: an encrypted archive is not read: unpack it first"},
        {"links.tar", twice, linksRead, linkFromPipe},
        {"links.tgz", twice, linksRead, linkFromPipe},
        {"link.zip", "",
         "link.log: a symbolic link, which a zip says only in its directory at its end, was read "
         "as a file: unpack the archive first"},
        {"mac.zip", "http://one/\t 2\r\n",
         "2 lines, 2 with a URL, 1 distinct URL; 3 archive members skipped: 3 macOS metadata"},
        {"mac.tar", one,
         "1 line, 1 with a URL, 1 distinct URL; 3 archive members skipped: 1 folder, 2 macOS "
         "metadata"},
    };
    for (const auto& c : cases) {
        const std::string bytes = ReadFile(dir + c.file);
        for (const bool piped : {false, true}) {
            const std::string path = piped ? "-" : dir + c.file;
            const CutResult result = piped ? RunCut({}, {.piped = bytes}) : RunCut({path});
            const std::string reason = piped && !c.fromPipe.empty() ? c.fromPipe : c.err;
            const std::string err = c.out.empty() || (piped && !c.fromPipe.empty())
                                        ? Refused("Can't File Read!", path, reason)
                                        : Saved("-") + "kestrin-cut: " +
                                              std::regex_replace(reason, std::regex("PATH"), path) +
                                              "\n";
            const std::string name = c.file + (piped ? " from a pipe" : "");
            EXPECT_EQ(result.err, err) << name;
            EXPECT_TRUE(result.out == (result.status == 0 ? c.out : "")) << name;
            EXPECT_EQ(result.status, result.err.starts_with("ERROR!") ? 1 : 0) << name;
            if (piped && result.status == 0) {
                EXPECT_EQ(result.fed, bytes.size()) << name;
            }
        }
    }
}

#ifndef _WIN32
// Thousands of logs (a shell's glob) under a limit of 64 open files: every one is
// found before any is read, and opened only when it is read, batches of them on
// threads (a run of so few bytes takes one thread unless told).
TEST(CommandLine, ThousandsOfLogsReadUnderAFewOpenFiles) {
    TempDir dir;
    constexpr int kLogs = 3000;
    std::vector<std::string> args = {"-j", "8", "-o", dir / "report.dat"};
    std::map<std::string, int> counts;
    for (int i = 0; i < kLogs; ++i) {
        const std::string url = "http://h/" + std::to_string(i % 7);
        WriteFile(dir / ("l" + std::to_string(i) + ".log"), "GET " + url + " x\n");
        args.push_back(dir / ("l" + std::to_string(i) + ".log"));
        ++counts[url];
    }
    std::string report;
    for (const auto& [url, count] : counts) report += url + "\t " + std::to_string(count) + "\r\n";
    const Launch fewFiles{.before = [] {
        const rlimit limit{64, 64};
        setrlimit(RLIMIT_NOFILE, &limit);
    }};
    const CutResult many = RunCut(args, fewFiles);
    EXPECT_EQ(many.status, 0) << many.err;
    EXPECT_TRUE(ReadFile(dir / "report.dat") == report);
    // One that is no log, last: the run ends before it reads or writes anything.
    args.push_back(dir.Path());
    const CutResult last = RunCut(args, fewFiles);
    EXPECT_EQ(last.err, Refused("File Not Found!", dir.Path(), "Is a directory"));
    EXPECT_TRUE(ReadFile(dir / "report.dat") == report);
}
#endif

#ifdef KESTRIN_LOAD_LIBRARIES
// The libraries of archives, sites, compressed logs and code pages are loaded
// when a run first needs them: one that cannot be loaded refuses what needs it, in
// the loader's words, and nothing else; a run of plain logs in the default code
// page does not look for them.
TEST(CommandLine, ALibraryThatCannotLoadRefusesOnlyWhatNeedsIt) {
    TempDir dir;
    const std::string log = dir / "one.log", zip = KESTRIN_TEST_LOGS "/archives/ab.zip",
                      zst = KESTRIN_TEST_LOGS "/archives/long.zst";
    WriteFile(log, "GET http://www.example.co.jp/a x\n");
    const std::string archives = dir / KESTRIN_ARCHIVE_LIBRARY,
                      suffixes = dir / KESTRIN_PSL_LIBRARY, zstd = dir / KESTRIN_ZSTD_LIBRARY,
                      icu = dir / KESTRIN_ICU_LIBRARY;
    for (const char* library :
         {KESTRIN_ARCHIVE_LIBRARY, KESTRIN_PSL_LIBRARY, KESTRIN_ZSTD_LIBRARY, KESTRIN_XZ_LIBRARY,
          KESTRIN_LZ4_LIBRARY, KESTRIN_BZIP2_LIBRARY, KESTRIN_ISAL_LIBRARY, KESTRIN_ICU_LIBRARY})
        WriteFile(dir / library, "not a library");
    const Launch broken{.before = [&] { setenv("LD_LIBRARY_PATH", dir.Path().c_str(), 1); }};
    EXPECT_EQ(RunCut({zip}, broken).err,
              Refused("Can't File Read!", zip,
                      "archives cannot be read: " + archives + ": file too short"));
    // The zstd magic tells the log, whose decoder then says why it cannot read it.
    EXPECT_EQ(
        RunCut({zst}, broken).err,
        Refused("Can't File Read!", zst, "zstd data cannot be read: " + zstd + ": file too short"));
    const CutResult site = RunCut({"--group", "site", log}, broken);
    EXPECT_EQ(site.status, 2);
    EXPECT_TRUE(site.err.starts_with(
        "kestrin-cut: Kestrin stopped: sites cannot be found: " + suffixes + ": file too short\n"))
        << site.err;
    const CutResult plain = RunCut({"--group", "host", log}, broken);
    EXPECT_EQ(plain.out, "http://www.example.co.jp\t 1\r\n");
    EXPECT_EQ(plain.status, 0) << plain.err;
    // UTF-8 is read and written by its own rules, and a report in the logs' own
    // code page, by any name, is their bytes.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--codepage", "UTF-8", "--report-codepage", "utf8", log},
          {"--report-codepage", "Shift_JIS", log}}) {
        const CutResult same = RunCut(args, broken);
        EXPECT_EQ(std::tuple(same.status, same.out),
                  std::tuple(0, std::string("http://www.example.co.jp/a\t 1\r\n")))
            << same.err;
    }
    const CutResult json = RunCut({"--format", "json", log}, broken);
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"http://www.example.co.jp/a\""), std::string::npos) << json.out;
    // A code page the program does not hold is read by ICU, and any but UTF-8 is
    // written by it.
    const CutResult western = RunCut({"--codepage", "windows-1252", log}, broken);
    EXPECT_EQ(western.status, 2);
    EXPECT_TRUE(western.err.starts_with("kestrin-cut: code pages cannot be read: " + icu +
                                        ": file too short\n"))
        << western.err;
    const CutResult toCp932 =
        RunCut({"--codepage", "UTF-8", "--report-codepage", "CP932", log}, broken);
    EXPECT_EQ(toCp932.status, 2);
    EXPECT_TRUE(toCp932.err.starts_with("kestrin-cut: code pages cannot be written: " + icu +
                                        ": file too short\n"))
        << toCp932.err;
    // The list of sites is there, but not the lower case of the names it looks up.
    TempDir icuOnly;
    WriteFile(icuOnly / KESTRIN_ICU_LIBRARY, "not a library");
    const CutResult caseless =
        RunCut({"--group", "site", log},
               {.before = [&] { setenv("LD_LIBRARY_PATH", icuOnly.Path().c_str(), 1); }});
    EXPECT_EQ(caseless.status, 2);
    EXPECT_TRUE(caseless.err.starts_with("kestrin-cut: Kestrin stopped: sites cannot be found: " +
                                         (icuOnly / KESTRIN_ICU_LIBRARY) + ": file too short\n"))
        << caseless.err;
    // Loaded, the same runs read the archive and the zstd log, and find the site.
    EXPECT_EQ(RunCut({zip}).status, 0);
    EXPECT_EQ(RunCut({zst}).out, "http://two/\t 2\r\n");
    EXPECT_EQ(RunCut({"--group", "site", log}).out, "http://example.co.jp\t 1\r\n");
    EXPECT_EQ(RunCut({"--codepage", "windows-1252", log}).status, 0);
}
#endif

// The options the help lists (made from the table of options) are the options the
// manual page lists, each with its value.
TEST(CommandLine, TheManualListsTheOptionsOfTheHelp) {
    const CutResult help = CutHere({"--help"});
    ASSERT_EQ(help.status, 0);
    const auto namesIn = [](const std::string& text, const std::regex& entry) {
        std::set<std::string> names;
        for (std::sregex_iterator it(text.begin(), text.end(), entry), end; it != end; ++it) {
            std::string name = (*it)[1];
            name.erase(std::remove(name.begin(), name.end(), '\\'), name.end());
            names.insert(name + ((*it)[2].matched ? " " + std::string((*it)[2]) : ""));
        }
        return names;
    };
    // "  -o, --output FILE   write ..." and ".BR \-o ", " \-\-output " \fIFILE\fR"
    const std::set<std::string> inHelp =
        namesIn(help.out, std::regex(R"(\n  (?:-[A-Za-z], |    )(--[a-z-]+)(?: ([A-Z]+))?)"));
    const std::set<std::string> inManual = namesIn(
        ReadFile(KESTRIN_SOURCE_DIR "/data/kestrin-cut.1.in"),
        std::regex(
            R"(\n\.TP\n\.B[IR]? (?:\\-[A-Za-z] ", " )?(\\-\\-[a-z\\-]+)(?: " (?:\\fI)?([A-Z]+))?)"));
    EXPECT_EQ(inManual, inHelp);
    EXPECT_GT(inHelp.size(), 10u);
}

// Standard error on a terminal: a progress bar that fits its width, drawn over and
// cleared before each message; none on a narrow terminal, when quiet, or when the
// report is written on that terminal. One line, one URL: counted in the singular.
TEST(CommandLine, ProgressFitsTheTerminalAndCountsReadAsWords) {
    TempDir dir;
    std::string text;
    for (int i = 0; text.size() < (17 << 20); ++i)
        text += "x http://h/" + std::to_string(i % 9) + "\n";
    WriteFile(dir / "big.log", text);
    WriteFile(dir / "one.log", "GET http://one/ HTTP/1.1\n");
    // The terminal, as far as the run can tell, is a file named terminal.dat.
    const auto onTerminal = [](const std::string& path) { return path.ends_with("terminal.dat"); };
    const auto run = [&](int columns, const std::vector<std::string>& args) {
        const CutResult result = CutHere(args, {columns, false, onTerminal});
        EXPECT_EQ(result.status, 0);
        return result.err;
    };
    const std::string report = dir / "report.dat";
    for (const int columns : {30, 200}) {
        const std::string err = run(columns, {"-o", report, dir / "big.log"});
        std::size_t bars = 0;
        for (std::size_t at = 0; (at = err.find("\r[", at)) != std::string::npos; ++at, ++bars)
            EXPECT_LT(err.find('\r', at + 1) - at - 1, std::size_t(columns)) << err.substr(at, 80);
        EXPECT_GT(bars, 4u) << columns;  // the reading is told every 4 MiB
        // Cleared before the question: spaces to the bar's width, then the message.
        const std::size_t question = err.find("Confirm: Sortting Data Output? No\n");
        EXPECT_EQ(err.rfind('\r', question), question - 1);
        const std::string lines = std::to_string(std::count(text.begin(), text.end(), '\n'));
        EXPECT_TRUE(err.ends_with("\nkestrin-cut: " + lines + " lines, " + lines +
                                  " with a URL, 9 distinct URLs\n"))
            << err.substr(err.size() - 100);
    }
    EXPECT_EQ(run(17, {"-o", report, dir / "big.log"}).find('\r'), std::string::npos);
    EXPECT_EQ(run(80, {"-o", dir / "terminal.dat", dir / "big.log"}).find('\r'), std::string::npos);
    EXPECT_EQ(run(80, {"--quiet", "-o", report, dir / "big.log"}), "");
    EXPECT_TRUE(run(80, {"-o", report, dir / "one.log"})
                    .ends_with("kestrin-cut: 1 line, 1 with a URL, 1 distinct URL\n"));
#ifndef _WIN32  // no tar on a Windows desk
    // A report in a tar beside its folder's entry: folders are no members, and the
    // summary counts them.
    const std::string tar =
        "tar cf " + dir / "r.tar" + " -C " + dir.Path() + " --no-recursion . report.dat";
    ASSERT_EQ(std::system(tar.c_str()), 0);
    EXPECT_TRUE(run(80, {"--merge", "-o", dir / "merged.dat", dir / "r.tar"})
                    .ends_with("kestrin-cut: 1 report, 1 entry, 1 distinct URL; 1 archive "
                               "member skipped: 1 folder\n"));
#endif
}

#ifndef _WIN32
// Ctrl+C while the bar is drawn on the terminal: the line is blanked before the
// process ends, so that the shell's prompt starts on a clean line.
TEST(CommandLine, AnEndingSignalBlanksTheProgressBar) {
    for (const bool cleared : {false, true}) {
        const CutResult result = RunInChild([cleared] {
            os::HandleStopSignals();
            StandardSink err(stderr);
            ConsoleUi ui(err, false, 80);
            ui.ShowProgress({.fraction = 0.5});
            if (cleared) ui.ShowMessage({.title = "Complete", .headline = "done"});
            raise(SIGINT);
        });
        EXPECT_EQ(result.status, 128 + SIGINT);
        const std::string bar = "\r[" + std::string(20, '#') + std::string(20, ' ') + "] 50% ";
        const std::string blank = "\r" + std::string(48, ' ') + "\r";
        // Blanked once: by the message, which leaves nothing for the signal to do.
        EXPECT_EQ(result.err, cleared ? bar + blank + "Complete: done\n" : bar + blank);
    }
}
#endif

// Reports for a UTF-8 terminal, for the top of the ranking, for awk and sort: each
// the ranked report made over by iconv, cut at N, or rid of its CRs by tr.
TEST(CommandLine, ReportsInOtherCodePagesLineEndsAndTheTopOfTheRanking) {
    TempDir dir;
    const std::string aozora = KESTRIN_TEST_DATA "/aozora_cp932.txt";
    const CutResult utf8 = RunCut({"--ranked", "--report-codepage", "UTF-8", aozora});
    EXPECT_TRUE(utf8.out == ReadFile(KESTRIN_TEST_LOGS "/aozora.utf8-report"));  // by iconv
    EXPECT_NE(utf8.out.find("\xe5\x85\xa5\xe5\x8a\x9b"), std::string::npos);     // a kanji URL
    const CutResult lf = RunCut({"--ranked", "--eol", "lf", aozora});
    EXPECT_TRUE(lf.out == ReadFile(KESTRIN_TEST_LOGS "/aozora.lf-report"));  // by tr -d '\\r'

    // A URL that is not text in CP932 (a lead byte without its trail) or has a
    // character windows-1252 lacks has those bytes written as %XX and its own % as
    // %25; a URL whose text would read as one of those is written so too, and one
    // whose text would then read as that one's; a warning counts them. The same code page by
    // another name is the log's bytes: CP932's 0xED 0x40 and 0xFA 0x5C, one character, stay as they
    // were.
    WriteFile(dir / "mixed.log",
              "x http://a.jp/\x82\xa0 y\nx http://b.jp/\x81 y\nx http://c.jp/caf\x82\xa0%20 y\n"
              "x http://d.jp/ y\nx http://b.jp/%81 y\nx http://e.jp/\xed\x40 y\n"
              "x http://b.jp/%2581 y\n");
    const CutResult escaped = RunCut({"--report-codepage", "windows-1252", dir / "mixed.log"});
    EXPECT_EQ(escaped.out,
              "http://a.jp/%82%A0\t 1\r\nhttp://b.jp/%252581\t 1\r\nhttp://b.jp/%2581\t 1\r\n"
              "http://b.jp/%81\t 1\r\nhttp://c.jp/caf%82%A0%2520\t 1\r\nhttp://d.jp/\t 1\r\n"
              "http://e.jp/%ED%40\t 1\r\n");
    EXPECT_TRUE(escaped.err.ends_with(
        "kestrin-cut: warning: 4 URLs have bytes written as %XX: not text in CP932, or with "
        "characters windows-1252 lacks; 2 URLs that would read as one of them have their % "
        "written as %25\n"))
        << escaped.err;
    // あ in CP932, and its UTF-8 bytes, which CP932 reads as 縺 and a lead byte
    // without its trail: two lines in UTF-8, which a merge keeps two.
    WriteFile(dir / "twice.log", "http://a.jp/\x82\xa0 x\nhttp://a.jp/\xe3\x81\x82 x\n");
    ASSERT_EQ(
        RunCut({"--report-codepage", "UTF-8", "-o", dir / "twice.dat", dir / "twice.log"}).status,
        0);
    const std::string twice = "http://a.jp/\xe3\x81\x82\t 1\r\nhttp://a.jp/\xe7\xb8\xba%82\t 1\r\n";
    EXPECT_EQ(ReadFile(dir / "twice.dat"), twice);
    EXPECT_EQ(RunCut({"--merge", "--codepage", "UTF-8", dir / "twice.dat"}).out, twice);
    for (const char* same : {"CP932", "windows-31j"}) {
        EXPECT_TRUE(RunCut({"--report-codepage", same, dir / "mixed.log"}).out ==
                    RunCut({dir / "mixed.log"}).out)
            << same;
    }

    // The CP932 bytes Windows reads as control codes of its own or as private
    // characters come back as the same bytes.
    const std::string windowsBytes = "http://a/\x1a\x1c\x7f\x80\xa0\xfd\xfe\xff";
    const std::string inUtf8 =
        "http://a/\x1a\x1c\x7f\xc2\x80\xef\xa3\xb0\xef\xa3\xb1\xef\xa3\xb2\xef\xa3\xb3";
    WriteFile(dir / "windows.log", windowsBytes + " x\n");
    WriteFile(dir / "utf8.log", inUtf8 + " x\n");
    EXPECT_EQ(RunCut({"--report-codepage", "UTF-8", dir / "windows.log"}).out, inUtf8 + "\t 1\r\n");
    EXPECT_EQ(RunCut({"--codepage", "UTF-8", "--report-codepage", "CP932", dir / "utf8.log"}).out,
              windowsBytes + "\t 1\r\n");
    // ICU writes a soft hyphen in CP932 as nothing at all: it is no character CP932 has.
    WriteFile(dir / "hyphen.log", "http://a/\xc2\xad x\nhttp://a/ x\n");
    EXPECT_EQ(RunCut({"--codepage", "UTF-8", "--report-codepage", "CP932", dir / "hyphen.log"}).out,
              "http://a/\t 1\r\nhttp://a/%C2%AD\t 1\r\n");

    // Ties at the N-th count keep the ranked listing's order and are cut at N.
    WriteFile(dir / "ties.log",
              "http://d/\nhttp://c/\nhttp://b/\nhttp://a/\nhttp://c/\nhttp://b/\n");
    const std::string ranking = "http://b/\t 2\r\nhttp://c/\t 2\r\nhttp://a/\t 1\r\n";
    const std::string last = "http://d/\t 1\r\n";
    EXPECT_TRUE(RunCut({"--ranked", dir / "ties.log"})
                    .out.ends_with("*********** SORTTING DATA ************\r\n" + ranking + last));
    for (const auto& [n, head] : {std::pair{"1", ranking.substr(0, 14)}, std::pair{"3", ranking},
                                  std::pair{"9", ranking + last}})
        EXPECT_EQ(RunCut({"--top", n, dir / "ties.log"}).out, head) << n;
}

// A random log of URLs with byte forms that decode alike (CP932's two codes of
// U+2252) or not at all, and every terminator.
std::string RandomLog(std::mt19937& random) {
    static const char* const kPieces[] = {
        "\x87\x90", "\x81\xe0", "\xf0\x9f\x98\x80", "\xc0", "a", "B", "/", " ", "\r\n", "\n"};
    std::string log;
    for (int line = 0; line < 300; ++line) {
        log += random() % 4 ? "GET http://h" : "GET HTTP://h";
        for (std::uint32_t n = random() % 4; n-- > 0;) log += kPieces[random() % 8];
        log += kPieces[8 + random() % 2];
    }
    return log;
}

// Merged reports of runs over logs are byte for byte the report of one run over them all.
TEST(CommandLine, MergedReportsAreTheReportOfOneRun) {
    TempDir dir;
    std::mt19937 random(7);
    for (const char* page : {"CP932", "UTF-8"}) {
        const std::string a = dir / "a.log", b = dir / "b.log";
        WriteFile(a, RandomLog(random));
        WriteFile(b, RandomLog(random));
        // The first report's lines end in CR LF, the second's in LF.
        ASSERT_EQ(RunCut({"--ranked", "--codepage", page, "-o", dir / "a.dat", a}).status, 0);
        ASSERT_EQ(
            RunCut({"--ranked", "--codepage", page, "--eol", "lf", "-o", dir / "b.dat", b}).status,
            0);
        const CutResult one = RunCut({"--ranked", "--codepage", page, a, b});
        const CutResult merged =
            RunCut({"--merge", "--ranked", "--codepage", page, dir / "a.dat", dir / "b.dat"});
        EXPECT_EQ(std::tuple(one.status, merged.status), std::tuple(0, 0)) << merged.err;
        EXPECT_TRUE(one.out == merged.out && one.out.size() > 1000) << page;
        // Each log read in ranges on two threads: the same report, first forms kept.
        const CutResult ranges =
            RunCut({"--ranked", "--codepage", page, "-j", "2", a, b}, {.rangeBytes = 1024});
        EXPECT_TRUE(ranges.out == one.out) << page;
    }
    const std::pair<std::string, std::string> broken[] = {
        {"http://a\t 1\r\nhttp://b\t 0\r\n", "line 2 has no count above 0"},
        {"http://a\t +1\r\n", "line 1 has no count above 0"},
        {"http://a\t 01\r\n", "line 1 has no count above 0"},
        {"http://a\t 1\nhttp://b\t 1\r\n", "line 2 ends with CR LF, not LF as line 1"},
        {"http://a\t 1\r\nhttp://b\t 1\n", "line 2 does not end with CR LF as line 1"},
        {"http://a\t 1\r\nhttp://b\t 1", "line 2 does not end with CR LF"},
        {"http://a 1\r\n", "line 1 has no TAB and blank before a count"},
        {"http://a\t 18446744073709551616\r\n", "line 1 has a count above 2^64 - 1"},
        // Counts that add up past 2^64 - 1 with the first report's, by the same bytes
        // or by two codes of one character, cannot come from any log.
        {"http://\x87\x90\t 1\r\n", "the counts of a URL add up past 2^64 - 1"},
        {"http://\x81\xe0\t 1\r\n", "the counts of a URL add up past 2^64 - 1"},
    };
    WriteFile(dir / "most.dat", "http://\x87\x90\t 18446744073709551615\r\n");
    for (const auto& [report, reason] : broken) {
        WriteFile(dir / "bad.dat", report);
        WriteFile(dir / "out.dat", "earlier");
        const CutResult result =
            RunCut({"--merge", "-o", dir / "out.dat", dir / "most.dat", dir / "bad.dat"});
        EXPECT_EQ(result.status, 1) << report;
        EXPECT_TRUE(result.err.starts_with("ERROR!: Not a Report File!\n" + dir / "bad.dat" +
                                           "\nkestrin-cut: " + reason))
            << result.err;
        EXPECT_EQ(ReadFile(dir / "out.dat"), "earlier");
    }
}

}  // namespace
}  // namespace kestrin
