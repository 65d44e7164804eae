#pragma once
// The platform services a program with windows installs at start: message boxes as
// QMessageBox with German buttons, the message pump over the Qt event loop, and the
// clipboard over the desktop's.
namespace app {

void InstallGuiMessageBoxSink();
// processEvents at most every few milliseconds, so loops that pump once per item do not
// spend their time in the event loop.
void InstallGuiPumpHook();
void InstallGuiClipboard();

}  // namespace app
