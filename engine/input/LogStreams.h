#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "input/ArchiveReader.h"
#include "input/ByteSource.h"
#include "input/LogKind.h"
#include "input/PeekedSource.h"
#include "input/PipelinedSource.h"
#include "os/File.h"

namespace kestrin {

/// How many first bytes of a log are read ahead: enough to tell its kind, and to
/// tell a user whether text that yielded nothing looked like text at all.
inline constexpr std::size_t kHeadBytes = 4096;
static_assert(kHeadBytes >= kKindBytes);

/// The logs one input holds, one after another, each a log of its own: the input
/// itself when it is text, its text when it is compressed, or the members of an
/// archive (each decompressed in turn where it is compressed). What KindOf says of
/// each layer's first bytes decides the next; an archive inside an archive, or a
/// form that is not read, is a fault.
class LogStreams {
  public:
    /// `input` stands at the input's start with its first kHeadBytes peeked; `file`
    /// is the input's file when it may be read at offsets, so that an archive's hard
    /// link may read again the member it names. Both must outlive this. `stop` is
    /// asked as bytes are passed over. With `readAhead`, a compressed log's text is
    /// decompressed on a thread of its own while the caller reads what came before.
    LogStreams(PeekedSource& input, const os::File* file, StopCheck stop = {},
               bool readAhead = false);
    ~LogStreams();

    /// The next log's bytes, valid until the next call; null after the last log.
    /// After a fault there are no more logs.
    Result<ByteSource*> Next();
    /// The first bytes of the log Next gave last.
    std::string_view Head() const { return head_; }
    /// The archive member Next gave last, empty for a log that is no member.
    const std::string& MemberName() const { return memberName_; }
    /// The archives' members that were no logs, and what the user should know of
    /// archives read whole all the same: both complete once Next gave null.
    const SkippedMembers& Skipped() const { return skipped_; }
    const std::vector<std::string>& Warnings() const { return warnings_; }

  private:
    Result<ByteSource*> Resolve(ByteSource& source, PeekedSource* peeked, bool inArchive);
    Result<ByteSource*> NextMember();
    ArchiveAgain Again(std::vector<LogForm> forms) const;

    PeekedSource& input_;
    const os::File* file_;
    StopCheck stop_;
    bool readAhead_;
    bool started_ = false;
    std::vector<std::unique_ptr<ByteSource>> layers_;         // of the current log
    std::vector<std::unique_ptr<ByteSource>> archiveLayers_;  // under the archive
    // Declared after the layers it reads, so that its thread ends before they go.
    std::unique_ptr<PipelinedSource> ahead_;
    std::unique_ptr<ArchiveReader> archive_;
    std::string_view head_;
    std::string memberName_;
    SkippedMembers skipped_;
    std::vector<std::string> warnings_;
};

}  // namespace kestrin
