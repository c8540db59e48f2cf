#include "os/OutputFile.h"

#include <utility>

namespace kestrin::os {

OutputFile::OutputFile(OutputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      owned_(other.owned_),
      consolePage_(other.consolePage_),
      consoleHeld_(std::move(other.consoleHeld_)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        if (owned_ && handle_ != -1) Release(handle_);
        handle_ = std::exchange(other.handle_, -1);
        owned_ = other.owned_;
        consolePage_ = other.consolePage_;
        consoleHeld_ = std::move(other.consoleHeld_);
    }
    return *this;
}

OutputFile::~OutputFile() {
    if (owned_ && handle_ != -1) Release(handle_);
}

}  // namespace kestrin::os
