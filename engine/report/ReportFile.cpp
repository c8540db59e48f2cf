#include "report/ReportFile.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace kestrin {
namespace {

constexpr const char* kWrittenInPlace =
    "the report's folder may not be written, so the report was written over the "
    "previous one in place, not replaced in one step";
constexpr const char* kNameNotSynced =
    "the report is saved, but a crash may yet lose its name: its folder could not be synced: ";
constexpr const char* kOtherNamesKept =
    "the report's other names (hard links) keep the previous report";

bool IsLog(const os::SavePlace& place, std::span<const os::FileIdentity> logs) {
    return place.file && std::find(logs.begin(), logs.end(), *place.file) != logs.end();
}

// A report this user may write whose folder refuses a new file is written in place.
bool FolderRefuses(const Fault& fault) {
    return fault.systemError == EACCES || fault.systemError == EPERM;
}

}  // namespace

Result<std::unique_ptr<ReportFile>> ReportFile::Open(const std::string& savePath,
                                                     std::span<const os::FileIdentity> logs,
                                                     std::string_view textCodePage) {
    if (savePath.empty()) return SystemFault(ENOENT);
    const bool standardOutput = savePath == "-";
    Result<os::SavePlace> place =
        standardOutput ? os::LookAtStandardOutput() : os::LookAt(savePath);
    if (!place) return place.Failure();
    if (IsLog(*place, logs)) return Fault{0, kReportWouldReplaceLog};
    switch (place->kind) {
        case os::SavePlace::Kind::Stream: {
            Result<os::OutputFile> stream = standardOutput
                                                ? os::OutputFile::StandardOutput(textCodePage)
                                                : os::OutputFile::OpenThrough(place->path);
            if (!stream) return stream.Failure();
            std::unique_ptr<ReportFile> report(new ReportFile(Saving::Through, std::move(*place)));
            report->file_.emplace(std::move(*stream));
            return report;
        }
        case os::SavePlace::Kind::Directory:
            return SystemFault(EISDIR);
        case os::SavePlace::Kind::Regular:
            // Said before a log is read: replacing it would fail only at the end.
            if (place->inUse) return Fault{EBUSY, kReportInUse};
            // Replacing a file takes what writing into it would: a file this user
            // may not write stays as it is.
            if (place->unwritable) return *place->unwritable;
            break;
        case os::SavePlace::Kind::Missing:
            break;
    }
    return Replacing(std::move(*place));
}

// A new file beside the target; where the folder refuses one, the target itself.
Result<std::unique_ptr<ReportFile>> ReportFile::Replacing(os::SavePlace place) {
    const bool exists = place.kind == os::SavePlace::Kind::Regular;
    Result<os::NewFile> created = os::NewFile::CreateBeside(place);
    if (created) {
        std::unique_ptr<ReportFile> report(new ReportFile(Saving::Replaced, std::move(place)));
        if (exists && report->place_.names > 1) report->warnings_.push_back(kOtherNamesKept);
        report->newFile_.emplace(std::move(*created));
        return report;
    }
    if (!exists || !FolderRefuses(created.Failure())) return created.Failure();
    Result<os::OutputFile> target = os::OutputFile::OpenForOverwriting(place);
    if (!target) return created.Failure();
    std::unique_ptr<ReportFile> report(new ReportFile(Saving::InPlace, std::move(place)));
    report->warnings_.push_back(kWrittenInPlace);
    report->file_.emplace(std::move(*target));
    return report;
}

ReportFile::~ReportFile() = default;

Result<ReservedReport> ReportFile::Reserve(const std::function<std::int64_t()>& reportSize) {
    if (saving_ != Saving::InPlace || held_) return ReservedReport(*this);
    // The file changes from here on: its room first, then its bytes, then its
    // length, none of which an ending signal may cut off from the rest.
    held_.emplace();
    if (Status fault = file_->Reserve(reportSize())) {
        held_.reset();
        return *fault;
    }
    return ReservedReport(*this);
}

Status ReportFile::Write(const char* bytes, std::size_t size) {
    written_ += std::int64_t(size);
    return newFile_ ? newFile_->File().Write(bytes, size) : file_->Write(bytes, size);
}

Status ReportFile::Commit() {
    switch (saving_) {
        case Saving::Through:
            return file_->Close();
        case Saving::Replaced:
            return CommitReplaced();
        case Saving::InPlace:
            return CommitInPlace();
    }
    return std::nullopt;
}

// Durable, with the replaced file's permissions, then in its place. Once renamed,
// the report is there and the previous one gone: a folder that cannot be synced is
// told of, not taken for a report that could not be saved.
Status ReportFile::CommitReplaced() {
    os::NewFile& file = *newFile_;
    Status fault = file.CopyPermissions(place_);
    if (!fault) fault = file.File().Sync();
    if (!fault) fault = file.Replace();
    if (fault) {
        newFile_.reset();
        return fault;
    }
    if (Status unsynced = file.SyncFolder())
        warnings_.push_back(kNameNotSynced + unsynced->Reason());
    newFile_.reset();
    return std::nullopt;
}

// The old tail cut off, all of it made durable, and only then the signals let go.
Status ReportFile::CommitInPlace() {
    os::OutputFile& file = *file_;
    Status fault = file.Truncate(written_);
    if (!fault) fault = file.Sync();
    if (Status closed = file.Close(); closed && !fault) fault = closed;
    file_.reset();
    held_.reset();
    return fault;
}

}  // namespace kestrin
