#include "input/ArchiveReader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "input/ArchiveLibrary.h"

namespace kestrin {
namespace {

using namespace std::string_view_literals;

constexpr std::size_t kBlock = 1 << 20;
constexpr std::int64_t kTarBlock = 512;

std::uint64_t LittleEndian(std::string_view bytes, std::size_t at, std::size_t length) {
    std::uint64_t value = 0;
    for (std::size_t i = length; i-- > 0;) value = value << 8 | std::uint8_t(bytes[at + i]);
    return value;
}

// The records after a zip's members: a signature, a fixed part, and as many bytes
// more as the fixed part says.
struct ZipRecord {
    std::string_view signature;
    std::size_t fixed;
    std::array<std::size_t, 3> lengths;  // of two bytes each, at these offsets; 0 for none
    std::size_t wide;                    // or one length of this many bytes, at offset 0
};

constexpr ZipRecord kZipRecords[] = {
    {"PK\1\2"sv, 42, {24, 26, 28}, 0},  // a member, its name, extra field and comment
    {"PK\5\5"sv, 2, {}, 2},             // the directory's signature
    {"PK\6\6"sv, 8, {}, 8},             // zip64's end record
    {"PK\6\7"sv, 16, {}, 0},            // zip64's locator
    {"PK\5\6"sv, 18, {16}, 0},          // the end record, and its comment: last
};

std::uint64_t BytesAfter(const ZipRecord& record, std::string_view fixed) {
    std::uint64_t after = record.wide > 0 ? LittleEndian(fixed, 0, record.wide) : 0;
    for (const std::size_t at : record.lengths) after += at > 0 ? LittleEndian(fixed, at, 2) : 0;
    return after;
}

// macOS writes a file's extended attributes and resource fork beside it, as
// `._name`, and its zips keep them under `__MACOSX/`: no log of the user's. A tar
// made of a folder's "." names its members `./name`.
bool IsMetadata(std::string_view name) {
    while (name.starts_with("./")) name.remove_prefix(2);
    const std::size_t slash = name.rfind('/');
    const std::string_view base = slash == name.npos ? name : name.substr(slash + 1);
    return name.starts_with("__MACOSX/") || base.starts_with("._");
}

std::string_view KindName(LogForm form) {
    return form == LogForm::Zip ? "zip archive" : "tar archive";
}

}  // namespace

// The stream under the archives, a block at a time, the last two blocks kept: what
// follows an archive's end, which libarchive has taken ahead but not read, is read
// again from there.
class ArchiveReader::Feed {
  public:
    explicit Feed(ByteSource& below) : below_(below) {
        for (std::vector<char>& block : blocks_) block.resize(kBlock);
    }

    // The next bytes from where the feed stands: empty at the stream's end. They
    // stay valid until the next call.
    Result<std::string_view> Block() {
        for (const int i : {1 - last_, last_}) {
            if (at_ >= starts_[i] && at_ < starts_[i] + std::int64_t(sizes_[i])) {
                const auto from = std::size_t(at_ - starts_[i]);
                at_ += std::int64_t(sizes_[i] - from);
                return std::string_view(blocks_[i].data() + from, sizes_[i] - from);
            }
        }
        if (ended_) return std::string_view();
        // A block is filled whole, so that the bytes libarchive takes ahead are
        // within the last two.
        const int next = 1 - last_;
        std::size_t size = 0;
        while (size < kBlock) {
            Result<std::size_t> got = below_.Read(blocks_[next].data() + size, kBlock - size);
            if (!got) return got.Failure();
            if (*got == 0) {
                ended_ = true;
                break;
            }
            size += *got;
        }
        starts_[next] = at_;
        sizes_[next] = size;
        last_ = next;
        at_ += std::int64_t(size);
        return std::string_view(blocks_[next].data(), size);
    }

    // Stands again at `offset` of the stream, which must be within the last two blocks.
    Status Rewind(std::int64_t offset) {
        const std::int64_t kept = sizes_[1 - last_] > 0 ? starts_[1 - last_] : starts_[last_];
        if (offset < kept || offset > at_)
            return Fault{0, "the archive's end lies outside the bytes read ahead of it"};
        at_ = offset;
        return std::nullopt;
    }

    // Up to `size` bytes from where the feed stands, fewer only at the stream's end.
    Result<std::string> Take(std::size_t size) {
        std::string taken;
        while (taken.size() < size) {
            const std::int64_t from = at_;
            Result<std::string_view> block = Block();
            if (!block) return block.Failure();
            if (block->empty()) break;
            const std::size_t part = std::min(block->size(), size - taken.size());
            taken.append(block->data(), part);
            at_ = from + std::int64_t(part);
        }
        return taken;
    }

