#include "input/OpenedLog.h"

namespace kestrin {

Result<FoundLog> FindLog(const std::string& path) {
    if (path == "-") {
        // Only a regular file's identity counts: the report must not replace it.
        FoundLog input{path};
        if (Result<os::File> file = os::File::StandardInput();
            file && file->Kind() == os::FileKind::Regular) {
            input.identity = file->Identity();
            input.size = file->Size() - file->OpenedAt();
        }
        return input;
    }
    Result<os::FoundFile> found = os::FindOrdinaryFile(path);
    if (!found) return found.Failure();
    return FoundLog{path, found->identity, found->size};
}

// A file that may be read at offsets is read so throughout, as an archive's hard link
// reads it again: on Windows a read at an offset moves the file's own position.
OpenedLog::OpenedLog(std::string path, os::File file)
    : path_(std::move(path)),
      file_(std::move(file)),
      source_(file_, MayReadAtOffsets()),
      start_(source_, kHeadBytes) {}

Result<std::unique_ptr<OpenedLog>> OpenedLog::Open(const FoundLog& found) {
    const bool input = found.path == "-";
    Result<os::File> file =
        input ? os::File::StandardInput() : os::File::OpenForReading(found.path);
    if (!file) return file.Failure();
    // Another file may have taken the name since the run found the log.
    if (!input && (file->Kind() != os::FileKind::Regular || file->Identity() != found.identity))
        return Fault{0, "the log was replaced since the run began"};
    if (!input && file->Size() < found.size) return LogShrank();
    return std::unique_ptr<OpenedLog>(new OpenedLog(found.path, std::move(*file)));
}

}  // namespace kestrin
