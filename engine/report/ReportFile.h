#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "os/Fault.h"
#include "os/File.h"
#include "os/OutputFile.h"
#include "os/StopSignals.h"

namespace kestrin {

class ReservedReport;

/// The report's file, which takes the place of the previous report only once the
/// whole report is written, so that a failure, a stop or a crash leaves the
/// previous one as it was. The one policy of saving, over the system's files
/// (os/OutputFile.h), on every system alike.
///
/// A report is saved in one of three ways:
/// - written through: a FIFO, a terminal, a device, standard output, "-";
/// - replaced in one step: a regular file, or a name with nothing there yet, gets a
///   new file beside it (os::NewFile), which Commit makes durable, gives the
///   replaced file's permissions and puts in its place. A symbolic link is followed
///   to the file it finally names, which is replaced while the link stays.
/// - written in place: a report that may be written but whose folder may not gets
///   no new file; it is written over the previous one once room for all of it is
///   made, and cut to its length at commit. From the room made to the commit no
///   ending signal cuts it (os::EndingSignalsHeld), so that it is the previous
///   report or the new one, never a part of each.
///
/// Two of them leave a warning: the report written in place, and a report with
/// other names (hard links), replaced under the one it was given while the others
/// keep the previous report.
class ReportFile {
  public:
    enum class Saving { Through, Replaced, InPlace };

    /// Opens the report for `savePath`; "-" is standard output. The path must not
    /// name any of `logs`, by any name: that is a fault of its own ("the report
    /// would replace a log"), and so are a report this user may not write and one
    /// another program holds open.
    /// `textCodePage` is the code page the report's bytes are text in, for a
    /// console that shows text (os::OutputFile::StandardOutput).
    static Result<std::unique_ptr<ReportFile>> Open(const std::string& savePath,
                                                    std::span<const os::FileIdentity> logs,
                                                    std::string_view textCodePage = {});

    /// An uncommitted report is discarded: a new file removed, the previous report
    /// left as it was (unless it was being written over).
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    Saving How() const { return saving_; }
    /// True when the report overwrites the previous one as it is written: once
    /// writing has begun it must run to its end.
    bool WritesInPlace() const { return saving_ == Saving::InPlace; }

    /// The report's bytes go through what this hands out, once: for a report
    /// written in place, room for `reportSize()` bytes (asked for then only) is made
    /// first, so that a full disk or a file size limit fails before a byte of the
    /// previous report changes, and the ending signals wait from then on.
    Result<ReservedReport> Reserve(const std::function<std::int64_t()>& reportSize);
    /// After the last byte: the report takes the target's place. On a fault up to
    /// that step a new file is gone and the target untouched.
    Status Commit();

    /// What the user should know about how the report was saved, once committed.
    const std::vector<std::string>& Warnings() const { return warnings_; }

  private:
    friend class ReservedReport;
    ReportFile(Saving saving, os::SavePlace place) : saving_(saving), place_(std::move(place)) {}
    static Result<std::unique_ptr<ReportFile>> Replacing(os::SavePlace place);
    Status Write(const char* bytes, std::size_t size);
    Status CommitReplaced();
    Status CommitInPlace();

    Saving saving_;
    os::SavePlace place_;
    // For a report written in place, from the room made until the file is closed:
    // declared before the file, so that it is let go after the file is closed.
    std::optional<os::EndingSignalsHeld> held_;
    std::optional<os::OutputFile> file_;  // written through, or in place
    std::optional<os::NewFile> newFile_;  // replacing the target
    std::int64_t written_ = 0;
    std::vector<std::string> warnings_;
};

/// Writes a report's bytes, and can be had only from ReportFile::Reserve: nothing
/// is written in place before room is made for the whole report.
class ReservedReport {
  public:
    /// Appends the bytes, all of them or a fault.
    Status Write(const char* bytes, std::size_t size) { return file_->Write(bytes, size); }

  private:
    friend class ReportFile;
    explicit ReservedReport(ReportFile& file) : file_(&file) {}
    ReportFile* file_;
};

/// The words of the fault of a save path that names a log.
inline constexpr const char* kReportWouldReplaceLog = "the report would replace a log";
/// The words of the fault of a report another program holds open.
inline constexpr const char* kReportInUse = "the report is open in another program";

}  // namespace kestrin
