#include "app/results/browser.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/messagebox.h"
#include "app/results/result_pages.h"
#include "textlib/unicode.h"

extern char** environ;

namespace app {
namespace {

// Started programs are reaped on the next start, so none stays a zombie for long.
std::mutex reapMutex;
std::vector<pid_t> started;

void ReapFinished() {
  for (auto it = started.begin(); it != started.end();) {
    int status = 0;
    if (waitpid(*it, &status, WNOHANG) != 0)
      it = started.erase(it);
    else
      ++it;
  }
}

bool IsDriveForm(std::u16string_view text) {
  return text.size() >= 3 && text[1] == u':' && text[2] == u'\\' &&
         ((text[0] >= u'A' && text[0] <= u'Z') || (text[0] >= u'a' && text[0] <= u'z'));
}

struct BrowserChoice {
  const char16_t* key;
  std::vector<const char*> programs;  // tried in order; none installed: the default
};

const std::vector<BrowserChoice>& Choices() {
  static const std::vector<BrowserChoice> choices = {
      {u"standard", {}},
      {u"firefox", {"firefox", "firefox-esr"}},
      {u"internet explorer", {}},
      {u"edge", {"microsoft-edge", "microsoft-edge-stable"}},
      {u"chrome", {"google-chrome", "google-chrome-stable", "chromium", "chromium-browser"}},
      {u"chromium", {"chromium", "chromium-browser"}},
      {u"opera", {"opera"}},
  };
  return choices;
}

}  // namespace

std::string ProcessLauncher::FindProgram(const std::string& name) const {
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : std::string();
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string dir = dirs.substr(start, end - start);
    if (!dir.empty()) {
      const std::string candidate = dir + "/" + name;
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    start = end + 1;
  }
  return {};
}

bool ProcessLauncher::Start(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& folder) {
  std::vector<std::string> all{program};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  std::lock_guard<std::mutex> lock(reapMutex);
  ReapFinished();
  if (rc != 0) return false;
  started.push_back(pid);
  return true;
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
  const std::u16string lower = textlib::UnicodeLowerCase(setting);
  for (const auto& choice : Choices()) {
    if (lower.find(choice.key) == std::u16string::npos) continue;
    for (const char* program : choice.programs)
      if (!launcher.FindProgram(program).empty()) return program;
    return {};
  }
  return {};
}

void StarteInternetBrowser(const std::u16string& target, BrowserSettingStore& settings,
                           ProcessLauncher& launcher) {
  std::u16string setting = settings.ReadBrowser();
  if (setting.empty()) {
    setting = u"standard";
    settings.WriteBrowser(setting);
  }
  const std::u16string url = BrowserTarget(target);
  const std::string program = BrowserProgramFor(setting, launcher);
  if (program.empty()) {
    // The desktop's default; like the platform's "open" its outcome is not reported.
    launcher.Start("xdg-open", {platform::WideToPosixUtf8(url)}, {});
    return;
  }
  ShellExecuteChecked(platform::AnsiToWide(program), {url}, u"", launcher);
}

}  // namespace app
