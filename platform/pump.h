#pragma once
// "Process pending window messages": one process-wide hook that long loops call once per
// item. Without a GUI it does nothing; the programs install one that runs the Qt event
// loop (throttled by the hook itself).
#include <functional>

namespace platform {

void SetPumpHook(std::function<void()> hook);
void ProcessMessages();

}  // namespace platform
