#pragma once
// Starting the browser of the settings for a file or an address. Programs are started
// with an argument list, never through a shell, so no character of a path or address can
// become a command. "standard" and the browsers this system has no program for go to the
// desktop's default handler (xdg-open); Firefox, Edge and Chrome/Chromium chosen but not
// installed are reported with the warning of ShellExecuteChecked.
#include <memory>
#include <string>
#include <vector>

namespace app {

// The settings value "Browser".
class BrowserSettingStore {
 public:
  virtual ~BrowserSettingStore() = default;
  virtual std::u16string ReadBrowser() = 0;
  virtual void WriteBrowser(const std::u16string& value) = 0;
};

// Finding and starting programs; tests replace it.
class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // The program's path when an executable of that name is on PATH, else empty.
  virtual std::string FindProgram(const std::string& name) const;
  // Starts without waiting; false when the program could not be started.
  virtual bool Start(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& folder);
};
ProcessLauncher& DefaultLauncher();

// Starts the program; when that fails shows the warning "Datei: <program> kann nicht
// geöffnet werden" with an OK button.
bool ShellExecuteChecked(const std::u16string& program, const std::vector<std::u16string>& arguments,
                         const std::u16string& folder, ProcessLauncher& launcher);

// A drive-form file name ("X:\...") becomes a file:// URL; anything else (an address)
// is handed on as it stands.
std::u16string BrowserTarget(const std::u16string& target);

// The program that a setting chooses (empty: the desktop's default through xdg-open).
std::string BrowserProgramFor(const std::u16string& setting, const ProcessLauncher& launcher);
// The program named in the warning when the setting chooses a browser none of whose
// programs is installed; empty otherwise.
std::string MissingBrowserFor(const std::u16string& setting, const ProcessLauncher& launcher);

void StarteInternetBrowser(const std::u16string& target, BrowserSettingStore& settings,
                           ProcessLauncher& launcher);

}  // namespace app