    // Passes over `size` bytes: false when the stream ends first.
    Result<bool> Skip(std::uint64_t size, const StopCheck& stop) {
        while (size > 0) {
            if (Status stopped = stop()) return *stopped;
            const std::int64_t from = at_;
            Result<std::string_view> block = Block();
            if (!block) return block.Failure();
            if (block->empty()) return false;
            const auto part = std::min<std::uint64_t>(block->size(), size);
            at_ = from + std::int64_t(part);
            size -= part;
        }
        return true;
    }

    std::int64_t At() const { return at_; }
    std::int64_t Consumed() const { return below_.Consumed(); }

  private:
    ByteSource& below_;
    std::array<std::vector<char>, 2> blocks_;
    std::array<std::int64_t, 2> starts_{};
    std::array<std::size_t, 2> sizes_{};
    int last_ = 0;
    std::int64_t at_ = 0;
    bool ended_ = false;
};

// One archive read by libarchive from where the feed stands: its headers, and the
// current member's bytes.
class ArchiveReader::Pass : public ByteSource {
  public:
    Pass(Feed& feed, LogForm form)
        : feed_(feed),
          form_(form),
          library_(LoadArchiveLibrary()),
          archive_(library_ ? (*library_)->archive_read_new() : nullptr) {}
    ~Pass() override {
        if (archive_ != nullptr) Library().archive_read_free(archive_);
    }

    // The archive library's functions, once Open has succeeded.
    const ArchiveLibrary& Library() const { return **library_; }

    Status Open() {
        if (!library_) return Fault{0, "archives cannot be read: " + library_.Failure().Reason()};
        if (archive_ == nullptr) return SystemFault(ENOMEM);
        if (form_ == LogForm::Zip) {
            Library().archive_read_support_format_zip_streamable(archive_);
        } else {
            Library().archive_read_support_format_tar(archive_);
        }
        Library().archive_read_set_callback_data(archive_, this);
        Library().archive_read_set_read_callback(archive_, &Pass::ReadBlock);
        if (Library().archive_read_open1(archive_) != ARCHIVE_OK) return Failure();
        return std::nullopt;
    }

    // Passes over the rest of the current member: where the next header begins,
    // counted from the pass's start.
    Result<std::int64_t> SkipMember() {
        if (inMember_ && Library().archive_read_data_skip(archive_) < ARCHIVE_WARN)
            return *Failure();
        return Position();
    }

    // The next member's header, or null after the archive's end.
    Result<archive_entry*> Next() {
        archive_entry* entry = nullptr;
        const int rc = Library().archive_read_next_header(archive_, &entry);
        if (rc == ARCHIVE_EOF) return static_cast<archive_entry*>(nullptr);
        // A header to retry is a damaged one, whose member would be passed over in
        // silence. A warning is let through: it speaks of a name this locale cannot
        // spell, which the log's bytes do not care about, or of sizes or a check
        // that a member's headers disagree on, which the check of its data then finds.
        if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN) return *Failure();
        inMember_ = true;
        pending_ = {};
        zeros_ = memberAt_ = 0;
        memberEnded_ = false;
        return entry;
    }

    // Bytes of the archive libarchive has read, counted from the pass's start.
    std::int64_t Position() const { return Library().archive_filter_bytes(archive_, 0); }

