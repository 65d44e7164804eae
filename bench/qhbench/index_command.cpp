#include <signal.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "app/index/index_run.h"
#include "app/index/run_and_wait.h"
#include "bench/qhbench/commands.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/messagebox.h"
#include "platform/pump.h"
#include "platform/window_directory.h"
#include "search/engine/search_session.h"
#include "search/engine/title_positions.h"
#include "textlib/unicode.h"

namespace qhbench {
namespace {

volatile std::sig_atomic_t gStopRequested = 0;
void RequestStop(int) { gStopRequested = 1; }

void PrintLine(std::u16string_view text) { std::printf("%s\n", platform::WideToPosixUtf8(text).c_str()); }

// Prints the status line as the main window would show it; the pauses only sleep.
class ConsoleStatus : public app::IndexStatus {
 public:
  explicit ConsoleStatus(bool verbose) : verbose_(verbose) {}
  bool MakeTitlePositions(const std::u16string& store, const std::u16string& titleFile, bool mht,
                          std::u16string_view root) override {
    return search::TitelPositionenVorab(store, titleFile, mht ? search::TitleKind::Mht : search::TitleKind::Utf8, root);
  }
  bool MakesTitlePositions() const override { return true; }
  void SetStatusText(std::u16string_view text) override {
    IndexStatus::SetStatusText(text);
    if (!text.empty()) PrintLine(text);
  }
  void SetCaption(std::u16string_view text) override {
    if (verbose_ && !text.empty()) PrintLine(text);
  }

 private:
  bool verbose_;
};

// Message boxes become lines on stderr, answered with their default button.
class StderrSink : public platform::MessageBoxSink {
 public:
  platform::MsgResult Show(const std::u16string& text, const std::u16string&, uint32_t flags) override {
    std::fprintf(stderr, "%s\n", platform::WideToPosixUtf8(text).c_str());
    return platform::DefaultAnswer(flags);
  }
};

// The extension field as the create driver cuts it: words between "*" and "." become the
// slots ".word", at most five.
std::array<std::u16string, 5> SlotsFrom(std::u16string_view field) {
  std::array<std::u16string, 5> slots;
  size_t n = 0;
  std::u16string word;
  auto flush = [&] {
    const std::u16string trimmed = textlib::UnicodeLowerCase(textlib::UnicodeTrim(word));
    if (!trimmed.empty() && n < slots.size()) slots[n++] = u"." + trimmed;
    word.clear();
  };
  for (char16_t c : field) {
    if (c == u'*' || c == u'.') {
      flush();
    } else {
      word += c;
    }
  }
  flush();
  return slots;
}

std::string FindManifester(const std::string& given, const std::string& base) {
  namespace fs = std::filesystem;
  std::vector<fs::path> candidates;
  if (!given.empty()) candidates.emplace_back(given);
  candidates.emplace_back(fs::path(base) / "Manifester");
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) candidates.push_back(self.parent_path().parent_path() / "platform" / "manifester" / "Manifester");
  for (const fs::path& p : candidates)
    if (access(p.c_str(), X_OK) == 0) return p.string();
  return {};
}

int Usage() {
  std::fprintf(stderr,
               "usage: qh-bench index --base DIR --name DB --folder X:\\path --ext \"*.htm *.html\" "
               "[--manifester PROGRAM] [--verbose] [--path-list]\n");
  return 2;
}

}  // namespace

