#pragma once
#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <functional>
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
//
// The readers and their memory serve one scan after another: a store search for a word
// of a few hits scans from each hit to the next, and making six threads and clearing
// their slots for each would cost more than a small store's scan.
class ReadAhead {
 public:
  struct Block {
    char* data;
    int64_t pos, want, got;  // got < 0: the read failed
    std::vector<BlockMatch> matches;  // what the work found, positions in the file
  };
  // Runs on a reader thread (the matchers are only read there).
  using Work = std::function<void(Block&)>;

  ReadAhead() : readerCount_(ReaderCount()), slots_(static_cast<size_t>(2 * readerCount_)) {}
  ~ReadAhead() { Stop(); }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Begins a scan; what was read ahead for the scan before is given up.
  void Start(int fd, int64_t size, int64_t first, int64_t block, int64_t overlap, Work work) {
    std::unique_lock lock(mutex_);
    Halt(lock);
    fd_ = fd;
    size_ = size;
    first_ = first;
    block_ = block;
    step_ = block - overlap;
    work_ = std::move(work);
    // The blocks until one reaches the end.
    const int64_t rest = size_ - first_;
    count_ = rest <= 0 ? 0 : rest <= block_ ? 1 : (rest - block_ + step_ - 1) / step_ + 1;
    // One piece of memory for all slots; a single block needs no more than the file.
    const size_t stride = static_cast<size_t>((block_ + 63) / 64 * 64);
    const size_t needed = count_ < 2 ? static_cast<size_t>(std::max<int64_t>(0, std::min(block_, rest)))
                                     : stride * slots_.size();
    if (memory_.Size() < needed) memory_ = platform::LargeBuffer(needed);
    char* const base = memory_.Data();  // null while nothing was needed
    for (size_t i = 0; i < slots_.size(); ++i) {
      slots_[i].data = base && count_ >= 2 ? base + i * stride : base;
      slots_[i].index = -1;
    }
    next_ = 0;
    ended_ = false;
    threaded_ = false;
    if (count_ >= 2) {
      if (readers_.empty()) {
        try {
          // The readers begin once all are made (the lock is held): a reader filling its
          // slots holds the process's memory map against the making of the next one's stack.
          for (int t = 0; t < readerCount_; ++t) readers_.emplace_back([this, t] { Loop(t); });
        } catch (const std::system_error&) {
          // All or none: a missing reader's blocks would never come.
          stop_ = true;
          lock.unlock();
          changed_.notify_all();
          for (std::thread& t : readers_) t.join();
          readers_.clear();
          lock.lock();
          stop_ = false;
        }
      }
      threaded_ = !readers_.empty();
    }
    settingUp_ = false;
    ++scan_;
    changed_.notify_all();
  }

  // Ends the scan without waiting for the blocks being read: they are dropped when they
  // are read, and the next Start waits for them. The work must therefore own what it
  // uses, not refer to the caller's.
  void Finish() {
    {
      std::lock_guard lock(mutex_);
      count_ = 0;
      ++scan_;
    }
    changed_.notify_all();
  }

  // The next block of the scan, valid until the next call; null after the last.
  Block* Next() {
    if (ended_ || next_ >= count_) return nullptr;
    const int64_t k = next_++;
    Slot& slot = SlotOf(k);
    if (!threaded_) {
      Fill(slot, k);
    } else {
      std::unique_lock lock(mutex_);
      if (k > 0) SlotOf(k - 1).index = -1;  // the block the caller held is done with
      changed_.notify_all();
      changed_.wait(lock, [&] { return slot.index == k; });
    }
    Block& b = slot.block;
    ended_ = b.got < 0 || b.got < b.want || b.pos + b.got >= size_;
    return &b;
  }

 private:
  // Past six the copies of more readers only wait for the memory's bandwidth.
  static int ReaderCount() {
    static const int count = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 2, 6);
    return count;
  }
  struct Slot {
    char* data = nullptr;  // aligned, so UTF-16 units are read in place
    Block block{};
    int64_t index = -1;  // the block it holds, -1 when free
  };

  // Stops the readers of the scan and waits for the blocks they are reading; they wait
  // until settingUp_ is false and scan_ moves on.
  void Halt(std::unique_lock<std::mutex>& lock) {
    settingUp_ = true;
    ++scan_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return filling_ == 0; });
  }

  void Fill(Slot& slot, int64_t k) const {
    const int64_t pos = first_ + k * step_;
    const int64_t want = std::min(block_, size_ - pos);
    Block& b = slot.block;
    b.pos = pos;
    b.want = want;
    b.data = slot.data;
    b.got = platform::ReadFullyAt(fd_, b.data, want, pos);
    b.matches.clear();
    if (b.got >= 0) work_(b);
  }

  void Loop(int reader) {
    std::unique_lock lock(mutex_);
    int64_t seen = 0;
    while (true) {
      changed_.wait(lock, [&] { return stop_ || (!settingUp_ && scan_ != seen); });
      if (stop_) return;
      seen = scan_;
      if (!threaded_) continue;
      // The scan's parameters are only written while no reader fills a slot.
      for (int64_t k = reader; k < count_; k += readerCount_) {
        Slot& slot = SlotOf(k);
        changed_.wait(lock, [&] { return stop_ || scan_ != seen || slot.index < 0; });
        if (stop_) return;
        if (scan_ != seen) break;
        ++filling_;
        lock.unlock();
        Fill(slot, k);
        lock.lock();
        --filling_;
        if (scan_ != seen) {
          changed_.notify_all();  // Start waits for the fills of the scan before
          break;
        }
        slot.index = k;
        changed_.notify_all();
      }
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

  const int readerCount_;
  // The scan: written by Start while no reader fills a slot, read by the readers.
  int fd_ = -1;
  int64_t size_ = 0, first_ = 0, block_ = 0, step_ = 1;
  Work work_;
  int64_t count_ = 0;
  bool threaded_ = false;

  std::vector<Slot> slots_;
  platform::LargeBuffer memory_;
  std::vector<std::thread> readers_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false, settingUp_ = false;
  int64_t scan_ = 0;   // counts the scans' beginnings and ends of setting up
  int filling_ = 0;    // readers reading a block outside the lock
  int64_t next_ = 0;   // the caller's next block
  bool ended_ = false;
};

}  // namespace search
