#include "os/OutputFile.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <utility>

#include "os/StopSignals.h"
#include "os/TemporaryNames.h"
#include "os/posix/Retrying.h"

namespace kestrin::os {
namespace {

constexpr int kMaxLinks = 40;                // as the kernel's own limit on a path
constexpr std::size_t kKeptNameBytes = 200;  // of the target's name in the temporary's

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

FileIdentity IdentityOf(const struct stat& file) {
    return {std::uint64_t(file.st_dev), std::uint64_t(file.st_ino)};
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

std::string HiddenName(const std::string& name) {
    std::string hidden = ".";
    return hidden.append(name, 0, kKeptNameBytes).append(".kestrin-").append(RandomSuffix());
}

// Where the links of a path lead: the last one names the file, or the name to
// create when nothing is there yet.
struct LinksEnd {
    std::string path;
    bool exists = false;
    struct stat info {};
};

Result<LinksEnd> FollowLinks(const std::string& path) {
    LinksEnd end{path};
    for (int links = 0;; ++links) {
        if (links > kMaxLinks) return SystemFault(ELOOP);
        if (lstat(end.path.c_str(), &end.info) != 0) {
            if (errno == ENOENT) return end;
            return SystemFault(errno);
        }
        end.exists = true;
        if (!S_ISLNK(end.info.st_mode) || IsDescriptorLink(end.path)) return end;
        std::string link(4096, '\0');
        const ssize_t size = readlink(end.path.c_str(), link.data(), link.size());
        if (size < 0) return SystemFault(errno);
        if (std::size_t(size) == link.size()) return SystemFault(ENAMETOOLONG);
        link.resize(std::size_t(size));
        end.path = link.starts_with('/') ? link : DirectoryOf(end.path) + "/" + link;
    }
}

// Anything but a regular file or a folder is a stream, written through; a stream
// that stands for a regular file (a descriptor's link) is that file too.
void DescribeStream(SavePlace& place) {
    place.kind = SavePlace::Kind::Stream;
    struct stat file;
    if (stat(place.path.c_str(), &file) == 0 && S_ISREG(file.st_mode))
        place.file = IdentityOf(file);
}

void DescribeRegular(SavePlace& place, const struct stat& info) {
    place.kind = SavePlace::Kind::Regular;
    place.file = IdentityOf(info);
    place.names = info.st_nlink;
    place.mode = info.st_mode & 07777;
    place.owner = info.st_uid;
    place.group = info.st_gid;
    if (faccessat(AT_FDCWD, place.path.c_str(), W_OK, AT_EACCESS) != 0)
        place.unwritable = SystemFault(errno);
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

}  // namespace

Result<SavePlace> LookAt(const std::string& path) {
    Result<LinksEnd> end = FollowLinks(path);
    if (!end) return end.Failure();
    SavePlace place{end->path};
    if (!end->exists) return place;
    if (S_ISREG(end->info.st_mode)) {
        DescribeRegular(place, end->info);
    } else if (S_ISDIR(end->info.st_mode)) {
        place.kind = SavePlace::Kind::Directory;
    } else {
        DescribeStream(place);
    }
    return place;
}

Result<SavePlace> LookAtStandardOutput() {
    struct stat file;
    if (fstat(STDOUT_FILENO, &file) != 0) return SystemFault(errno);
    SavePlace place{"-", SavePlace::Kind::Stream};
    if (S_ISREG(file.st_mode)) place.file = IdentityOf(file);
    return place;
}

void OutputFile::Release(std::intptr_t handle) {
    close(int(handle));
}

Result<OutputFile> OutputFile::StandardOutput(std::string_view) {
    return OutputFile(STDOUT_FILENO, false);
}

Result<OutputFile> OutputFile::OpenThrough(const std::string& path) {
    // Non-blocking so that a FIFO nobody reads fails instead of hanging the run.
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return SystemFault(errno);
    OutputFile file(fd, true);
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return SystemFault(errno);
    return file;
}

Result<OutputFile> OutputFile::OpenForOverwriting(const SavePlace& place) {
    const int fd = open(place.path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return SystemFault(errno);
    return OutputFile(fd, true);
}

Status OutputFile::Write(const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t wrote = posix::Retrying([&] { return write(int(handle_), bytes, size); });
        if (wrote < 0) return SystemFault(errno);
        if (wrote == 0) return SystemFault(EIO);
        bytes += wrote;
        size -= std::size_t(wrote);
    }
    return std::nullopt;
}

Status OutputFile::Reserve(std::int64_t bytes) {
    return MakeRoom(int(handle_), bytes);
}

Status OutputFile::Truncate(std::int64_t bytes) {
    if (posix::Retrying([&] { return ftruncate(int(handle_), bytes); }) != 0)
        return SystemFault(errno);
    return std::nullopt;
}

Status OutputFile::Sync() {
    if (fsync(int(handle_)) != 0) return SystemFault(errno);
    return std::nullopt;
}

Status OutputFile::Close() {
    if (!owned_ || handle_ == -1) return std::nullopt;
    if (close(int(std::exchange(handle_, -1))) != 0) return SystemFault(errno);
    return std::nullopt;
}

// The place's folder, open for every step after the creation, and the names in it.
struct NewFile::Parts {
    int folder = -1;
    std::string name;       // the place's
    std::string temporary;  // the file's, while it has one
    int slot = -1;          // its entry for removal by an ending signal
};

NewFile::NewFile() : parts_(std::make_unique<Parts>()) {}
NewFile::NewFile(NewFile&& other) noexcept = default;
NewFile::~NewFile() {
    Discard();
}

Result<NewFile> NewFile::CreateBeside(const SavePlace& place) {
    NewFile created;
    Parts& parts = *created.parts_;
    parts.name = NameOf(place.path);
    if (parts.name.empty() || parts.name == "." || parts.name == "..") return SystemFault(EISDIR);
    parts.folder = open(DirectoryOf(place.path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (parts.folder < 0) return SystemFault(errno);
    const int fd = openat(parts.folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    // Linking it in needs its /proc name (or a privilege an ordinary user lacks).
    if (fd >= 0 && access("/proc/self/fd", X_OK) == 0) {
        created.file_ = OutputFile(fd, true);
        return created;
    }
    if (fd >= 0) close(fd);
    if (Status fault = created.CreateNamed()) return *fault;
    return created;
}

Status NewFile::CreateNamed() {
    // No ending signal between the file's creation and its entry for removal.
    const EndingSignalsHeld held;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = HiddenName(parts_->name);
        const int slot = temporary_names::Remember(parts_->folder, name.c_str(), name.size() + 1);
        const int fd = openat(parts_->folder, name.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            file_ = OutputFile(fd, true);
            parts_->temporary = std::move(name);
            parts_->slot = slot;
            return std::nullopt;
        }
        const int error = errno;
        temporary_names::Forget(slot);
        if (error != EEXIST) return SystemFault(error);
    }
    return SystemFault(EEXIST);
}

Status NewFile::CopyPermissions(const SavePlace& place) {
    const int fd = int(file_.handle_);
    const bool replacing = place.kind == SavePlace::Kind::Regular;
    // Owner and group first: a change of owner clears the mode's set-id bits.
    if (replacing && (uid_t(place.owner) != geteuid() || gid_t(place.group) != getegid()))
        (void)fchown(fd, uid_t(place.owner), gid_t(place.group));
    const mode_t mode = replacing ? mode_t(place.mode) : (0666 & ~CurrentUmask());
    if (fchmod(fd, mode) != 0) return SystemFault(errno);
    return std::nullopt;
}

Status NewFile::Replace() {
    Status fault = TakePlace();
    if (fault) Discard();
    return fault;
}

// A file without a name gets a temporary one, for the rename that follows: linkat
// cannot replace a name.
Status NewFile::TakePlace() {
    Parts& parts = *parts_;
    if (parts.temporary.empty()) {
        const EndingSignalsHeld held;
        std::string name = HiddenName(parts.name);
        const int slot = temporary_names::Remember(parts.folder, name.c_str(), name.size() + 1);
        const std::string self = "/proc/self/fd/" + std::to_string(file_.handle_);
        if (linkat(AT_FDCWD, self.c_str(), parts.folder, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            const int error = errno;
            temporary_names::Forget(slot);
            return SystemFault(error);
        }
        parts.temporary = std::move(name);
        parts.slot = slot;
    }
    if (Status fault = file_.Close()) return fault;
    if (renameat(parts.folder, parts.temporary.c_str(), parts.folder, parts.name.c_str()) != 0)
        return SystemFault(errno);
    temporary_names::Forget(std::exchange(parts.slot, -1));
    parts.temporary.clear();
    return std::nullopt;
}

Status NewFile::SyncFolder() {
    const int folder = openat(parts_->folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return std::nullopt;
    const int synced = fsync(folder) == 0 ? 0 : errno;
    close(folder);
    if (synced != 0 && synced != EINVAL) return SystemFault(synced);
    return std::nullopt;
}

void NewFile::Discard() {
    if (!parts_) return;  // moved away
    file_ = OutputFile();
    if (!parts_->temporary.empty()) unlinkat(parts_->folder, parts_->temporary.c_str(), 0);
    parts_->temporary.clear();
    temporary_names::Forget(std::exchange(parts_->slot, -1));
    if (parts_->folder >= 0) close(std::exchange(parts_->folder, -1));
}

}  // namespace kestrin::os
