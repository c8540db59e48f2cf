#include "report/ReportWriter.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace kestrin {

ReportWriter::ReportWriter(int fd, std::size_t bufferSize) : fd_(fd), buffer_(bufferSize) {}

void ReportWriter::Append(std::string_view bytes) {
    while (!bytes.empty()) {
        if (used_ == buffer_.size() && !Flush()) return;
        std::size_t part = std::min(bytes.size(), buffer_.size() - used_);
        std::memcpy(buffer_.data() + used_, bytes.data(), part);
        used_ += part;
        bytes.remove_prefix(part);
    }
}

void ReportWriter::WriteEntry(std::string_view url, std::uint64_t count) {
    char tail[32] = "\t ";
    char* end = std::to_chars(tail + 2, tail + sizeof tail - 2, count).ptr;
    *end++ = '\r';
    *end++ = '\n';
    Append(url);
    Append({tail, std::size_t(end - tail)});
}

void ReportWriter::WriteLine(std::string_view text) {
    Append(text);
    Append("\r\n");
}

bool ReportWriter::Flush() {
    std::size_t done = 0;
    while (error_ == 0 && done < used_) {
        ssize_t wrote = write(fd_, buffer_.data() + done, used_ - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            error_ = wrote < 0 ? errno : EIO;
            break;
        }
        done += std::size_t(wrote);
    }
    used_ = 0;
    return error_ == 0;
}

}  // namespace kestrin
