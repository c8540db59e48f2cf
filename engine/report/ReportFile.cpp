#include "report/ReportFile.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "report/ReportCleanup.h"

namespace kestrin {
namespace {

constexpr int kMaxLinks = 40;                // as the kernel's own limit on a path
constexpr std::size_t kKeptNameBytes = 200;  // of the target's name in the temporary's

std::string DirectoryOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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
    mode_t mask = umask(022);
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

// The ending signals wait while a temporary file comes into being, so that none
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

}  // namespace

bool IsLog(const struct stat& file, std::span<const struct stat> logs) {
    for (const struct stat& log : logs)
        if (file.st_dev == log.st_dev && file.st_ino == log.st_ino) return true;
    return false;
}

ReportFile::~ReportFile() {
    Discard();
}

int ReportFile::Open(const std::string& savePath, std::span<const struct stat> logs) {
    Discard();
    target_.clear();
    if (savePath.empty()) return ENOENT;
    // Follow the links one by one: the last one names the file to replace, or the
    // name to create when nothing is there yet.
    std::string path = savePath;
    struct stat file {};
    bool exists = false;
    for (int links = 0;; ++links) {
        if (links > kMaxLinks) return ELOOP;
        if (lstat(path.c_str(), &file) == 0) {
            exists = true;
        } else if (errno == ENOENT) {
            break;
        } else {
            return errno;
        }
        if (!S_ISLNK(file.st_mode)) break;
        if (IsDescriptorLink(path)) return OpenThrough(savePath, logs);
        std::string link(4096, '\0');
        ssize_t size = readlink(path.c_str(), link.data(), link.size());
        if (size < 0) return errno;
        if (std::size_t(size) == link.size()) return ENAMETOOLONG;
        link.resize(std::size_t(size));
        path = link.starts_with('/') ? link : DirectoryOf(path) + "/" + link;
        exists = false;
    }
    if (exists && !S_ISREG(file.st_mode)) return OpenThrough(savePath, logs);
    if (exists && IsLog(file, logs)) return ETXTBSY;
    // Replacing a file takes what writing into it would: a file this user may not
    // write stays as it is.
    if (exists && faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return errno;

    target_ = path;
    targetName_ = NameOf(path);
    if (targetName_.empty() || targetName_ == "." || targetName_ == "..") return EISDIR;
    permissions_ = exists ? (file.st_mode & 07777) : (0666 & ~CurrentUmask());
    owner_ = exists ? file.st_uid : uid_t(-1);
    group_ = exists ? file.st_gid : gid_t(-1);
    dirFd_ = open(DirectoryOf(path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0) {
        int error = errno;
        Discard();
        return error;
    }
    if (int error = CreateTemporary(); error != 0) {
        Discard();
        return error;
    }
    mode_ = Mode::Replace;
    return 0;
}

int ReportFile::CreateTemporary() {
    EndingSignalsHeld held;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = ".";
        name.append(targetName_, 0, kKeptNameBytes).append(".kestrin-").append(RandomSuffix());
        // Entered before it exists: a signal between the two finds nothing to remove.
        int slot = RememberTemporaryReport(dirFd_, name.c_str());
        int fd = openat(dirFd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        0600);
        if (fd >= 0) {
            fd_ = fd;
            temporaryName_ = std::move(name);
            cleanupSlot_ = slot;
            return 0;
        }
        int error = errno;
        ForgetTemporaryReport(slot);
        if (error != EEXIST) return error;
    }
    return EEXIST;
}

int ReportFile::OpenThrough(const std::string& savePath, std::span<const struct stat> logs) {
    struct stat file;
    if (stat(savePath.c_str(), &file) == 0 && IsLog(file, logs)) return ETXTBSY;
    // Non-blocking so that a FIFO nobody reads fails instead of hanging the run.
    int fd = open(savePath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno;
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        int error = errno;
        close(fd);
        return error;
    }
    fd_ = fd;
    target_ = savePath;
    mode_ = Mode::Through;
    return 0;
}

int ReportFile::Commit() {
    if (mode_ == Mode::None) return EBADF;
    if (mode_ == Mode::Through) {
        int error = close(fd_) == 0 ? 0 : errno;
        fd_ = -1;
        mode_ = Mode::None;
        return error;
    }
    int error = 0;
    // Owner and group as before where this user may give them (root may); then the
    // mode, which a change of owner would have cleared of set-id bits.
    if ((owner_ != uid_t(-1) && owner_ != geteuid()) ||
        (group_ != gid_t(-1) && group_ != getegid()))
        (void)fchown(fd_, owner_, group_);
    if (fchmod(fd_, permissions_) != 0 || fsync(fd_) != 0) error = errno;
    if (close(fd_) != 0 && error == 0) error = errno;
    fd_ = -1;
    if (error == 0 && renameat(dirFd_, temporaryName_.c_str(), dirFd_, targetName_.c_str()) != 0)
        error = errno;
    if (error != 0) {
        Discard();
        return error;
    }
    ForgetTemporaryReport(cleanupSlot_);
    cleanupSlot_ = -1;
    temporaryName_.clear();
    // The rename itself must survive a crash too.
    int dir = openat(dirFd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        if (fsync(dir) != 0 && errno != EINVAL) error = errno;
        close(dir);
    }
    Discard();
    return error;
}

void ReportFile::Discard() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!temporaryName_.empty()) unlinkat(dirFd_, temporaryName_.c_str(), 0);
    ForgetTemporaryReport(cleanupSlot_);
    cleanupSlot_ = -1;
    temporaryName_.clear();
    if (dirFd_ >= 0) close(dirFd_);
    dirFd_ = -1;
    mode_ = Mode::None;
}

}  // namespace kestrin
