#include "platform/messagebox.h"

#include <mutex>

namespace platform {
namespace {
std::mutex gMutex;
std::shared_ptr<MessageBoxSink> gSink;
}  // namespace

std::shared_ptr<MessageBoxSink> SetMessageBoxSink(std::shared_ptr<MessageBoxSink> sink) {
  std::lock_guard lock(gMutex);
  std::swap(gSink, sink);
  return sink;
}

MsgResult DefaultAnswer(uint32_t flags) {
  const uint32_t buttons = flags & 0xF;
  const int which = (flags & mb::DefButton3) ? 2 : (flags & mb::DefButton2) ? 1 : 0;
  switch (buttons) {
    case mb::OkCancel: return which == 0 ? MsgResult::Ok : MsgResult::Cancel;
    case mb::YesNo: return which == 0 ? MsgResult::Yes : MsgResult::No;
    case mb::YesNoCancel:
      return which == 0 ? MsgResult::Yes : which == 1 ? MsgResult::No : MsgResult::Cancel;
    default: return MsgResult::Ok;
  }
}

MsgResult ShowMessageBox(const std::u16string& text, const std::u16string& caption, uint32_t flags) {
  std::shared_ptr<MessageBoxSink> sink;
  {
    std::lock_guard lock(gMutex);
    sink = gSink;
  }
  return sink ? sink->Show(text, caption, flags) : DefaultAnswer(flags);
}

}  // namespace platform
