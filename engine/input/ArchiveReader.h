#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "input/ByteSource.h"
#include "input/LogKind.h"

namespace kestrin {

/// The members of an archive that are not logs, passed over and counted by why.
struct SkippedMembers {
    std::uint64_t folders = 0;
    std::uint64_t symbolicLinks = 0;
    std::uint64_t specialFiles = 0;  // devices, FIFOs, sockets
    std::uint64_t metadata = 0;      // macOS's __MACOSX/ and ._ AppleDouble files

    std::uint64_t Total() const { return folders + symbolicLinks + specialFiles + metadata; }
    SkippedMembers& operator+=(const SkippedMembers& more) {
        folders += more.folders;
        symbolicLinks += more.symbolicLinks;
        specialFiles += more.specialFiles;
        metadata += more.metadata;
        return *this;
    }
};

/// The archive's bytes from `offset` of the stream the reader reads, read once
/// more from the start of its file, or why they cannot be.
using ArchiveAgain = std::function<Result<std::unique_ptr<ByteSource>>(std::int64_t offset)>;

/// The stop fault when the run is to stop: asked by loops that pass over bytes.
using StopCheck = std::function<Status()>;

/// The members of zip or tar archives, one after another, each read as a source of
/// its own, from a file and a pipe alike: members in the order of their own
/// headers, from the start to the end of the input. Archives of one kind that
/// follow one another (`cat a.tar b.tar`) are read as one; anything else after an
/// archive's end, but the zeros that pad a tar, is a fault that says what it is.
///
/// Regular files are logs, and so are a tar's hard links, read again from the
/// member they name when the archive can be read again (`again`); folders,
/// symbolic links, special files and macOS's metadata are passed over and counted.
/// A zip says that a member is a symbolic link only in its directory, at its end:
/// such a member, read by then as a file, is a fault. Encrypted members are a fault.
class ArchiveReader {
  public:
    /// Reads archives of `form` (Zip or Tar) from `below`, which must outlive the
    /// reader and stand at the first archive's start.
    ArchiveReader(ByteSource& below, LogForm form, ArchiveAgain again = {}, StopCheck stop = {});
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    /// Moves on to the next log among the members: true when there is one, false
    /// once the input is read to its end.
    Result<bool> NextMember();
    /// The member's path in the archive.
    const std::string& MemberName() const { return name_; }
    /// The current member's bytes, until the next call of NextMember.
    ByteSource& Member();

    const SkippedMembers& Skipped() const { return skipped_; }
    /// What the user should know of archives that were read whole all the same.
    const std::vector<std::string>& Warnings() const { return warnings_; }

    class Pass;
    class Feed;

  private:
    Result<bool> NextEntry();
    Status HardLink(const std::string& target);
    Status AfterArchive();
    Status AfterTar(std::int64_t marker);
    Status AfterZip();
    Result<bool> NextZipRecord();
    Status StartArchive(std::int64_t at);
    Status CheckZipDirectory(std::string_view record);

    LogForm form_;
    ArchiveAgain again_;
    StopCheck stop_;
    std::unique_ptr<Feed> feed_;
    std::unique_ptr<Pass> pass_;
    std::int64_t base_ = 0;      // of the archive being read, in the stream
    std::int64_t headerAt_ = 0;  // of the header read last, in the stream
    bool ended_ = false;
    std::string name_;
    SkippedMembers skipped_;
    std::vector<std::string> warnings_;
    // Where the header of each regular tar member begins, for the hard links to it.
    std::unordered_map<std::string, std::int64_t> headers_;
    // A hard link's member, read from the archive once more.
    std::unique_ptr<ByteSource> linkedInput_;
    std::unique_ptr<Feed> linkedFeed_;
    std::unique_ptr<Pass> linked_;
};

}  // namespace kestrin
