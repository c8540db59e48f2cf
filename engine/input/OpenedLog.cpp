#include "input/OpenedLog.h"

namespace kestrin {

OpenedLog::OpenedLog(std::string path, os::File file)
    : path_(std::move(path)), file_(std::move(file)), source_(file_), start_(source_, kHeadBytes) {}

Result<std::unique_ptr<OpenedLog>> OpenedLog::Open(const std::string& path) {
    Result<os::File> file =
        path == "-" ? os::File::StandardInput() : os::File::OpenForReading(path);
    if (!file) return file.Failure();
    return std::unique_ptr<OpenedLog>(new OpenedLog(path, std::move(*file)));
}

}  // namespace kestrin