int Index(const std::vector<std::string>& args) {
  std::string base, name, folder, ext, manifester;
  bool verbose = false, pathList = false;
  for (size_t i = 0; i < args.size(); ++i) {
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    const std::string& a = args[i];
    bool ok = true;
    if (a == "--base") ok = value(base);
    else if (a == "--name") ok = value(name);
    else if (a == "--folder") ok = value(folder);
    else if (a == "--ext") ok = value(ext);
    else if (a == "--manifester") ok = value(manifester);
    else if (a == "--verbose") verbose = true;
    else if (a == "--path-list") pathList = true;
    else ok = false;
    if (!ok) return Usage();
  }
  if (base.empty() || name.empty() || folder.size() < 3 || ext.empty()) return Usage();

  platform::SetMessageBoxSink(std::make_shared<StderrSink>());
  std::error_code ec;
  const std::string baseAbs = std::filesystem::absolute(base, ec).lexically_normal().string();
  std::filesystem::create_directories(std::filesystem::path(baseAbs) / "Datenbank" / "Temp", ec);
  if (ec) {
    std::fprintf(stderr, "qh-bench: cannot create %s/Datenbank/Temp: %s\n", baseAbs.c_str(), ec.message().c_str());
    return 1;
  }
  const std::optional<std::u16string> baseDrive = platform::DrivePath(baseAbs);
  if (!baseDrive) {
    std::fprintf(stderr, "qh-bench: %s lies on no mapped drive\n", baseAbs.c_str());
    return 1;
  }
  // The programs started from here (the file-list builder, the extractor) work in the base folder.
  if (chdir(baseAbs.c_str()) != 0) {
    std::fprintf(stderr, "qh-bench: cannot enter %s\n", baseAbs.c_str());
    return 1;
  }

  app::IndexSettings settings;
  settings.baseFolder = *baseDrive;
  if (settings.baseFolder.back() != u'\\') settings.baseFolder += u'\\';
  settings.dbName = platform::PosixUtf8ToWide(name).value_or(u"");
  settings.folder = platform::PosixUtf8ToWide(folder).value_or(u"");
  settings.slots = SlotsFrom(platform::PosixUtf8ToWide(ext).value_or(u""));
  settings.driveLetter = static_cast<char16_t>(textlib::CharToUpper(settings.folder[0]));
  settings.pathListOnly = pathList;
  if (settings.dbName.empty() || settings.folder.empty()) return Usage();

  ConsoleStatus status(verbose);
  app::IndexRun run(settings, status);
  // SIGINT and SIGTERM stop the build as the cancel button does, so a script can cancel.
  struct sigaction stop {};
  stop.sa_handler = RequestStop;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);
  platform::SetPumpHook([&run] {
    if (gStopRequested) run.RequestCancel();
  });
  status.SetStatusText(u"Datenbank wird neu erstellt.");
  const std::string listPath = platform::PosixPath(run.DriveListPath());
  if (!platform::Stat(listPath)) {
    const std::string program = FindManifester(manifester, baseAbs);
    if (program.empty()) {
      std::fprintf(stderr, "qh-bench: no drive file list %s and no Manifester to make it\n", listPath.c_str());
      return 1;
    }
    int exitCode = 0;
    const std::string letter(1, static_cast<char>(settings.driveLetter));
    const int error = app::RunAndWait({program, {"open", letter}}, app::SW_SHOW, &exitCode);
    if (error != 0 || exitCode != 0) {
      std::fprintf(stderr, "qh-bench: %s open %s failed (%s)\n", program.c_str(), letter.c_str(),
                   error ? platform::SystemErrorText(error).c_str() : ("exit status " + std::to_string(exitCode)).c_str());
      return 1;
    }
  }

  const app::BuildOutcome outcome = run.LiesDieListeEin();
  if (outcome == app::BuildOutcome::Cancelled) {
    std::fprintf(stderr, "qh-bench: the build run was cancelled\n");
    return 1;
  }
  if (outcome != app::BuildOutcome::Done) {
    std::fprintf(stderr, "qh-bench: the build run failed\n");
    return 1;
  }
  status.SetStatusText(pathList ? u"Fertig mit der Indizierung (nur Pfadliste wurde erstellt)."
                                : u"Fertig mit der Indizierung.");
  textlib::TUniMemoStrings& log = run.LogMemo().Lines();
  for (int i = 0; i < log.Count(); ++i) PrintLine(log[i]);
  return 0;
}

}  // namespace qhbench
