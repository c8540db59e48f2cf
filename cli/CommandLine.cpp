#include "CommandLine.h"

#include <unicode/ustring.h>

#include <optional>

#include "ConsoleUi.h"
#include "Version.h"
#include "run/CuttingRun.h"
#include "text/CodePage.h"

namespace kestrin {
namespace {

constexpr const char* kUsage =
    "usage: kestrin-cut [--keyword TEXT] [--ranked] [--codepage NAME] LOGFILE SAVEFILE";

constexpr const char* kHelp =
    "Tallies the first http:// URL of every line of LOGFILE and writes each distinct\n"
    "URL with its count to SAVEFILE (\"-\" for standard output), in URL order.\n"
    "\n"
    "  --keyword TEXT   the back keyword that ends a URL: Space (default), '\"', ','\n"
    "                   or any one single-byte character\n"
    "  --ranked         add the listing ranked by count (answers Yes to\n"
    "                   \"Sortting Data Output?\")\n"
    "  --codepage NAME  the code page of the log and the report (default CP932)\n"
    "  --help           this text\n"
    "  --version        the version\n"
    "\n"
    "Messages go to standard error. Exit status: 0 done, 1 error, 2 usage error.\n";

struct Options {
    RunRequest request;
    bool ranked = false;
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

int UsageError(std::ostream& err, const std::string& problem) {
    err << "kestrin-cut: " << problem << '\n' << kUsage << '\n';
    return 2;
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& args, Console console) {
    Options options;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || arg.rfind("--", 0) != 0) {
            files.push_back(arg);
            continue;
        }
        std::string name = arg, value;
        bool inlineValue = false;
        if (std::size_t equals = arg.find('='); equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            inlineValue = true;
        }
        bool takesValue = name == "--keyword" || name == "--codepage";
        if (takesValue && !inlineValue) {
            if (i + 1 == args.size()) return UsageError(console.err, name + " needs a value");
            value = args[++i];
        } else if (!takesValue && inlineValue) {
            return UsageError(console.err, name + " takes no value");
        }
        if (name == "--") {
            optionsEnded = true;
        } else if (name == "--help") {
            console.out << kUsage << "\n\n" << kHelp;
            return 0;
        } else if (name == "--version") {
            console.out << "kestrin-cut " << kVersion << '\n';
            return 0;
        } else if (name == "--ranked") {
            options.ranked = true;
        } else if (name == "--keyword") {
            std::optional<std::u16string> keyword = FromUtf8(value);
            if (!keyword) return UsageError(console.err, "the keyword is not UTF-8 text");
            options.request.backKeyword = BackKeywordFrom(*keyword);
        } else if (name == "--codepage") {
            std::string error;
            if (!CodePage::Shared(value, error)) return UsageError(console.err, error);
            options.request.codePage = value;
        } else {
            return UsageError(console.err, "unknown option " + name);
        }
    }
    if (files.size() != 2) return UsageError(console.err, "name a LOGFILE and a SAVEFILE");

    options.request.logPath = files[0];
    options.request.savePath = files[1];
    if (files[1] == "-") options.request.saveDescriptor = console.outFd;

    ConsoleUi ui(console.err, options.ranked, console.errIsTerminal);
    return CuttingRun(options.request, ui).outcome == RunOutcome::Complete ? 0 : 1;
}

}  // namespace kestrin
