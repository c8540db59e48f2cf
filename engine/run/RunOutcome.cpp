#include "run/RunOutcome.h"

namespace kestrin {
namespace {

constexpr const char* kError = "ERROR!";

std::string WithPath(const char* text, const std::string& path) {
    return text + std::string("\r") + path;
}

}  // namespace

RunMessage MessageFor(const RunResult& result) {
    switch (result.outcome) {
        case RunOutcome::Complete:
            return {result.path + " done..", "Complete", MessageIcon::Information};
        case RunOutcome::Stopped:
            return {"", "", MessageIcon::Information};
        case RunOutcome::KeywordNotSingleByte:
            return {"Back Keyword is not ASCII", kError, MessageIcon::Warning};
        case RunOutcome::CodePageUnusable:
            return {result.detail, kError, MessageIcon::Error};
        case RunOutcome::LogNotFound:
            return {WithPath("File Not Found!", result.path), kError, MessageIcon::Error};
        case RunOutcome::LogUnreadable:
            return {WithPath("Can't File Read!", result.path), kError, MessageIcon::Error};
        case RunOutcome::NotAReport:
            return {WithPath("Not a Report File!", result.path), kError, MessageIcon::Error};
        case RunOutcome::ReportUnsavable:
            return {WithPath("Can't File Save!", result.path), kError, MessageIcon::Error};
        case RunOutcome::OutOfMemory:
        case RunOutcome::InternalFailure:
            break;
    }
    return {"Kestrin stopped: " + result.detail, kError, MessageIcon::Error};
}

}  // namespace kestrin
