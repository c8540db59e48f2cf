#include "input/ArchiveReader.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "input/FileSource.h"

namespace kestrin {

// libarchive pulls the archive's bytes through callbacks: from the source below, or
// at any offset of the file when it may seek.
class ArchiveReader::State : public ByteSource {
  public:
    State(ByteSource& below, const os::File* file)
        : below_(below), file_(file), archive_(archive_read_new()), block_(1 << 20) {}
    ~State() override { archive_read_free(archive_); }

    Status Open() {
        if (archive_ == nullptr) return SystemFault(ENOMEM);
        archive_read_support_format_tar(archive_);
        archive_read_support_format_zip(archive_);
        archive_read_set_callback_data(archive_, this);
        archive_read_set_read_callback(archive_, &State::ReadBlock);
        if (file_ != nullptr) archive_read_set_seek_callback(archive_, &State::Seek);
        if (archive_read_open1(archive_) != ARCHIVE_OK) return Failure();
        return std::nullopt;
    }

    Result<bool> NextMember(std::string& name) {
        for (;;) {
            archive_entry* entry = nullptr;
            const int rc = archive_read_next_header(archive_, &entry);
            if (rc == ARCHIVE_EOF) return false;
            // A header to retry is a damaged one, whose member would be passed over
            // in silence. A warning is let through: it speaks of a name this locale
            // cannot spell, which the log's bytes do not care about, or of sizes or a
            // check that a member's headers disagree on, which the check of its data
            // then finds.
            if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN) return *Failure();
            // A hard link in a tar holds no bytes of its own: its file is a member already.
            if (archive_entry_filetype(entry) != AE_IFREG ||
                archive_entry_hardlink(entry) != nullptr)
                continue;
            const char* path = archive_entry_pathname(entry);
            name = path != nullptr ? path : "";
            pending_ = {};
            zeros_ = memberAt_ = 0;
            memberEnded_ = false;
            return true;
        }
    }

    // The current member's bytes.
    Result<std::size_t> Read(char* into, std::size_t size) override {
        while (pending_.empty() && zeros_ == 0 && !memberEnded_) {
            const void* block = nullptr;
            std::size_t length = 0;
            la_int64_t offset = 0;
            const int rc = archive_read_data_block(archive_, &block, &length, &offset);
            if (rc == ARCHIVE_EOF) {
                // A hole may end the member too.
                zeros_ = offset > memberAt_ ? offset - memberAt_ : 0;
                memberEnded_ = true;
            } else if (rc != ARCHIVE_OK) {
                // A member whose check or size does not come out ends in a warning.
                return *Failure();
            } else {
                // A sparse member's holes are zeros that come as gaps between blocks.
                zeros_ = offset > memberAt_ ? offset - memberAt_ : 0;
                pending_ = {static_cast<const char*>(block), length};
            }
        }
        if (zeros_ > 0) {
            const auto part = std::size_t(std::min<std::int64_t>(std::int64_t(size), zeros_));
            std::memset(into, 0, part);
            zeros_ -= std::int64_t(part);
            memberAt_ += std::int64_t(part);
            return part;
        }
        const std::size_t part = std::min(size, pending_.size());
        if (part > 0) std::memcpy(into, pending_.data(), part);
        pending_.remove_prefix(part);
        memberAt_ += std::int64_t(part);
        return part;
    }
    std::int64_t Consumed() const override { return file_ != nullptr ? at_ : below_.Consumed(); }

  private:
    // The fault of the last failed call: ours when a read below failed, else
    // libarchive's words for it.
    Status Failure() {
        if (belowFault_) return belowFault_;
        const char* text = archive_error_string(archive_);
        const int error = archive_errno(archive_);
        return Fault{error > 0 && text == nullptr ? error : EILSEQ,
                     std::string("damaged archive: ") + (text != nullptr ? text : "unreadable")};
    }

    static la_ssize_t ReadBlock(archive*, void* data, const void** block) {
        auto& self = *static_cast<State*>(data);
        *block = self.block_.data();
        Result<std::size_t> got = self.file_ != nullptr
                                      ? ReadLogAt(*self.file_, self.block_.data(),
                                                  self.block_.size(), self.at_, self.file_->Size())
                                      : self.below_.Read(self.block_.data(), self.block_.size());
        if (!got) {
            self.belowFault_ = got.Failure();
            return -1;
        }
        self.at_ += std::int64_t(*got);
        return la_ssize_t(*got);
    }

    static la_int64_t Seek(archive*, void* data, la_int64_t offset, int whence) {
        auto& self = *static_cast<State*>(data);
        const std::int64_t base = whence == SEEK_SET   ? 0
                                  : whence == SEEK_CUR ? self.at_
                                                       : self.file_->Size();
        if (base + offset < 0) return ARCHIVE_FATAL;
        self.at_ = base + offset;
        return self.at_;
    }

    ByteSource& below_;
    const os::File* file_;
    archive* archive_;
    std::vector<char> block_;
    std::int64_t at_ = 0;  // of the file, when it may seek
    Status belowFault_;
    std::string_view pending_;  // of the member's last block
    std::int64_t zeros_ = 0;    // of a hole before it
    std::int64_t memberAt_ = 0;
    bool memberEnded_ = true;
};

ArchiveReader::ArchiveReader(ByteSource& below, const os::File* file)
    : state_(std::make_unique<State>(below, file)) {}

ArchiveReader::~ArchiveReader() = default;

Result<bool> ArchiveReader::NextMember() {
    if (!opened_) {
        opened_ = true;
        if (Status fault = state_->Open()) return *fault;
    }
    return state_->NextMember(name_);
}

ByteSource& ArchiveReader::Member() {
    return *state_;
}

}  // namespace kestrin
