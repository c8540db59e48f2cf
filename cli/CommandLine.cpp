#include "CommandLine.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <optional>

#include "ConsoleUi.h"
#include "Version.h"
#include "os/Terminal.h"
#include "run/CuttingRun.h"
#include "text/CodePage.h"
#include "text/HostFilter.h"

namespace kestrin {
namespace {

// What the arguments ask for.
struct Options {
    RunRequest request;
    std::optional<std::string> output;
    std::optional<std::string> keyword;
    bool schemes = false;
    bool ranked = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

// Text typed on the command line, which is UTF-8, as the window's box holds it. A
// byte that is not UTF-8 decodes to a lone trail surrogate.
std::optional<std::u16string> FromUtf8(const std::string& text) {
    std::u16string units;
    (*CodePage::Shared("UTF-8"))->Decode(text, units);
    if (!DecodedWhole(units)) return std::nullopt;
    return units;
}

std::optional<Schemes> SchemesFrom(const std::string& list) {
    Schemes schemes{.http = false};
    for (std::size_t at = 0; at <= list.size();) {
        const std::size_t comma = std::min(list.find(',', at), list.size());
        const std::string name = list.substr(at, comma - at);
        if (name == "http") {
            schemes.http = true;
        } else if (name == "https") {
            schemes.https = true;
        } else {
            return std::nullopt;
        }
        at = comma + 1;
    }
    return schemes;
}

std::optional<Grouping> GroupingFrom(const std::string& name) {
    for (const Grouping group : {Grouping::Url, Grouping::Host, Grouping::Site})
        if (name == EntryName(group)) return group;
    return std::nullopt;
}

std::optional<ReportFormat> FormatFrom(const std::string& name) {
    if (name == "report") return ReportFormat::Report;
    if (name == "csv") return ReportFormat::Csv;
    if (name == "json") return ReportFormat::Json;
    if (name == "html") return ReportFormat::Html;
    return std::nullopt;
}

// Each handler returns what is wrong with its value, or nothing.
using Handler = std::optional<std::string> (*)(Options&, const std::string& value);

struct Option {
    const char* shortName;  // "-o", or empty
    const char* longName;   // "--output"
    const char* value;      // what the value is called in the help, or empty: no value
    const char* help;       // its lines in the help, each but the first indented
    Handler handle;
};

constexpr std::optional<std::string> kFine = std::nullopt;

// Every option once: its names, its value, its help and what it does.
const Option kOptions[] = {
    {"-o", "--output", "FILE",
     "write the report to FILE, replacing it only once the\nreport is complete",
     [](Options& o, const std::string& v) -> std::optional<std::string> {
         if (v.empty()) return "--output needs a file name";
         o.output = v;
         return kFine;
     }},
    {"", "--keyword", "TEXT",
     "the back keyword that ends a URL: Space (default), '\"',\n"
     "',' or any one character of one byte in the code page",
     [](Options& o, const std::string& v) { return o.keyword = v, kFine; }},
    {"", "--ranked", "",
     "add the listing ranked by count (answers Yes to\n\"Sortting Data Output?\")",
     [](Options& o, const std::string&) { return o.ranked = true, kFine; }},
    {"", "--codepage", "NAME",
     "the code page of the logs and the report: CP932\n(default), UTF-8, windows-1252, CP936, ...",
     [](Options& o, const std::string& v) { return o.request.codePage = v, kFine; }},
    {"", "--report-codepage", "NAME",
     "the report's code page, where it is not the logs'\n(UTF-8, say); a byte it cannot hold "
     "is written as %XX",
     [](Options& o, const std::string& v) { return o.request.reportCodePage = v, kFine; }},
    {"", "--top", "N",
     "only the first N entries of the ranked listing: the N\nreferrers with most hits",
     [](Options& o, const std::string& v) -> std::optional<std::string> {
         std::size_t top = 0;
         const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), top);
         if (v.empty() || !std::isdigit(std::uint8_t(v[0])) || error != std::errc() ||
             end != v.data() + v.size() || top < 1)
             return "--top takes a number of entries from 1 to " +
                    std::to_string(std::numeric_limits<std::size_t>::max());
         o.request.top = top;
         return kFine;
     }},
    {"", "--eol", "END", "the report's line ends: crlf (default) or lf",
     [](Options& o, const std::string& v) -> std::optional<std::string> {
         if (v != "crlf" && v != "lf") return "--eol takes crlf or lf";
         o.request.lfLineEnds = v == "lf";
         return kFine;
     }},
    {"", "--scheme", "LIST", "the URLs cut: http (default), https or http,https",
     [](Options& o, const std::string& v) -> std::optional<std::string> {
         const std::optional<Schemes> schemes = SchemesFrom(v);
         if (!schemes) return "--scheme takes http, https or both";
         o.request.schemes = *schemes;
         o.schemes = true;
         return kFine;
     }},
    {"", "--exclude-host", "HOST", "do not count URLs of HOST or its subdomains\n(repeatable)",
     [](Options& o, const std::string& v) -> std::optional<std::string> {
         if (std::optional<std::string> problem = HostProblem(v)) return problem;
         o.request.excludedHosts.push_back(v);
         return kFine;
     }},
    {"", "--group", "WHAT",
     "the report's entries: url (default), host\n(scheme://host) or site (the registrable "
     "domain by the\nPublic Suffix List: www.google.co.jp and google.co.jp\nare one)",
     [](Options& o, const std::string& v) -> std::optional<std::string> {
         const std::optional<Grouping> group = GroupingFrom(v);
         if (!group) return "--group takes url, host or site";
         o.request.group = *group;
         return kFine;
     }},
    {"", "--format", "FORM",
     "the report's form: report (default), csv, json (UTF-8)\nor html (a page of the "
     "ranked entries, the top 100\nunless --top says)",
     [](Options& o, const std::string& v) -> std::optional<std::string> {
         const std::optional<ReportFormat> format = FormatFrom(v);
         if (!format) return "--format takes report, csv, json or html";
         o.request.format = *format;
         return kFine;
     }},
    {"", "--merge", "", "add up the first listings of REPORTs written before",
     [](Options& o, const std::string&) { return o.request.mergeReports = true, kFine; }},
    {"-j", "--jobs", "N",
     "threads that tally and sort at once (default and most:\nevery processor this process may "
     "use)",
     [](Options& o, const std::string& v) -> std::optional<std::string> {
         if (v.empty() || v.size() > 4 || v.find_first_not_of("0123456789") != std::string::npos ||
             std::stoi(v) < 1)
             return "--jobs takes a number of threads from 1 to 9999";
         o.request.jobs = std::size_t(std::stoi(v));
         return kFine;
     }},
    {"", "--quiet", "", "show errors and warnings only: no question, no Complete,\nno summary",
     [](Options& o, const std::string&) { return o.quiet = true, kFine; }},
    {"-h", "--help", "", "this text",
     [](Options& o, const std::string&) { return o.help = true, kFine; }},
    {"-V", "--version", "", "the version",
     [](Options& o, const std::string&) { return o.version = true, kFine; }},
};

const Option* Find(const std::string& name) {
    for (const Option& option : kOptions) {
        if (name == option.shortName || name == option.longName) return &option;
    }
    return nullptr;
}

std::string Help() {
    std::string help =
        "usage: kestrin-cut [OPTIONS] [LOGFILE...]\n"
        "       kestrin-cut --merge [OPTIONS] [REPORT...]\n"
        "\n"
        "Tallies the first http:// URL of every line of the LOGFILEs, as one log, and\n"
        "writes each distinct URL with its count, in URL order, to standard output.\n"
        "No LOGFILE, or \"-\", reads standard input. Logs may be compressed (gzip, zstd,\n"
        "xz, bzip2, lz4) or members of zip or tar archives.\n"
        "\n";
    constexpr std::size_t kHelpColumn = 24;
    for (const Option& option : kOptions) {
        std::string names = std::string("  ") + (*option.shortName ? option.shortName : "  ") +
                            (*option.shortName ? ", " : "  ") + option.longName;
        if (*option.value) names += std::string(" ") + option.value;
        // Names too long for their column stand on a line of their own.
        if (names.size() >= kHelpColumn) names += "\n";
        names.resize(names.size() < kHelpColumn ? kHelpColumn : names.size() + kHelpColumn, ' ');
        std::string text = option.help;
        for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos;
             at += kHelpColumn + 1)
            text.insert(at + 1, kHelpColumn, ' ');
        help += names + text + "\n";
    }
    help +=
        "  --                    every argument after it is a LOGFILE\n"
        "\n"
        "Messages go to standard error. Exit status: 0 done, 1 error, 2 usage error.\n";
    return help;
}

