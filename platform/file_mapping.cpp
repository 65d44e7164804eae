#include "platform/file_mapping.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <mutex>

namespace platform {
namespace {

// The mappings the handler knows, read in the handler without a lock: a slot is filled
// (end before begin) before its mapping is handed out and emptied before it is unmapped.
struct Slot {
  std::atomic<uintptr_t> begin{0}, end{0};
  std::atomic<bool> failed{false};
  std::atomic<bool> used{false};
};
constexpr int kSlots = 64;
Slot g_slots[kSlots];
struct sigaction g_previous;
std::once_flag g_installed;
bool g_handlerInstalled = false;

void OnBusError(int sig, siginfo_t* info, void* context) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  for (Slot& slot : g_slots) {
    const uintptr_t begin = slot.begin.load(std::memory_order_acquire);
    const uintptr_t end = slot.end.load(std::memory_order_acquire);
    if (begin == 0 || address < begin || address >= end) continue;
    slot.failed.store(true, std::memory_order_release);
    // Zeros from the failed page to the end: the pages after a cut fail as well.
    const uintptr_t from = address & ~(page - 1);
    if (mmap(reinterpret_cast<void*>(from), end - from, PROT_READ, MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) !=
        MAP_FAILED)
      return;  // the access is made again and reads zeros
    break;
  }
  // Not a page of ours: as it would have been without us.
  if ((g_previous.sa_flags & SA_SIGINFO) && g_previous.sa_sigaction) {
    g_previous.sa_sigaction(sig, info, context);
    return;
  }
  if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN && g_previous.sa_handler) {
    g_previous.sa_handler(sig);
    return;
  }
  signal(sig, SIG_DFL);  // the access is made again and ends the process
}

void InstallHandler() {
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  g_handlerInstalled = sigaction(SIGBUS, &action, &g_previous) == 0;
}

int TakeSlot() {
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (g_slots[i].used.compare_exchange_strong(expected, true)) return i;
  }
  return -1;
}

}  // namespace

std::unique_ptr<ReadOnlyMapping> ReadOnlyMapping::Map(int fd, int64_t size) {
  struct stat st {};
  if (size <= 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  if (static_cast<uint64_t>(size) > SIZE_MAX) return nullptr;
  std::call_once(g_installed, InstallHandler);
  if (!g_handlerInstalled) return nullptr;
  const int slot = TakeSlot();
  if (slot < 0) return nullptr;
  void* data = mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, fd, 0);
  if (data == MAP_FAILED) {
    g_slots[slot].used.store(false);
    return nullptr;
  }
  Slot& s = g_slots[slot];
  s.failed.store(false);
  s.end.store(reinterpret_cast<uintptr_t>(data) + static_cast<uintptr_t>(size), std::memory_order_release);
  s.begin.store(reinterpret_cast<uintptr_t>(data), std::memory_order_release);
  return std::unique_ptr<ReadOnlyMapping>(new ReadOnlyMapping(static_cast<char*>(data), size, slot));
}

ReadOnlyMapping::~ReadOnlyMapping() {
  Slot& s = g_slots[slot_];
  s.begin.store(0, std::memory_order_release);
  s.end.store(0, std::memory_order_release);
  munmap(data_, static_cast<size_t>(size_));
  s.used.store(false, std::memory_order_release);
}

bool ReadOnlyMapping::Failed() const { return g_slots[slot_].failed.load(std::memory_order_acquire); }

}  // namespace platform
