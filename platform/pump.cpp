#include "platform/pump.h"

#include <utility>

namespace platform {
namespace {
// Set once by the program at start, on the GUI thread; loops call it on the same thread.
std::function<void()>& Hook() {
  static std::function<void()> hook;
  return hook;
}
}  // namespace

void SetPumpHook(std::function<void()> hook) { Hook() = std::move(hook); }

void ProcessMessages() {
  if (auto& hook = Hook()) hook();
}

}  // namespace platform