int UsageError(TextSink& err, const std::string& problem) {
    err.Write("kestrin-cut: " + problem + "\nTry 'kestrin-cut --help'.\n");
    return 2;
}

// Reads the arguments into `options`: what is wrong with them, or nothing.
std::optional<std::string> Parse(const std::vector<std::string>& args, Options& options) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || !arg.starts_with("-")) {
            options.request.logPaths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // --name=value, and -xVALUE for a short option that takes a value.
        std::string name = arg;
        std::optional<std::string> value;
        if (const std::size_t equals = arg.find('='); arg.starts_with("--") && equals != arg.npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        } else if (!arg.starts_with("--") && arg.size() > 2) {
            name = arg.substr(0, 2);
            value = arg.substr(2);
        }
        const Option* option = Find(name);
        if (option == nullptr)
            return "unknown option " + (value && !arg.starts_with("--") ? arg : name);
        if (*option->value && !value) {
            if (i + 1 == args.size()) return name + " needs a value";
            value = args[++i];
        } else if (!*option->value && value) {
            return name + " takes no value";
        }
        if (std::optional<std::string> problem = option->handle(options, value.value_or("")))
            return problem;
    }
    return std::nullopt;
}

// The keyword and the code pages the run would refuse: in the window a warning,
// here a usage error, in the run's own words.
std::optional<std::string> CheckRequest(Options& options) {
    if (options.keyword) {
        const std::optional<std::u16string> typed = FromUtf8(*options.keyword);
        if (!typed) return "the keyword is not UTF-8 text";
        options.request.backKeyword = BackKeywordFrom(*typed);
    }
    const RunResult checked = kestrin::CheckRequest(options.request);
    if (checked.outcome == RunOutcome::Complete) return std::nullopt;
    return MessageFor(options.request, checked).headline;
}

