#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <span>
#include <string>

namespace kestrin {

/// True when `file` is one of `logs`, by device and inode: whatever name it has.
bool IsLog(const struct stat& file, std::span<const struct stat> logs);

/// The report's file, replaced only once the whole report is written.
///
/// A save path naming a regular file, or nothing yet, gets a new temporary file
/// beside the target (created exclusively, owner-only, under a random hidden name);
/// Commit makes it durable, gives it the replaced file's permission bits (a new
/// report those of 0666 less the umask) and renames it over the target. Until then
/// the previous report stays as it was, and a report that is not committed is
/// removed. A symbolic link is followed to the file it finally names, which is
/// replaced while the link stays. Anything else (a FIFO, a terminal, a device,
/// /dev/stdout) is written straight through, as before.
///
/// Failures are errno values. ETXTBSY means the save path names one of the logs.
class ReportFile {
  public:
    ReportFile() = default;
    /// An uncommitted report is discarded.
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    /// Opens the report for `savePath`, which must not be any of `logs` by any name:
    /// 0 or an errno. A report this object held before is discarded.
    int Open(const std::string& savePath, std::span<const struct stat> logs);

    /// Where the report is to be written (blocking), -1 when none is open.
    int Descriptor() const { return fd_; }
    /// True when the report goes straight to the save path's file.
    bool WritesThrough() const { return mode_ == Mode::Through; }
    /// The file the report replaces or creates; the save path for one written through.
    const std::string& TargetPath() const { return target_; }

    /// After the last byte: the report takes the target's place (or, written
    /// through, its descriptor is closed). 0 or the errno of the step that failed:
    /// up to the rename the temporary file is then gone and the target untouched;
    /// after it, the report is in place but may not survive a crash.
    int Commit();
    /// Gives the report up: the temporary file is removed, the target untouched.
    void Discard();

  private:
    enum class Mode { None, Through, Replace };

    int OpenThrough(const std::string& savePath, std::span<const struct stat> logs);
    int CreateTemporary();

    Mode mode_ = Mode::None;
    int fd_ = -1;
    int dirFd_ = -1;  // the target's directory, for every step after Open
    int cleanupSlot_ = -1;
    std::string target_;
    std::string targetName_, temporaryName_;  // in the target's directory
    mode_t permissions_ = 0;
    uid_t owner_ = uid_t(-1);
    gid_t group_ = gid_t(-1);
};

}  // namespace kestrin
