#include "input/PipelinedSource.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>

namespace kestrin {
namespace {

// A megabyte a handover keeps the lock's cost out of sight; four of them read
// ahead keep both threads busy while either is briefly slower.
constexpr std::size_t kBlockBytes = 1 << 20;
constexpr std::size_t kBlocksAhead = 4;

}  // namespace

PipelinedSource::PipelinedSource(ByteSource& below) : below_(below), consumed_(below.Consumed()) {
    try {
        thread_.emplace_back([this] { ReadAhead(); });
    } catch (const std::system_error&) {
        // The system has no thread to spare: the log is read on this one.
    }
}

PipelinedSource::~PipelinedSource() {
    {
        std::lock_guard guard(lock_);
        closed_ = true;
    }
    changed_.notify_all();
    thread_.clear();
}

PipelinedSource::Block PipelinedSource::Fill(Buffer buffer) {
    Block block;
    block.bytes = buffer ? std::move(buffer) : std::make_unique_for_overwrite<char[]>(kBlockBytes);
    while (block.size < kBlockBytes) {
        Result<std::size_t> got =
            below_.Read(block.bytes.get() + block.size, kBlockBytes - block.size);
        if (!got) block.fault = got.Failure();
        if (!got || *got == 0) {
            block.last = true;
            break;
        }
        block.size += *got;
    }
    block.consumed = below_.Consumed();
    return block;
}

void PipelinedSource::ReadAhead() {
    for (bool last = false; !last;) {
        Buffer buffer;
        {
            std::unique_lock guard(lock_);
            changed_.wait(guard, [&] { return closed_ || ready_.size() < kBlocksAhead; });
            if (closed_) return;
            if (!spare_.empty()) {
                buffer = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        Block block = Fill(std::move(buffer));
        last = block.last;
        {
            std::lock_guard guard(lock_);
            ready_.push_back(std::move(block));
        }
        changed_.notify_all();
    }
}

Result<std::size_t> PipelinedSource::Read(char* into, std::size_t size) {
    if (thread_.empty()) return below_.Read(into, size);
    while (at_ == current_.size) {
        if (current_.last) {
            if (current_.fault) return *current_.fault;
            return std::size_t(0);
        }
        std::unique_lock guard(lock_);
        if (current_.bytes) spare_.push_back(std::move(current_.bytes));
        changed_.wait(guard, [&] { return !ready_.empty(); });
        current_ = std::move(ready_.front());
        ready_.pop_front();
        guard.unlock();
        changed_.notify_all();
        at_ = 0;
        consumed_ = current_.consumed;
    }
    const std::size_t part = std::min(size, current_.size - at_);
    std::memcpy(into, current_.bytes.get() + at_, part);
    at_ += part;
    return part;
}

}  // namespace kestrin
