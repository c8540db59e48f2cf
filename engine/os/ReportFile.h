#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "os/Fault.h"
#include "os/File.h"

namespace kestrin::os {

/// The report's file, which takes the place of the previous report only once the
/// whole report is written, so that a failure, a stop or a crash leaves the
/// previous one as it was.
///
/// A save path naming a regular file, or nothing yet, gets a new temporary file in
/// the target's folder: one without a name where the file system can make one (so
/// that nothing is left behind whatever ends the process), else one under a random
/// hidden name, removed on failure and by the ending signals. Commit makes it
/// durable, gives it the replaced file's permission bits (a new report those of
/// 0666 less the umask) and puts it in the target's place in one step. A symbolic
/// link is followed to the file it finally names, which is replaced while the link
/// stays. Anything else (a FIFO, a terminal, a device, standard output, "-") is
/// written straight through.
///
/// Two cases cannot be replaced in one step, and each leaves a warning:
/// - a report that may be written but whose folder may not is written in place,
///   once Reserve has made room for the whole of it;
/// - a report with other names (hard links) is replaced under the one it was given,
///   and the others keep the previous report.
class ReportFile {
  public:
    /// Opens the report for `savePath`; "-" is standard output. The path must not
    /// name any of `logs`, by any name: that is a fault of its own ("the report
    /// would replace a log").
    static Result<std::unique_ptr<ReportFile>> Open(const std::string& savePath,
                                                    std::span<const FileIdentity> logs);

    /// An uncommitted report is discarded.
    virtual ~ReportFile() = default;

    /// Makes room for a report of `bytes` before anything is written, so that a
    /// full disk fails here rather than halfway through; needed before the first
    /// Write of a report written in place.
    virtual Status Reserve(std::int64_t bytes) = 0;
    /// Appends the bytes, all of them or a fault.
    virtual Status Write(const char* bytes, std::size_t size) = 0;
    /// After the last byte: the report takes the target's place. On a fault up to
    /// that step the temporary file is gone and the target untouched.
    virtual Status Commit() = 0;

    /// True when the report overwrites the target as it is written: once writing
    /// has begun it must run to its end.
    virtual bool WritesInPlace() const { return false; }
    /// What the user should know about how the report was saved, once committed.
    const std::vector<std::string>& Warnings() const { return warnings_; }

  protected:
    std::vector<std::string> warnings_;
};

/// The words of the fault of a save path that names a log.
inline constexpr const char* kReportWouldReplaceLog = "the report would replace a log";

}  // namespace kestrin::os
