#include "CommandLine.h"

#include <unicode/ustring.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "ConsoleUi.h"
#include "Version.h"
#include "run/CuttingRun.h"
#include "text/CodePage.h"

namespace kestrin {
namespace {

constexpr const char* kHelp =
    "usage: kestrin-cut [OPTIONS] [LOGFILE...]\n"
    "       kestrin-cut --merge [OPTIONS] [REPORT...]\n"
    "\n"
    "Tallies the first http:// URL of every line of the LOGFILEs, as one log, and\n"
    "writes each distinct URL with its count, in URL order, to standard output.\n"
    "No LOGFILE, or \"-\", reads standard input. Logs may be gzip or zstd compressed.\n"
    "\n"
    "  -o, --output FILE     write the report to FILE, replacing it only once the\n"
    "                        report is complete\n"
    "  --keyword TEXT        the back keyword that ends a URL: Space (default), '\"',\n"
    "                        ',' or any one single-byte character\n"
    "  --ranked              add the listing ranked by count (answers Yes to\n"
    "                        \"Sortting Data Output?\")\n"
    "  --codepage NAME       the code page of the logs and the report: CP932\n"
    "                        (default), UTF-8, windows-1252, CP936, ...\n"
    "  --scheme LIST         the URLs cut: http (default), https or http,https\n"
    "  --exclude-host HOST   do not count URLs of HOST or its subdomains (repeatable)\n"
    "  --merge               add up the first listings of REPORTs written before\n"
    "  -j, --jobs N          threads that tally one plain log at once (default: every\n"
    "                        processor this process may use)\n"
    "  --quiet               show errors only: no question, no Complete, no summary\n"
    "  -h, --help            this text\n"
    "  -V, --version         the version\n"
    "\n"
    "Messages go to standard error. Exit status: 0 done, 1 error, 2 usage error.\n";

struct Options {
    RunRequest request;
    std::optional<std::string> output;
    bool ranked = false;
    bool quiet = false;
};

std::optional<std::u16string> FromUtf8(const std::string& text) {
    std::u16string units(text.size(), u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(reinterpret_cast<UChar*>(units.data()), int32_t(units.size()), &length,
                  text.data(), int32_t(text.size()), &status);
    if (U_FAILURE(status)) return std::nullopt;
    units.resize(std::size_t(length));
    return units;
}

std::optional<Schemes> SchemesFrom(const std::string& list) {
    Schemes schemes{.http = false};
    for (std::size_t at = 0; at <= list.size();) {
        std::size_t comma = std::min(list.find(',', at), list.size());
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

int UsageError(std::ostream& err, const std::string& problem) {
    err << "kestrin-cut: " << problem << "\nTry 'kestrin-cut --help'.\n";
    return 2;
}

// The line after a failure's message that says what the system said.
std::string Reason(const RunResult& result) {
    switch (result.outcome) {
        case RunOutcome::LogNotFound:
        case RunOutcome::LogUnreadable:
        case RunOutcome::NotAReport:
        case RunOutcome::ReportUnsavable:
            if (!result.detail.empty()) return result.detail;
            if (result.systemError > 0) return std::strerror(result.systemError);
            return {};
        default:
            return {};
    }
}

std::string SchemeNames(const Schemes& schemes) {
    if (schemes.http && schemes.https) return "an http:// or https://";
    return schemes.https ? "an https://" : "an http://";
}

std::string Summary(const RunRequest& request, const RunResult& result) {
    const std::string distinct = std::to_string(result.distinctUrls) + " distinct URLs";
    if (request.mergeReports) {
        return std::to_string(std::max<std::size_t>(1, request.logPaths.size())) + " reports, " +
               std::to_string(result.lines) + " entries, " + distinct;
    }
    std::string summary = std::to_string(result.lines) + " lines, ";
    if (result.lines == 0 || result.linesWithUrl > 0)
        return summary + std::to_string(result.linesWithUrl) + " with a URL, " + distinct;
    summary += "none with " + SchemeNames(request.schemes) + " URL";
    if (result.looks == LogLooks::Utf16) summary += "; the log looks like UTF-16 text";
    if (result.looks == LogLooks::Binary) summary += "; the log looks binary, not text";
    return summary;
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& args, Console console) {
    Options options;
    RunRequest& request = options.request;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || !arg.starts_with("-")) {
            request.logPaths.push_back(arg);
            continue;
        }
        std::string name = arg, value;
        bool inlineValue = false;
        if (std::size_t equals = arg.find('='); arg.starts_with("--") && equals != arg.npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            inlineValue = true;
        } else if ((arg.starts_with("-o") || arg.starts_with("-j")) && arg.size() > 2) {
            name = arg.substr(0, 2);
            value = arg.substr(2);
            inlineValue = true;
        }
        static const char* const kWithValue[] = {"-o",         "--output", "--keyword",
                                                 "--codepage", "--scheme", "--exclude-host",
                                                 "-j",         "--jobs"};
        const bool takesValue =
            std::find(std::begin(kWithValue), std::end(kWithValue), name) != std::end(kWithValue);
        if (takesValue && !inlineValue) {
            if (i + 1 == args.size()) return UsageError(console.err, name + " needs a value");
            value = args[++i];
        } else if (!takesValue && inlineValue) {
            return UsageError(console.err, name + " takes no value");
        }
        if (name == "--") {
            optionsEnded = true;
        } else if (name == "-h" || name == "--help") {
            console.out << kHelp;
            return 0;
        } else if (name == "-V" || name == "--version") {
            console.out << "kestrin-cut " << kVersion << '\n';
            return 0;
        } else if (name == "-o" || name == "--output") {
            options.output = value;
        } else if (name == "--ranked") {
            options.ranked = true;
        } else if (name == "--quiet") {
            options.quiet = true;
        } else if (name == "--merge") {
            request.mergeReports = true;
        } else if (name == "--keyword") {
            std::optional<std::u16string> keyword = FromUtf8(value);
            if (!keyword) return UsageError(console.err, "the keyword is not UTF-8 text");
            request.backKeyword = BackKeywordFrom(*keyword);
        } else if (name == "--codepage") {
            std::string error;
            if (!CodePage::Shared(value, error)) return UsageError(console.err, error);
            request.codePage = value;
        } else if (name == "--scheme") {
            std::optional<Schemes> schemes = SchemesFrom(value);
            if (!schemes) return UsageError(console.err, "--scheme takes http, https or both");
            request.schemes = *schemes;
        } else if (name == "-j" || name == "--jobs") {
            if (value.empty() || value.size() > 4 ||
                value.find_first_not_of("0123456789") != std::string::npos || std::stoi(value) < 1)
                return UsageError(console.err, name + " takes a number of threads from 1 to 9999");
            request.jobs = std::size_t(std::stoi(value));
        } else if (name == "--exclude-host") {
            if (value.empty()) return UsageError(console.err, "--exclude-host needs a host");
            request.excludedHosts.push_back(value);
        } else {
            return UsageError(console.err, "unknown option " + name);
        }
    }
    request.logDescriptor = console.inFd;
    request.savePath = options.output.value_or("-");
    if (request.savePath == "-") request.saveDescriptor = console.outFd;

    ConsoleUi ui(console.err, options.ranked, console.errIsTerminal && !options.quiet,
                 options.quiet);
    const RunResult result = CuttingRun(request, ui);
    if (const std::string reason = Reason(result); !reason.empty())
        console.err << "kestrin-cut: " << reason << '\n';
    if (result.outcome != RunOutcome::Complete) return 1;
    if (!options.quiet) console.err << "kestrin-cut: " << Summary(request, result) << '\n';
    return 0;
}

}  // namespace kestrin
