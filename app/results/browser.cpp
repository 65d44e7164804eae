#include "app/results/browser.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/messagebox.h"
#include "platform/process.h"
#include "app/results/result_pages.h"
#include "textlib/unicode.h"

namespace app {
namespace {

bool IsDriveForm(std::u16string_view text) {
  return text.size() >= 3 && text[1] == u':' && text[2] == u'\\' &&
         ((text[0] >= u'A' && text[0] <= u'Z') || (text[0] >= u'a' && text[0] <= u'z'));
}

struct BrowserChoice {
  const char16_t* key;
  std::vector<const char*> programs;  // tried in order
  // None installed: a warning naming the first (the browser was chosen and is missing),
  // or else the default.
  bool required;
};

const std::vector<BrowserChoice>& Choices() {
  static const std::vector<BrowserChoice> choices = {
      {u"standard", {}, false},
      {u"firefox", {"firefox", "firefox-esr"}, true},
      {u"internet explorer", {}, false},
      {u"edge", {"microsoft-edge", "microsoft-edge-stable"}, true},
      {u"chrome", {"google-chrome", "google-chrome-stable", "chromium", "chromium-browser"}, true},
      {u"chromium", {"chromium", "chromium-browser"}, true},
      {u"opera", {"opera"}, false},
  };
  return choices;
}

const BrowserChoice* ChoiceFor(const std::u16string& setting) {
  const std::u16string lower = textlib::UnicodeLowerCase(setting);
  for (const auto& choice : Choices()) {
    if (lower.find(choice.key) != std::u16string::npos) return &choice;
  }
  return nullptr;
}

bool AnyInstalled(const BrowserChoice& choice, const ProcessLauncher& launcher) {
  for (const char* program : choice.programs)
    if (!launcher.FindProgram(program).empty()) return true;
  return false;
}

}  // namespace

std::string ProcessLauncher::FindProgram(const std::string& name) const {
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : std::string();
  return platform::FindOnPath(name);
}

bool ProcessLauncher::Start(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& folder) {
  return platform::StartProgram(program, arguments, folder).Ok();
}

ProcessLauncher& DefaultLauncher() {
  static ProcessLauncher launcher;
  return launcher;
}

bool ShellExecuteChecked(const std::u16string& program, const std::vector<std::u16string>& arguments,
                         const std::u16string& folder, ProcessLauncher& launcher) {
  std::vector<std::string> args;
  for (const auto& a : arguments) args.push_back(platform::WideToPosixUtf8(a));
  const std::string dir = folder.empty() ? std::string() : platform::PosixPath(folder);
  if (launcher.Start(platform::WideToPosixUtf8(program), args, dir)) return true;
  platform::ShowMessageBox(u"Datei: " + program + u" kann nicht geöffnet werden", u"Warnung",
                           platform::mb::Ok | platform::mb::IconWarning);
  return false;
}

std::u16string BrowserTarget(const std::u16string& target) {
  return IsDriveForm(target) ? FileUrl(target) : target;
}

std::string BrowserProgramFor(const std::u16string& setting, const ProcessLauncher& launcher) {
  const BrowserChoice* choice = ChoiceFor(setting);
  if (!choice) return {};
  for (const char* program : choice->programs)
    if (!launcher.FindProgram(program).empty()) return program;
  return {};
}

std::string MissingBrowserFor(const std::u16string& setting, const ProcessLauncher& launcher) {
  const BrowserChoice* choice = ChoiceFor(setting);
  if (!choice || !choice->required || AnyInstalled(*choice, launcher)) return {};
  return choice->programs.front();
}

void StarteInternetBrowser(const std::u16string& target, BrowserSettingStore& settings,
                           ProcessLauncher& launcher) {
  std::u16string setting = settings.ReadBrowser();
  if (setting.empty()) {
    setting = u"standard";
    settings.WriteBrowser(setting);
  }
  const std::u16string url = BrowserTarget(target);
  // Another program than the one chosen would open the page without a word.
  const std::string missing = MissingBrowserFor(setting, launcher);
  if (!missing.empty()) {
    platform::ShowMessageBox(u"Datei: " + platform::AnsiToWide(missing) + u" kann nicht geöffnet werden", u"Warnung",
                             platform::mb::Ok | platform::mb::IconWarning);
    return;
  }
  const std::string program = BrowserProgramFor(setting, launcher);
  if (program.empty()) {
    // The desktop's default; like the platform's "open" its outcome is not reported.
    launcher.Start("xdg-open", {platform::WideToPosixUtf8(url)}, {});
    return;
  }
  ShellExecuteChecked(platform::AnsiToWide(program), {url}, u"", launcher);
}

}  // namespace app
