#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "os/Fault.h"

namespace kestrin::os {

/// What a file is, as far as a run cares.
enum class FileKind { Regular, Directory, Other };

/// Which file a name or an open file stands for, whatever the name: two names of
/// one file (a link, a relative path) have one identity.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

/// A file open for reading: a log, or standard input. Reads are never cut short by
/// a signal; a failed one is a Fault with the system's reason.
class File {
  public:
    /// Opens `path` for reading, shared with whoever writes it (a log that grows).
    /// A FIFO opens without waiting for a writer.
    static Result<File> OpenForReading(const std::string& path);
    /// The process's standard input, which stays open after the File is gone.
    static Result<File> StandardInput();

    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    /// Up to `size` bytes from where the last read ended: the count, 0 at the end.
    Result<std::size_t> Read(char* into, std::size_t size);
    /// Up to `size` bytes from `offset`, so that several threads can each read their
    /// part of one file. Not to be mixed with Read on one file: on Windows it moves
    /// the position Read goes on from.
    Result<std::size_t> ReadAt(char* into, std::size_t size, std::int64_t offset) const;

    FileKind Kind() const { return kind_; }
    /// The size when opened, for a regular file.
    std::int64_t Size() const { return size_; }
    /// Where a regular file stood when opened: its start, but for standard input,
    /// which the shell may have left anywhere in its file.
    std::int64_t OpenedAt() const { return openedAt_; }
    FileIdentity Identity() const { return identity_; }

  private:
    File(std::intptr_t handle, bool owned);
    Status ReadInfo();
    // Closes the system's handle; each system its own.
    static void Close(std::intptr_t handle);

    // A descriptor, or a HANDLE; -1 for none.
    std::intptr_t handle_ = -1;
    bool owned_ = false;
    FileKind kind_ = FileKind::Other;
    std::int64_t size_ = 0;
    std::int64_t openedAt_ = 0;
    FileIdentity identity_{};
};

/// An ordinary file as its name found it: which file, and how big it was then.
struct FoundFile {
    FileIdentity identity{};
    std::int64_t size = 0;
};

/// The ordinary file `path` names: a regular one (links followed) that is not
/// hidden by its own name; else why it is none (no such file, a directory, a
/// device, a hidden name). Nothing is left open, so that a run may check any
/// number of logs before it reads one. A run reads only such logs.
Result<FoundFile> FindOrdinaryFile(const std::string& path);

}  // namespace kestrin::os