    // The current member's bytes.
    Result<std::size_t> Read(char* into, std::size_t size) override {
        while (pending_.empty() && zeros_ == 0 && !memberEnded_) {
            const void* block = nullptr;
            std::size_t length = 0;
            la_int64_t offset = 0;
            const int rc = Library().archive_read_data_block(archive_, &block, &length, &offset);
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
    std::int64_t Consumed() const override { return feed_.Consumed(); }

    // The fault of the last failed call: ours when a read below failed, else
    // libarchive's words for it. An archive that ends where a header should
    // begin is cut short, which libarchive says without words.
    Status Failure() {
        if (belowFault_) return belowFault_;
        const char* text = Library().archive_error_string(archive_);
        const int error = Library().archive_errno(archive_);
        if (text == nullptr && error <= 0)
            return Fault{EILSEQ, "the " + std::string(KindName(form_)) + " is cut short"};
        return Fault{error > 0 && text == nullptr ? error : EILSEQ,
                     std::string("damaged archive: ") + (text != nullptr ? text : "unreadable")};
    }

  private:
    static la_ssize_t ReadBlock(archive*, void* data, const void** block) {
        auto& self = *static_cast<Pass*>(data);
        Result<std::string_view> got = self.feed_.Block();
        if (!got) {
            self.belowFault_ = got.Failure();
            return -1;
        }
        *block = got->data();
        return la_ssize_t(got->size());
    }

    Feed& feed_;
    LogForm form_;
    Result<const ArchiveLibrary*> library_;
    archive* archive_;
    Status belowFault_;
    std::string_view pending_;  // of the member's last block
    std::int64_t zeros_ = 0;    // of a hole before it
    std::int64_t memberAt_ = 0;
    bool memberEnded_ = true;
    bool inMember_ = false;  // a header was read, whose data libarchive may skip
};

ArchiveReader::ArchiveReader(ByteSource& below, LogForm form, ArchiveAgain again, StopCheck stop)
    : form_(form),
      again_(std::move(again)),
      stop_(stop ? std::move(stop) : [] { return Status(); }),
      feed_(std::make_unique<Feed>(below)) {}

ArchiveReader::~ArchiveReader() = default;

Result<bool> ArchiveReader::NextMember() {
    linked_.reset();
    linkedFeed_.reset();
    linkedInput_.reset();
    if (!pass_ && !ended_) {
        pass_ = std::make_unique<Pass>(*feed_, form_);
        if (Status fault = pass_->Open()) return *fault;
    }
    while (!ended_) {
        Result<bool> log = NextEntry();
        if (!log) return log.Failure();
        if (*log) return true;
        if (Status fault = AfterArchive()) return *fault;
    }
    return false;
}

ByteSource& ArchiveReader::Member() {
    if (linked_) return *linked_;
    return *pass_;
}

// The next member of the current archive that is a log: true when there is one,
// false at the archive's end. Those that are no log are counted.
Result<bool> ArchiveReader::NextEntry() {
    for (;;) {
        if (Status stopped = stop_()) return *stopped;
        Result<std::int64_t> header = pass_->SkipMember();
        if (!header) return header.Failure();
        headerAt_ = base_ + *header;
        Result<archive_entry*> entry = pass_->Next();
        if (!entry) return entry.Failure();
        if (*entry == nullptr) return false;
        const char* path = pass_->Library().archive_entry_pathname(*entry);
        name_ = path != nullptr ? path : "";
        const char* link = pass_->Library().archive_entry_hardlink(*entry);
        const auto type = pass_->Library().archive_entry_filetype(*entry);
        if (IsMetadata(name_)) {
            ++skipped_.metadata;
        } else if (pass_->Library().archive_entry_is_encrypted(*entry)) {
            return Fault{0, name_ + ": an encrypted archive is not read: unpack it first"};
        } else if (link != nullptr) {
            if (Status fault = HardLink(link)) return *fault;
            return true;
        } else if (type == AE_IFREG) {
            if (form_ == LogForm::Tar) headers_[name_] = headerAt_;
            return true;
        } else if (type == AE_IFDIR) {
            ++skipped_.folders;
        } else if (type == AE_IFLNK) {
            ++skipped_.symbolicLinks;
        } else {
            ++skipped_.specialFiles;
        }
    }
}

// A hard link holds no bytes of its own: extraction gives it the bytes of the
// member it names, which are read once more from where that member's header begins.
Status ArchiveReader::HardLink(const std::string& target) {
    const auto found = headers_.find(target);
    if (found == headers_.end())
        return Fault{0, name_ + ": a hard link to " + target + ", which is no member before it"};
    if (!again_)
        return Fault{0, name_ + ": a hard link to " + target +
                            ", which standard input cannot give again: name the archive as a file"};
    headers_[name_] = found->second;
    Result<std::unique_ptr<ByteSource>> input = again_(found->second);
    if (!input) return input.Failure();
    linkedInput_ = std::move(*input);
    linkedFeed_ = std::make_unique<Feed>(*linkedInput_);
    linked_ = std::make_unique<Pass>(*linkedFeed_, LogForm::Tar);
    if (Status fault = linked_->Open()) return fault;
    Result<archive_entry*> entry = linked_->Next();
    if (!entry) return entry.Failure();
    if (*entry == nullptr || linked_->Library().archive_entry_filetype(*entry) != AE_IFREG)
        return Fault{EILSEQ, name_ + ": the member " + target + " it links to is gone"};
    return std::nullopt;
}

// What follows an archive's end, from where libarchive stopped: another archive
// of the kind, which is read on; nothing; or a fault that says what it is.
Status ArchiveReader::AfterArchive() {
    const std::int64_t end = base_ + pass_->Position();
    pass_.reset();
    if (Status fault = feed_->Rewind(end)) return fault;
    return form_ == LogForm::Zip ? AfterZip() : AfterTar(end - headerAt_);
}

// A tar ends in two blocks of zeros, which libarchive has read, and is padded with
// zeros to its record's size. GNU tar reads one whose marker is missing, warning
// of nothing: so does this reader, but it warns.
Status ArchiveReader::AfterTar(std::int64_t marker) {
    for (;;) {
        if (Status stop = stop_()) return stop;
        const std::int64_t from = feed_->At();
        Result<std::string_view> block = feed_->Block();
        if (!block) return block.Failure();
        if (block->empty()) break;
        const std::size_t nonzero = block->find_first_not_of('\0');
        if (nonzero == std::string_view::npos) continue;
        return StartArchive(from + std::int64_t(nonzero));
    }
    if (marker < 2 * kTarBlock)
        warnings_.push_back("a tar archive has no end marker: it may have been cut short");
    ended_ = true;
    return std::nullopt;
}

// A zip's members are followed by its directory and its end record, whose
// signatures and lengths are read here to find its end.
Status ArchiveReader::AfterZip() {
    for (;;) {
        if (Status stopped = stop_()) return stopped;
        Result<bool> last = NextZipRecord();
        if (!last) return last.Failure();
        if (*last) break;
    }
    Result<std::string> more = feed_->Take(1);
    if (!more) return more.Failure();
    if (more->empty()) {
        ended_ = true;
        return std::nullopt;
    }
    return StartArchive(feed_->At() - 1);
}

// Passes over one record after a zip's members: true for the end record.
Result<bool> ArchiveReader::NextZipRecord() {
    const Fault cutShort{EILSEQ, "the zip archive is cut short"};
    Result<std::string> signature = feed_->Take(4);
    if (!signature) return signature.Failure();
    const auto record = std::find_if(std::begin(kZipRecords), std::end(kZipRecords),
                                     [&](const ZipRecord& r) { return r.signature == *signature; });
    if (record == std::end(kZipRecords)) {
        if (signature->size() < 4) return cutShort;
        return Fault{EILSEQ, "damaged archive: a zip's directory holds a record of no kind"};
    }
    Result<std::string> fixed = feed_->Take(record->fixed);
    if (!fixed) return fixed.Failure();
    if (fixed->size() < record->fixed) return cutShort;
    std::uint64_t after = BytesAfter(*record, *fixed);
    if (record == std::begin(kZipRecords)) {
        if (Status fault = CheckZipDirectory(*fixed)) return *fault;
        after -= LittleEndian(*fixed, 24, 2);
    }
    Result<bool> whole = feed_->Skip(after, stop_);
    if (!whole) return whole.Failure();
    if (!*whole) return cutShort;
    return record == std::end(kZipRecords) - 1;
}

// A member of the zip's directory, its name next: what the directory says it is,
// where its maker was a Unix one, the only word a zip has of a symbolic link, whose
// bytes are the name of the file it stands for. Read by then as a file, it has been
// counted. (Info-ZIP calls a member it read from a pipe a FIFO: its bytes are the
// pipe's, a log like any file's.)
Status ArchiveReader::CheckZipDirectory(std::string_view record) {
    Result<std::string> name = feed_->Take(LittleEndian(record, 24, 2));
    if (!name) return name.Failure();
    const unsigned maker = std::uint8_t(record[1]);
    const std::uint64_t type = LittleEndian(record, 34, 4) >> 16 & 0170000;
    if ((maker != 3 && maker != 19) || type != 0120000 || IsMetadata(*name)) return std::nullopt;
    return Fault{0, *name + ": a symbolic link, which a zip says only in its directory at its " +
                        "end, was read as a file: unpack the archive first"};
}

// Reads on at `at` of the stream, after an archive's end: another archive of the
// kind, or a fault that says what stands there instead.
Status ArchiveReader::StartArchive(std::int64_t at) {
    if (Status fault = feed_->Rewind(at)) return fault;
    Result<std::string> head = feed_->Take(kKindBytes);
    if (!head) return head.Failure();
    if (Status fault = feed_->Rewind(at)) return fault;
    const LogKind kind = KindOf(*head);
    if (kind.form != form_) {
        const std::string archive(KindName(form_));
        return Fault{EILSEQ, "the " + archive + " is followed by " + std::string(kind.name) +
                                 ", not by another " + archive};
    }
    base_ = headerAt_ = at;
    pass_ = std::make_unique<Pass>(*feed_, form_);
    return pass_->Open();
}

}  // namespace kestrin
