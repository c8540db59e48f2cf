#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "input/FileSource.h"
#include "input/LogKind.h"
#include "input/LogStreams.h"
#include "input/PeekedSource.h"
#include "os/File.h"

namespace kestrin {

/// A log as the run found it when it began, before it opened any: its name ("-"
/// for standard input), which file it was and how big.
struct FoundLog {
    std::string path;
    /// The file's identity, when it is a regular one: a pipe on standard input has none.
    std::optional<os::FileIdentity> identity{};
    std::int64_t size = 0;
};

/// The log `path` names when it is an ordinary file, else why it is none; standard
/// input ("-") is taken as it is. Nothing is left open.
Result<FoundLog> FindLog(const std::string& path);

/// One log of a run, open, its first bytes read once: what they say decides its
/// road. Its parts refer to each other, so it stays where it was made.
class OpenedLog {
  public:
    /// Opens the log the run found. A name that no longer stands for the file found,
    /// or for one as long, is a fault: the log is no longer what the run began with.
    static Result<std::unique_ptr<OpenedLog>> Open(const FoundLog& found);
    OpenedLog(const OpenedLog&) = delete;
    OpenedLog& operator=(const OpenedLog&) = delete;

    const std::string& Path() const { return path_; }
    const os::File& File() const { return file_; }
    /// Regular files are logs only as such; standard input may be anything.
    bool IsRegularFile() const { return file_.Kind() == os::FileKind::Regular; }
    /// The fault met while its first bytes were read, if any.
    const Status& Failure() const { return start_.Failure(); }

    /// True for a regular file named as such, which may be read at offsets of its
    /// own. Standard input never is, since it may stand anywhere in its file.
    bool MayReadAtOffsets() const { return path_ != "-" && IsRegularFile(); }
    /// True for text that may be read at offsets: the one log cut into ranges.
    bool IsTextFile() const {
        return MayReadAtOffsets() && KindOf(start_.Head()).form == LogForm::Text;
    }
    std::string_view Head() const { return start_.Head(); }

    /// The logs it holds, read as streams, from its start: itself, its text, or
    /// the members of an archive. Once only. `stop` is asked as bytes are passed over.
    LogStreams Streams(StopCheck stop = {}, bool readAhead = false) {
        return LogStreams(start_, MayReadAtOffsets() ? &file_ : nullptr, std::move(stop),
                          readAhead);
    }
    /// Bytes of the file read so far.
    std::int64_t Consumed() const { return start_.Consumed(); }

  private:
    OpenedLog(std::string path, os::File file);

    std::string path_;
    os::File file_;
    FileSource source_;
    PeekedSource start_;
};

}  // namespace kestrin
