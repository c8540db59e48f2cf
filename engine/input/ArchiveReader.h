#pragma once

#include <memory>
#include <string>

#include "input/ByteSource.h"
#include "os/File.h"

namespace kestrin {

/// The members of a zip or tar archive, one after another, each read as a source of
/// its own. Only regular files are members here: folders, links and devices in
/// the archive are passed over.
class ArchiveReader {
  public:
    /// Reads the archive from `below`, which must outlive the reader and stand at
    /// the archive's start. When `file` is the archive itself (a regular file, not
    /// decompressed first), the reader may also seek in it, which some zip files need,
    /// within the size it had when opened.
    explicit ArchiveReader(ByteSource& below, const os::File* file = nullptr);
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    /// Moves on to the next member: true when there is one, false after the last.
    Result<bool> NextMember();
    /// The member's path in the archive.
    const std::string& MemberName() const { return name_; }
    /// The current member's bytes, until the next call of NextMember.
    ByteSource& Member();

  private:
    class State;
    std::unique_ptr<State> state_;
    bool opened_ = false;
    std::string name_;
};

}  // namespace kestrin
