#include "input/PeekedSource.h"

#include <algorithm>
#include <cstring>

namespace kestrin {

PeekedSource::PeekedSource(ByteSource& below, std::size_t bytes) : below_(below) {
    head_.resize(bytes);
    std::size_t size = 0;
    while (size < bytes) {
        Result<std::size_t> got = below_.Read(head_.data() + size, bytes - size);
        if (!got) {
            failure_ = got.Failure();
            break;
        }
        if (*got == 0) break;
        size += *got;
    }
    head_.resize(size);
}

Result<std::size_t> PeekedSource::Read(char* into, std::size_t size) {
    if (handedOut_ < head_.size()) {
        const std::size_t part = std::min(size, head_.size() - handedOut_);
        std::memcpy(into, head_.data() + handedOut_, part);
        handedOut_ += part;
        return part;
    }
    if (failure_) return *failure_;
    return below_.Read(into, size);
}

}  // namespace kestrin
