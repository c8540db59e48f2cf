#include "os/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "os/posix/Retrying.h"

namespace kestrin::os {

void File::Close(std::intptr_t handle) {
    close(int(handle));
}

Status File::ReadInfo() {
    struct stat info;
    if (fstat(int(handle_), &info) != 0) return SystemFault(errno);
    kind_ = S_ISREG(info.st_mode)   ? FileKind::Regular
            : S_ISDIR(info.st_mode) ? FileKind::Directory
                                    : FileKind::Other;
    size_ = S_ISREG(info.st_mode) ? std::int64_t(info.st_size) : 0;
    if (S_ISREG(info.st_mode))
        openedAt_ = std::max<std::int64_t>(lseek(int(handle_), 0, SEEK_CUR), 0);
    identity_ = {std::uint64_t(info.st_dev), std::uint64_t(info.st_ino)};
    return std::nullopt;
}

Result<File> File::OpenForReading(const std::string& path) {
    // Non-blocking, so that a FIFO without a writer fails the checks instead of
    // hanging the run; regular files read the same either way.
    const int handle = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) return SystemFault(errno);
    File file(handle, true);
    if (Status fault = file.ReadInfo()) return *fault;
    return file;
}

Result<File> File::StandardInput() {
    File file(STDIN_FILENO, false);
    if (Status fault = file.ReadInfo()) return *fault;
    return file;
}

Result<std::size_t> File::Read(char* into, std::size_t size) {
    const ssize_t got = posix::Retrying([&] { return read(int(handle_), into, size); });
    if (got < 0) return SystemFault(errno);
    return std::size_t(got);
}

Result<std::size_t> File::ReadAt(char* into, std::size_t size, std::int64_t offset) const {
    const ssize_t got = posix::Retrying([&] { return pread(int(handle_), into, size, offset); });
    if (got < 0) return SystemFault(errno);
    return std::size_t(got);
}

Result<FoundFile> FindOrdinaryFile(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return SystemFault(errno);
    if (S_ISDIR(info.st_mode)) return SystemFault(EISDIR);
    if (!S_ISREG(info.st_mode)) return Fault{0, "not a regular file"};
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name =
        std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
    if (name.empty() || name[0] == '.') return Fault{0, "a hidden file"};
    return FoundFile{{std::uint64_t(info.st_dev), std::uint64_t(info.st_ino)},
                     std::int64_t(info.st_size)};
}

}  // namespace kestrin::os
