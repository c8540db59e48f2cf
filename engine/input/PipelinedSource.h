#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "input/ByteSource.h"

namespace kestrin {

/// The bytes of `below` (which must outlive this), read ahead on a thread of their
/// own into a few buffers, so that a decoder and the tally of its lines run on two
/// cores. A fault of `below` is handed out where it was met, after every byte
/// before it. Destroying it (as a stop does) ends the reading thread once its
/// buffer is full, never later; when no thread can be started, `below` is read here.
class PipelinedSource : public ByteSource {
  public:
    explicit PipelinedSource(ByteSource& below);
    ~PipelinedSource() override;

    Result<std::size_t> Read(char* into, std::size_t size) override;
    /// The bytes of the file the reading thread had taken for the bytes handed out.
    std::int64_t Consumed() const override { return consumed_; }

  private:
    // A buffer of bytes read ahead, as the file stood once they were. Its bytes are
    // written by the reading alone, never zeroed first: a megabyte a block.
    using Buffer = std::unique_ptr<char[]>;
    struct Block {
        Buffer bytes;
        std::size_t size = 0;
        std::int64_t consumed = 0;
        Status fault;
        bool last = false;
    };

    void ReadAhead();
    Block Fill(Buffer buffer);

    ByteSource& below_;
    // Shared by both threads, under the lock.
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Block> ready_;
    std::vector<Buffer> spare_;
    bool closed_ = false;
    // The reading side's.
    Block current_;
    std::size_t at_ = 0;
    std::int64_t consumed_;
    std::vector<std::jthread> thread_;
};

}  // namespace kestrin
