#include "os/ReportFile.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <utility>

#include "os/posix/Retrying.h"
#include "os/posix/TemporaryNames.h"

namespace kestrin::os {
namespace {

constexpr int kMaxLinks = 40;                // as the kernel's own limit on a path
constexpr std::size_t kKeptNameBytes = 200;  // of the target's name in the temporary's

constexpr const char* kWrittenInPlace =
    "the report's folder may not be written, so the report was written over the "
    "previous one in place, not replaced in one step";
constexpr const char* kNameNotSynced =
    "the report is saved, but a crash may yet lose its name: its folder could not be synced: ";
constexpr const char* kOtherNamesKept =
    "the report's other names (hard links) keep the previous report";

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsLog(const struct stat& file, std::span<const FileIdentity> logs) {
    const FileIdentity identity{std::uint64_t(file.st_dev), std::uint64_t(file.st_ino)};
    return std::find(logs.begin(), logs.end(), identity) != logs.end();
}

// A link in /proc stands for an open descriptor (/dev/stdout, /dev/fd/N): what it
// reads as may be no path at all, and what it stands for is written through.
bool IsDescriptorLink(const std::string& link) {
    struct statfs where;
    return statfs(DirectoryOf(link).c_str(), &where) == 0 && where.f_type == PROC_SUPER_MAGIC;
}

mode_t CurrentUmask() {
    // Read rather than set and reset, which would race with other threads' files.
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status) != nullptr)
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found) return mode_t(mask);
    }
    const mode_t mask = umask(022);
    umask(mask);
    return mask;
}

// A name nobody can guess, so that nobody can plant a file or link under it first.
std::string RandomSuffix() {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[12];
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != ssize_t(sizeof bytes)) {
        // Unpredictable enough where the kernel has no entropy yet; O_EXCL keeps it safe.
        struct timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        unsigned long long mix = now.tv_nsec ^ (now.tv_sec << 20) ^ (unsigned long long)getpid();
        for (unsigned char& byte : bytes) {
            mix = mix * 6364136223846793005ULL + 1442695040888963407ULL;
            byte = (unsigned char)(mix >> 56);
        }
    }
    std::string suffix;
    for (unsigned char byte : bytes) suffix += kAlphabet[byte % (sizeof kAlphabet - 1)];
    return suffix;
}

// The ending signals wait while a temporary name comes into being, so that none
// can end the process between its creation and its entry in the cleanup registry.
class EndingSignalsHeld {
  public:
    EndingSignalsHeld() {
        sigset_t ending;
        sigemptyset(&ending);
        for (int signal : {SIGHUP, SIGINT, SIGTERM}) sigaddset(&ending, signal);
        pthread_sigmask(SIG_BLOCK, &ending, &previous_);
    }
    ~EndingSignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

  private:
    sigset_t previous_;
};

Status WriteAll(int fd, const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t wrote = posix::Retrying([&] { return write(fd, bytes, size); });
        if (wrote < 0) return SystemFault(errno);
        if (wrote == 0) return SystemFault(EIO);
        bytes += wrote;
        size -= std::size_t(wrote);
    }
    return std::nullopt;
}

// Room for `bytes` from the start of `fd`, before a byte of it is overwritten: the
// file grows to that size at once where it is smaller, which fails (a full disk, a
// file size limit) without changing what it holds.
Status MakeRoom(int fd, std::int64_t bytes) {
    struct rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        std::uint64_t(bytes) > std::uint64_t(limit.rlim_cur))
        return SystemFault(EFBIG);
    struct stat file;
    if (fstat(fd, &file) != 0) return SystemFault(errno);
    if (bytes <= std::int64_t(file.st_size)) return std::nullopt;
    if (posix::Retrying([&] { return fallocate(fd, 0, 0, bytes); }) == 0) return std::nullopt;
    if (errno != EOPNOTSUPP && errno != ENOSYS) return SystemFault(errno);
    // A file system that cannot reserve: at least the free space must be there.
    struct statvfs space;
    if (fstatvfs(fd, &space) != 0) return SystemFault(errno);
    if (std::int64_t(space.f_bavail) * std::int64_t(space.f_frsize) <
        bytes - std::int64_t(file.st_size))
        return SystemFault(ENOSPC);
    return std::nullopt;
}

// Anything that is no regular file is written as it is, and closed at the end
// unless it is standard output.
class ThroughReport : public ReportFile {
  public:
    ThroughReport(int fd, bool owned) : fd_(fd), owned_(owned) {}
    ~ThroughReport() override {
        if (owned_ && fd_ >= 0) close(fd_);
    }
    Status Reserve(std::int64_t) override { return std::nullopt; }
    Status Write(const char* bytes, std::size_t size) override {
        return WriteAll(fd_, bytes, size);
    }
    Status Commit() override {
        if (!owned_) return std::nullopt;
        const int closed = close(std::exchange(fd_, -1));
        return closed == 0 ? std::nullopt : Status(SystemFault(errno));
    }

  private:
    int fd_;
    bool owned_;
};

