#include "os/File.h"

#include <utility>

namespace kestrin::os {

File::File(std::intptr_t handle, bool owned) : handle_(handle), owned_(owned) {}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      owned_(other.owned_),
      kind_(other.kind_),
      size_(other.size_),
      openedAt_(other.openedAt_),
      identity_(other.identity_) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (owned_ && handle_ != -1) Close(handle_);
        handle_ = std::exchange(other.handle_, -1);
        owned_ = other.owned_;
        kind_ = other.kind_;
        size_ = other.size_;
        openedAt_ = other.openedAt_;
        identity_ = other.identity_;
    }
    return *this;
}

File::~File() {
    if (owned_ && handle_ != -1) Close(handle_);
}

}  // namespace kestrin::os
