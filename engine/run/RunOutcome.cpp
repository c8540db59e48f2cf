#include "run/RunOutcome.h"

namespace kestrin {
namespace {

constexpr const char* kError = "ERROR!";

// "1 line", "2 lines".
std::string Counted(std::uint64_t count, const std::string& one, const std::string& many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string SchemeNames(const Schemes& schemes) {
    if (schemes.http && schemes.https) return "an http:// or https://";
    return schemes.https ? "an https://" : "an http://";
}

RunMessage Failure(const char* headline, const RunResult& result,
                   MessageIcon icon = MessageIcon::Error) {
    RunMessage message{kError, icon, headline, result.path};
    if (const std::string reason = result.fault.Reason(); !reason.empty())
        message.details.push_back(reason);
    return message;
}

// "; 3 archive members skipped: 1 folder, 2 macOS metadata", or nothing.
std::string SkippedOf(const SkippedMembers& skipped) {
    if (skipped.Total() == 0) return {};
    std::string why;
    const auto add = [&](std::uint64_t count, const std::string& one, const std::string& many) {
        if (count > 0) why += (why.empty() ? "" : ", ") + Counted(count, one, many);
    };
    add(skipped.folders, "folder", "folders");
    add(skipped.symbolicLinks, "symbolic link", "symbolic links");
    add(skipped.specialFiles, "special file", "special files");
    add(skipped.metadata, "macOS metadata", "macOS metadata");
    return "; " + Counted(skipped.Total(), "archive member", "archive members") +
           " skipped: " + why;
}

}  // namespace

std::string SummaryOf(const RunRequest& request, const RunResult& result) {
    std::string distinct = Counted(result.distinctUrls, "distinct URL", "distinct URLs");
    if (request.group != Grouping::Url) {
        const std::string entry = EntryName(request.group);
        distinct += ", " + Counted(result.distinctEntries, entry, entry + "s");
    }
    if (request.mergeReports) {
        return Counted(result.merged.reports, "report", "reports") + ", " +
               Counted(result.merged.entries, "entry", "entries") + ", " + distinct +
               SkippedOf(result.merged.skipped);
    }
    const LogCounts& read = result.read;
    std::string summary = Counted(read.lines, "line", "lines") + ", ";
    if (read.lines == 0 || read.linesWithUrl > 0)
        return summary + std::to_string(read.linesWithUrl) + " with a URL, " + distinct +
               SkippedOf(read.skipped);
    summary += "none with " + SchemeNames(request.schemes) + " URL";
    if (read.looks == LogLooks::Utf16) summary += "; the log looks like UTF-16 text";
    if (read.looks == LogLooks::Binary) summary += "; the log looks binary, not text";
    return summary + SkippedOf(read.skipped);
}

std::vector<std::pair<std::string, std::uint64_t>> CountsOf(const RunRequest& request,
                                                            const RunResult& result) {
    std::vector<std::pair<std::string, std::uint64_t>> counts;
    if (request.mergeReports) {
        counts = {{"reports", result.merged.reports}, {"entriesRead", result.merged.entries}};
    } else {
        counts = {{"lines", result.read.lines}, {"linesWithUrl", result.read.linesWithUrl}};
    }
    counts.emplace_back("distinctUrls", result.distinctUrls);
    if (request.group != Grouping::Url)
        counts.emplace_back(std::string(EntryName(request.group)) + "s", result.distinctEntries);
    return counts;
}

RunMessage MessageFor(const RunRequest& request, const RunResult& result) {
    switch (result.outcome) {
        case RunOutcome::Complete:
            return {"Complete",   MessageIcon::Information,     result.path + " done..",
                    std::nullopt, {SummaryOf(request, result)}, result.warnings};
        case RunOutcome::Stopped:
            return {};
        case RunOutcome::KeywordNotSingleByte:
            return {kError, MessageIcon::Warning, "Back Keyword is not ASCII"};
        case RunOutcome::CodePageUnusable:
            return {kError, MessageIcon::Error, result.fault.Reason()};
        case RunOutcome::LogNotFound:
            return Failure("File Not Found!", result);
        case RunOutcome::LogUnreadable:
            return Failure("Can't File Read!", result);
        case RunOutcome::NotAReport:
            return Failure("Not a Report File!", result);
        case RunOutcome::ReportUnsavable:
            return Failure("Can't File Save!", result);
        case RunOutcome::OutOfMemory:
        case RunOutcome::InternalFailure:
            break;
    }
    return {kError, MessageIcon::Error, "Kestrin stopped: " + result.fault.Reason()};
}

}  // namespace kestrin