// What is known of the file a report replaces.
struct Target {
    std::string path;
    bool exists = false;
    struct stat info {};
};

// A new file that takes the target's place at commit.
class ReplacingReport : public ReportFile {
  public:
    ~ReplacingReport() override { Discard(); }

    // The file is made in the target's folder: without a name where the file system
    // allows it, else under a hidden random one.
    Status Create(const Target& target) {
        name_ = NameOf(target.path);
        if (name_.empty() || name_ == "." || name_ == "..") return SystemFault(EISDIR);
        permissions_ = target.exists ? (target.info.st_mode & 07777) : (0666 & ~CurrentUmask());
        owner_ = target.exists ? target.info.st_uid : uid_t(-1);
        group_ = target.exists ? target.info.st_gid : gid_t(-1);
        if (target.exists && target.info.st_nlink > 1) warnings_.push_back(kOtherNamesKept);
        dirFd_ = open(DirectoryOf(target.path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dirFd_ < 0) return SystemFault(errno);
        fd_ = openat(dirFd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        // Linking it in needs its /proc name (or a privilege an ordinary user lacks).
        if (fd_ >= 0 && access("/proc/self/fd", X_OK) == 0) return std::nullopt;
        if (fd_ >= 0) close(std::exchange(fd_, -1));
        return CreateNamed();
    }

    Status Reserve(std::int64_t bytes) override { return MakeRoom(fd_, bytes); }
    Status Write(const char* bytes, std::size_t size) override {
        return WriteAll(fd_, bytes, size);
    }

    Status Commit() override {
        Status fault = Finish();
        if (!fault) fault = TakePlace();
        if (fault) {
            Discard();
            return fault;
        }
        // The new name itself must survive a crash too. Once renamed, the report is
        // there and the previous one gone: a folder that cannot be synced is told of,
        // not taken for a report that could not be saved.
        const int dir = openat(dirFd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            const int synced = fsync(dir) == 0 ? 0 : errno;
            if (synced != 0 && synced != EINVAL)
                warnings_.push_back(kNameNotSynced + SystemFault(synced).Reason());
            close(dir);
        }
        Discard();
        return std::nullopt;
    }

  private:
    Status CreateNamed() {
        const EndingSignalsHeld held;
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = ".";
            name.append(name_, 0, kKeptNameBytes).append(".kestrin-").append(RandomSuffix());
            // Entered before it exists: a signal between the two finds nothing to remove.
            const int slot = posix::RememberTemporaryName(dirFd_, name.c_str());
            fd_ = openat(dirFd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                         0600);
            if (fd_ >= 0) {
                temporaryName_ = std::move(name);
                cleanupSlot_ = slot;
                return std::nullopt;
            }
            const int error = errno;
            posix::ForgetTemporaryName(slot);
            if (error != EEXIST) return SystemFault(error);
        }
        return SystemFault(EEXIST);
    }

    // Owner and group as before where this user may give them (root may); then the
    // mode, which a change of owner would have cleared of set-id bits; then the bytes
    // are made durable.
    Status Finish() {
        if ((owner_ != uid_t(-1) && owner_ != geteuid()) ||
            (group_ != gid_t(-1) && group_ != getegid()))
            (void)fchown(fd_, owner_, group_);
        Status fault;
        if (fchmod(fd_, permissions_) != 0 || fsync(fd_) != 0) fault = SystemFault(errno);
        return fault;
    }

    // A file without a name gets a temporary one, for the rename that follows:
    // linkat cannot replace a name.
    Status TakePlace() {
        if (temporaryName_.empty()) {
            const EndingSignalsHeld held;
            std::string name = "." + name_.substr(0, kKeptNameBytes) + ".kestrin-" + RandomSuffix();
            const int slot = posix::RememberTemporaryName(dirFd_, name.c_str());
            const std::string self = "/proc/self/fd/" + std::to_string(fd_);
            if (linkat(AT_FDCWD, self.c_str(), dirFd_, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
                const int error = errno;
                posix::ForgetTemporaryName(slot);
                return SystemFault(error);
            }
            temporaryName_ = std::move(name);
            cleanupSlot_ = slot;
        }
        const int closed = close(std::exchange(fd_, -1));
        if (closed != 0) return SystemFault(errno);
        if (renameat(dirFd_, temporaryName_.c_str(), dirFd_, name_.c_str()) != 0)
            return SystemFault(errno);
        posix::ForgetTemporaryName(std::exchange(cleanupSlot_, -1));
        temporaryName_.clear();
        return std::nullopt;
    }

    void Discard() {
        if (fd_ >= 0) close(std::exchange(fd_, -1));
        if (!temporaryName_.empty()) unlinkat(dirFd_, temporaryName_.c_str(), 0);
        temporaryName_.clear();
        posix::ForgetTemporaryName(std::exchange(cleanupSlot_, -1));
        if (dirFd_ >= 0) close(std::exchange(dirFd_, -1));
    }

    int fd_ = -1;
    int dirFd_ = -1;  // the target's folder, for every step after Create
    int cleanupSlot_ = -1;
    std::string name_, temporaryName_;  // in the target's folder
    mode_t permissions_ = 0;
    uid_t owner_ = uid_t(-1);
    gid_t group_ = gid_t(-1);
};

// The target itself, overwritten from its start once room for the whole report is
// made, and cut to the report's length at commit.
class InPlaceReport : public ReportFile {
  public:
    explicit InPlaceReport(int fd) : fd_(fd) { warnings_.push_back(kWrittenInPlace); }
    ~InPlaceReport() override {
        if (fd_ >= 0) close(fd_);
    }
    bool WritesInPlace() const override { return true; }
    Status Reserve(std::int64_t bytes) override {
        reserved_ = true;
        return MakeRoom(fd_, bytes);
    }
    Status Write(const char* bytes, std::size_t size) override {
        // Nothing of the previous report goes before the whole report has room.
        if (!reserved_) return Fault{0, "the report was written before room was made for it"};
        written_ += std::int64_t(size);
        return WriteAll(fd_, bytes, size);
    }
    Status Commit() override {
        Status fault;
        if (ftruncate(fd_, written_) != 0 || fsync(fd_) != 0) fault = SystemFault(errno);
        if (close(std::exchange(fd_, -1)) != 0 && !fault) fault = SystemFault(errno);
        return fault;
    }

  private:
    int fd_;
    bool reserved_ = false;
    std::int64_t written_ = 0;
};

// Follows the links of `savePath` one by one: the last names the file to replace,
// or the name to create when nothing is there yet.
Result<Target> FollowLinks(const std::string& savePath) {
    Target target{savePath};
    for (int links = 0;; ++links) {
        if (links > kMaxLinks) return SystemFault(ELOOP);
        if (lstat(target.path.c_str(), &target.info) == 0) {
            target.exists = true;
        } else if (errno == ENOENT) {
            target.exists = false;
            return target;
        } else {
            return SystemFault(errno);
        }
        if (!S_ISLNK(target.info.st_mode)) return target;
        if (IsDescriptorLink(target.path)) {
            target.exists = true;
            target.info.st_mode = S_IFIFO;  // what it stands for is written through
            return target;
        }
        std::string link(4096, '\0');
        const ssize_t size = readlink(target.path.c_str(), link.data(), link.size());
        if (size < 0) return SystemFault(errno);
        if (std::size_t(size) == link.size()) return SystemFault(ENAMETOOLONG);
        link.resize(std::size_t(size));
        target.path = link.starts_with('/') ? link : DirectoryOf(target.path) + "/" + link;
    }
}

Result<std::unique_ptr<ReportFile>> OpenThrough(const std::string& savePath,
                                                std::span<const FileIdentity> logs) {
    struct stat file;
    if (savePath == "-") {
        if (fstat(STDOUT_FILENO, &file) != 0) return SystemFault(errno);
        if (S_ISREG(file.st_mode) && IsLog(file, logs)) return Fault{0, kReportWouldReplaceLog};
        return std::unique_ptr<ReportFile>(new ThroughReport(STDOUT_FILENO, false));
    }
    if (stat(savePath.c_str(), &file) == 0 && S_ISREG(file.st_mode) && IsLog(file, logs))
        return Fault{0, kReportWouldReplaceLog};
    // Non-blocking so that a FIFO nobody reads fails instead of hanging the run.
    const int fd = open(savePath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return SystemFault(errno);
    auto report = std::make_unique<ThroughReport>(fd, true);
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return SystemFault(errno);
    return std::unique_ptr<ReportFile>(std::move(report));
}

// A report this user may write whose folder refuses a new file is written in place.
bool FolderRefuses(const Fault& fault) {
    return fault.systemError == EACCES || fault.systemError == EPERM;
}

}  // namespace

Result<std::unique_ptr<ReportFile>> ReportFile::Open(const std::string& savePath,
                                                     std::span<const FileIdentity> logs) {
    if (savePath.empty()) return SystemFault(ENOENT);
    if (savePath == "-") return OpenThrough(savePath, logs);
    Result<Target> target = FollowLinks(savePath);
    if (!target) return target.Failure();
    if (target->exists && !S_ISREG(target->info.st_mode)) return OpenThrough(savePath, logs);
    if (target->exists && IsLog(target->info, logs)) return Fault{0, kReportWouldReplaceLog};
    // Replacing a file takes what writing into it would: a file this user may not
    // write stays as it is.
    if (target->exists && faccessat(AT_FDCWD, target->path.c_str(), W_OK, AT_EACCESS) != 0)
        return SystemFault(errno);

    auto replacing = std::make_unique<ReplacingReport>();
    Status fault = replacing->Create(*target);
    if (!fault) return std::unique_ptr<ReportFile>(std::move(replacing));
    if (!target->exists || !FolderRefuses(*fault)) return *fault;
    const int fd = open(target->path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return *fault;
    return std::unique_ptr<ReportFile>(new InPlaceReport(fd));
}

}  // namespace kestrin::os
