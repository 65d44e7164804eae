#pragma once
// The platform services a program with windows installs at start: message boxes as
// QMessageBox with German buttons, the message pump over the Qt event loop, the
// clipboard over the desktop's, and Qt's own texts in German.
#include <QString>

class QTranslator;

namespace app {

void InstallGuiMessageBoxSink();
// processEvents at most every few milliseconds, so loops that pump once per item do not
// spend their time in the event loop.
void InstallGuiPumpHook();
void InstallGuiClipboard();

// The application's name "Quarry-HTML", and no display name: Qt appends a display name
// to every window title on X11 and Wayland, and titles must be exactly the captions the
// program sets.
void SetApplicationNames();

// Qt's German translation ("qtbase_de" in `folder`, by default Qt's translations
// folder), so the standard dialogs and buttons (folder picker, colour dialog, edit menus)
// speak German like the rest of the program. The translator belongs to the application;
// nullptr when the translation is not there.
QTranslator* InstallQtGermanTranslation(const QString& folder = {});

}  // namespace app
