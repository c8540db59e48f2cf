#include "tally/RecordStore.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kestrin::detail {
namespace {

constexpr std::size_t kMaxLength = 0x7FFFFFFF;
constexpr std::size_t kMaxBlocks = 4095;  // so that a reference + 1 fits 32 bits

}  // namespace

std::uint32_t RecordStore::Add(std::string_view url, std::string_view key) {
    if (url.size() > kMaxLength || key.size() > kMaxLength) throw std::length_error("URL too long");
    const std::uint32_t keyLength =
        key.data() == nullptr ? Record::kPlain : std::uint32_t(key.size());
    const std::size_t words = Words(url.size(), keyLength);
    if (blocks_.empty() || words > blockSize_ - blockUsed_.back()) {
        if (blocks_.size() == kMaxBlocks) throw std::length_error("too many distinct URLs");
        blockSize_ = std::max(kBlockWords, words);
        blocks_.push_back(std::make_unique<std::uint64_t[]>(blockSize_));
        blockUsed_.push_back(0);
    }
    auto ref = std::uint32_t((blocks_.size() - 1) << kOffsetBits | blockUsed_.back());
    blockUsed_.back() += words;

    Record* record = Resolve(ref);
    record->count = 1;
    record->length = std::uint32_t(url.size());
    record->keyLength = keyLength;
    if (!url.empty()) std::memcpy(record->Bytes(), url.data(), url.size());
    if (!key.empty()) std::memcpy(record->Bytes() + url.size(), key.data(), key.size());
    return ref;
}

}  // namespace kestrin::detail
