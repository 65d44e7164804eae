#pragma once
#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/file.h"
#include "platform/large_buffer.h"

namespace search {

// A match in a block: its start and length in bytes.
struct BlockMatch {
  int64_t start = -1;
  int64_t length = 0;
};

// The blocks of a file in order from an offset, read and worked on ahead by reader threads
// while the caller takes the results: one thread's copies from the page cache alone take
// longer than its scan, and a block is scanned on the core that read it, while it is in
// that core's cache. Each reader has two slots, so it reads on while the caller looks at
// its last block. Block k starts at first + k * (block - overlap) and lies in its slot
// until the caller is done with it; a block that is short (the file was cut meanwhile),
// reaches the end or failed is the last. Without threads each block is read and worked on
// when it is asked for.
class ReadAhead {
 public:
  struct Block {
    char* data;
    int64_t pos, want, got;  // got < 0: the read failed
    std::vector<BlockMatch> matches;  // what the work found, positions in the file
  };
  // Runs on a reader thread (the matchers are only read there).
  using Work = std::function<void(Block&)>;

  ReadAhead(int fd, int64_t size, int64_t first, int64_t block, int64_t overlap, Work work)
      : fd_(fd), size_(size), first_(first), block_(block), step_(block - overlap), work_(std::move(work)),
        readerCount_(ReaderCount()), slots_(static_cast<size_t>(2 * readerCount_)) {
    // The blocks until one reaches the end.
    const int64_t rest = size_ - first_;
    count_ = rest <= 0 ? 0 : rest <= block_ ? 1 : (rest - block_ + step_ - 1) / step_ + 1;
    // One piece of memory for all slots; a single block needs no more than the file.
    const size_t stride = static_cast<size_t>((block_ + 63) / 64 * 64);
    memory_ = count_ < 2 ? platform::LargeBuffer(static_cast<size_t>(std::max<int64_t>(0, std::min(block_, rest))))
                         : platform::LargeBuffer(stride * slots_.size());
    for (size_t i = 0; i < slots_.size(); ++i) slots_[i].data = memory_.Data() + (count_ < 2 ? 0 : i * stride);
    if (count_ < 2) return;
    try {
      for (int t = 0; t < readerCount_; ++t) readers_.emplace_back([this, t] { Loop(t); });
    } catch (const std::system_error&) {
      Stop();  // all or none: a missing reader's blocks would never come
    }
  }
  ~ReadAhead() { Stop(); }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next block, valid until the next call; null after the last.
  Block* Next() {
    if (held_ >= 0) Release(held_);
    held_ = -1;
    if (ended_ || next_ >= count_) return nullptr;
    const int64_t k = next_++;
    Slot& slot = SlotOf(k);
    if (readers_.empty()) {
      Fill(slot, k);
    } else {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return slot.index == k; });
    }
    held_ = k;
    Block& b = slot.block;
    ended_ = b.got < 0 || b.got < b.want || b.pos + b.got >= size_;
    return &b;
  }

 private:
  // Past six the copies of more readers only wait for the memory's bandwidth.
  static int ReaderCount() { return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 2, 6); }
  struct Slot {
    char* data = nullptr;  // aligned, so UTF-16 units are read in place
    Block block{};
    int64_t index = -1;  // the block it holds, -1 when free
  };

  void Fill(Slot& slot, int64_t k) const {
    char* data = slot.data;
    const int64_t pos = first_ + k * step_;
    const int64_t want = std::min(block_, size_ - pos);
    Block& b = slot.block;
    b.data = data;
    b.pos = pos;
    b.want = want;
    b.got = platform::ReadFullyAt(fd_, data, want, pos);
    b.matches.clear();
    if (b.got >= 0) work_(b);
  }

  void Release(int64_t k) {
    if (readers_.empty()) return;
    {
      std::lock_guard lock(mutex_);
      SlotOf(k).index = -1;
    }
    changed_.notify_all();
  }

  void Loop(int reader) {
    for (int64_t k = reader; k < count_; k += readerCount_) {
      Slot& slot = SlotOf(k);
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || slot.index < 0; });
        if (stop_) return;
      }
      Fill(slot, k);
      {
        std::lock_guard lock(mutex_);
        slot.index = k;
      }
      changed_.notify_all();
    }
  }

  // The slots are a multiple of the readers: a slot's blocks are all one reader's.
  Slot& SlotOf(int64_t k) { return slots_[static_cast<size_t>(k % static_cast<int64_t>(slots_.size()))]; }

  void Stop() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : readers_) t.join();
    readers_.clear();
  }

  const int fd_;
  const int64_t size_, first_, block_, step_;
  const Work work_;
  const int readerCount_;
  int64_t count_ = 0;
  std::vector<Slot> slots_;
  platform::LargeBuffer memory_;
  std::vector<std::thread> readers_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  int64_t next_ = 0, held_ = -1;
  bool ended_ = false;
};

}  // namespace search