std::vector<std::string> Expanded(const std::vector<std::string>& paths) {
    std::vector<std::string> expanded;
    for (const std::string& path : paths) {
        if (path == "-") {
            expanded.push_back(path);
            continue;
        }
        for (std::string& name : os::ExpandWildcards(path)) expanded.push_back(std::move(name));
    }
    return expanded;
}

// Without a word a program that waits for typed text looks hung.
void TellTypedInput(const RunRequest& request, TextSink& err) {
    const std::vector<std::string>& paths = request.logPaths;
    if (!paths.empty() && std::find(paths.begin(), paths.end(), "-") == paths.end()) return;
    err.Write(std::string("kestrin-cut: reading standard input: type the ") +
              (request.mergeReports ? "report" : "log") + ", then " + os::EndOfInputKeys() +
              " to end it\n");
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& args, Console console,
                   const RunRequest& defaults) {
    Options options;
    options.request = defaults;
    std::optional<std::string> problem = Parse(args, options);
    if (options.help) {
        console.out.Write(Help());
        return 0;
    }
    if (options.version) {
        console.out.Write(std::string("kestrin-cut ") + kVersion + '\n');
        return 0;
    }
    if (!problem && options.ranked && options.request.top > 0)
        problem = "--top is the head of the ranked listing: it takes no --ranked";
    if (!problem && options.schemes && options.request.mergeReports)
        problem = "--scheme chooses the URLs cut from logs: a merge of reports takes none";
    if (!problem) problem = CheckRequest(options);
    if (problem) return UsageError(console.err, *problem);

    RunRequest& request = options.request;
    request.logPaths = Expanded(request.logPaths);
    if (console.inputIsTerminal && !options.quiet) TellTypedInput(request, console.err);
    request.savePath = options.output.value_or("-");
    request.outputClosed = console.outputClosed;
    const bool reportOnErrorTerminal =
        console.namesErrorTerminal != nullptr && console.namesErrorTerminal(request.savePath);
    const bool barFits = !options.quiet && !reportOnErrorTerminal;
    // --top answers Yes to the question too: the entries it keeps are the ranked ones.
    const bool answerYes = options.ranked || request.top > 0;
    ConsoleUi ui(console.err, answerYes, barFits ? console.errorColumns : 0, options.quiet);
    const RunResult result = CuttingRun(request, ui);
    return result.outcome == RunOutcome::Complete ? 0 : 1;
}

}  // namespace kestrin
