#include "platform/clipboard.h"

#include <mutex>

namespace platform {
namespace {
std::mutex gMutex;
std::shared_ptr<Clipboard>& Instance() {
  static std::shared_ptr<Clipboard> instance = std::make_shared<MemoryClipboard>();
  return instance;
}
}  // namespace

bool MemoryClipboard::Open() {
  if (busy || open_) return false;
  open_ = true;
  return true;
}

bool MemoryClipboard::Empty() {
  if (!open_) return false;
  bytes.clear();
  unicodeText.clear();
  hasUnicodeText = false;
  return true;
}

void MemoryClipboard::SetBytes(ClipFormat format, std::string data) { bytes[format] = std::move(data); }

void MemoryClipboard::SetUnicodeText(std::u16string text) {
  unicodeText = std::move(text);
  hasUnicodeText = true;
}

Clipboard& TheClipboard() {
  std::lock_guard lock(gMutex);
  return *Instance();
}

std::shared_ptr<Clipboard> SetClipboard(std::shared_ptr<Clipboard> clipboard) {
  std::lock_guard lock(gMutex);
  if (!clipboard) clipboard = std::make_shared<MemoryClipboard>();
  std::swap(Instance(), clipboard);
  return clipboard;
}

}  // namespace platform
