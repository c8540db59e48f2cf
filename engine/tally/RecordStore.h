#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace kestrin::detail {

/// One byte form of a URL and how many lines yielded it. The URL's bytes follow
/// the record, then its sort key when the key is not the bytes themselves.
struct Record {
    static constexpr std::uint32_t kPlain = 0xFFFFFFFF;  // the bytes are the key

    std::uint64_t count;
    std::uint32_t keyLength;  // kPlain, or the length of the key after the bytes
    std::uint32_t length;     // the URL's bytes

    const char* Bytes() const { return reinterpret_cast<const char*>(this + 1); }
    char* Bytes() { return reinterpret_cast<char*>(this + 1); }
    std::string_view Url() const { return {Bytes(), length}; }
    /// What the record sorts and merges by: its UTF-16 code units, each written as
    /// UTF-8 would write that value, so that bytewise order is code unit order.
    std::string_view Key() const {
        return keyLength == kPlain ? Url() : std::string_view(Bytes() + length, keyLength);
    }
};

/// Records packed into big blocks and named by 32-bit references, which grow in
/// the order the records were made: the lowest of two is the form seen first.
class RecordStore {
  public:
    /// A new record with count 1; a null `key` means the bytes are their own key.
    /// Throws std::length_error past 4 G references or a URL of 2 GiB.
    std::uint32_t Add(std::string_view url, std::string_view key);

    Record* Resolve(std::uint32_t ref) const {
        return reinterpret_cast<Record*>(blocks_[ref >> kOffsetBits].get() +
                                         (ref & (kBlockWords - 1)));
    }

    /// Calls `visit(ref, record)` for every record, in the order they were made.
    template <typename Visit>
    void ForEach(Visit visit) const {
        for (std::size_t block = 0; block < blocks_.size(); ++block) {
            for (std::size_t at = 0; at < blockUsed_[block];) {
                auto ref = std::uint32_t(block << kOffsetBits | at);
                Record* record = Resolve(ref);
                at += Words(record->length, record->keyLength);
                visit(ref, record);
            }
        }
    }

  private:
    static constexpr unsigned kOffsetBits = 20;  // a block holds 2^20 words of 8 bytes
    static constexpr std::size_t kBlockWords = std::size_t(1) << kOffsetBits;

    static std::size_t Words(std::size_t length, std::uint32_t keyLength) {
        return 2 + (length + (keyLength == Record::kPlain ? 0 : keyLength) + 7) / 8;
    }

    std::vector<std::unique_ptr<std::uint64_t[]>> blocks_;
    std::vector<std::size_t> blockUsed_;  // words in use in each block
    std::size_t blockSize_ = 0;           // words in the last block
};

}  // namespace kestrin::detail
