#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "os/Fault.h"
#include "os/File.h"

namespace kestrin::os {

/// What a path to save to names, looked at without opening it for writing.
struct SavePlace {
    enum class Kind {
        Missing,    // nothing there yet
        Regular,    // a file on disk
        Directory,  //
        Stream,     // anything else: a FIFO, a terminal, a device, standard output
    };

    /// The name to write. On POSIX systems a symbolic link is followed, link by
    /// link, to the name it finally gives, so that the link stays a link.
    std::string path;
    Kind kind = Kind::Missing;
    /// The regular file it is, or that a stream stands for (/dev/stdout on a file).
    std::optional<FileIdentity> file{};
    /// How many names (hard links) the regular file has.
    std::uint64_t names = 0;
    /// Why this user may not write into the regular file, when they may not.
    Status unwritable{};
    /// True when another program holds the regular file open and lets nobody write
    /// or replace it meanwhile, as a spreadsheet program holds the file it shows
    /// (Windows).
    bool inUse = false;
    /// The regular file's permission bits, owner and group (POSIX).
    std::uint32_t mode = 0;
    std::int64_t owner = -1, group = -1;
};

/// Looks at `path`: at the file its symbolic links lead to, if any.
Result<SavePlace> LookAt(const std::string& path);
/// Looks at standard output, a stream: what `file` it is when it is a regular one.
Result<SavePlace> LookAtStandardOutput();

/// A file open for writing, written from where it stands, all of every write or a
/// fault; writes are never cut short by a signal. Closed when it goes, but for
/// standard output.
class OutputFile {
  public:
    /// Standard output, written as it is and never closed. On a Windows console,
    /// which shows text and not bytes, what is written is taken for text in
    /// `textCodePage` (a name of os/CodePageNames.h), when given, and shown as the
    /// characters it is; a pipe or a file gets the bytes.
    static Result<OutputFile> StandardOutput(std::string_view textCodePage = {});
    /// What `path` names, to be written straight through: a FIFO nobody reads fails
    /// rather than waits.
    static Result<OutputFile> OpenThrough(const std::string& path);
    /// The regular file of `place`, to be written over from its start; nothing of it
    /// changes before it is.
    static Result<OutputFile> OpenForOverwriting(const SavePlace& place);

    OutputFile() = default;
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    Status Write(const char* bytes, std::size_t size);
    /// Room for `bytes` from the start, made before a byte is written there: a file
    /// smaller than that grows to it at once (its tail zeros), which fails on a full
    /// disk or past a file size limit without changing what the file holds.
    Status Reserve(std::int64_t bytes);
    /// Cuts the file at `bytes`.
    Status Truncate(std::int64_t bytes);
    /// Makes what was written durable.
    Status Sync();
    /// Closes it now, with the fault the system may tell only then; standard output
    /// stays open.
    Status Close();

  private:
    friend class NewFile;
    OutputFile(std::intptr_t handle, bool owned) : handle_(handle), owned_(owned) {}
    // Windows: the bytes held back to a line's end, and then written to the console
    // as text; everything the last time.
    Status WriteConsoleText(std::string_view bytes, bool last);
    // Closes the system's handle; each system its own.
    static void Release(std::intptr_t handle);

    // A descriptor, or a HANDLE; -1 for none.
    std::intptr_t handle_ = -1;
    bool owned_ = false;
    // The console's text code page (Windows), 0 for bytes; what waits for its line.
    unsigned consolePage_ = 0;
    std::string consoleHeld_;
};

/// A new file beside a save place, to take its place in one step: one without a
/// name where the file system can make one, so that nothing is left behind
/// whatever ends the process; else one under a hidden random name beside it
/// (".report.dat.kestrin-XXXX"), which Windows removes whatever ends the process
/// and the ending signals remove elsewhere. Removed when it goes without having
/// taken the place.
class NewFile {
  public:
    static Result<NewFile> CreateBeside(const SavePlace& place);

    NewFile(NewFile&& other) noexcept;
    NewFile& operator=(NewFile&&) = delete;
    ~NewFile();

    OutputFile& File() { return file_; }
    /// On POSIX systems, the permission bits of the place's file, and its owner and
    /// group where this user may give them (root may); for a new report those of a
    /// new file (0666 less the umask). A new file on Windows takes its folder's.
    Status CopyPermissions(const SavePlace& place);
    /// Takes the place's name in one step, closed; the place's file is then gone,
    /// or, on a fault, left as it was and this file removed.
    Status Replace();
    /// Makes the name it took durable, where the system does not by itself. A file
    /// system that cannot sync a folder is no fault.
    Status SyncFolder();

  private:
    struct Parts;  // each system's
    NewFile();
    Status CreateNamed();
    Status TakePlace();
    void Discard();

    OutputFile file_;
    std::unique_ptr<Parts> parts_;
};

}  // namespace kestrin::os
