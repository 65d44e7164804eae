// qh-bench wordlists --base DIR --name DB [--mode words|phrases|both] [--budget-mb N] [--verbose]
// Builds the sorted word and phrase lists of a database as the search window's button
// does; prints the status texts and the list files written. --budget-mb replaces the
// sorting's memory budget (a large one sorts in memory without runs, for comparison).
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/index/word_lists.h"
#include "bench/qhbench/commands.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"

namespace qhbench {
namespace {

void PrintLine(std::u16string_view text) { std::printf("%s\n", platform::WideToPosixUtf8(text).c_str()); }

// The label's texts on stdout, the boxes on stderr; the caption only with --verbose.
class ConsoleStatus : public app::WordListStatus {
 public:
  explicit ConsoleStatus(bool verbose) : verbose_(verbose) {}
  void SetLabel(std::u16string_view text) override {
    if (!text.empty()) PrintLine(text);
  }
  void SetCaption(std::u16string_view text) override {
    if (verbose_ && !text.empty()) PrintLine(text);
  }
  void ShowInformation(std::u16string_view text) override {
    std::fprintf(stderr, "%s\n", platform::WideToPosixUtf8(text).c_str());
  }
  void ShowError(std::u16string_view text) override { ShowInformation(text); }

 private:
  bool verbose_;
};

int Usage() {
  std::fprintf(stderr,
               "usage: qh-bench wordlists --base DIR --name DB [--mode words|phrases|both] [--budget-mb N] [--verbose]\n");
  return 2;
}

}  // namespace

int WordLists(const std::vector<std::string>& args) {
  std::string base, name, mode = "both";
  bool verbose = false;
  app::StoreReadOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--budget-mb" && i + 1 < args.size()) {
      char* end = nullptr;
      const unsigned long long mb = std::strtoull(args[++i].c_str(), &end, 10);
      if (end == nullptr || *end != '\0' || mb == 0 || mb > (size_t{1} << 30)) return Usage();
      options.memoryBudget = static_cast<size_t>(mb) << 20;
      continue;
    }
    if (a == "--base" && i + 1 < args.size()) {
      base = args[++i];
    } else if (a == "--name" && i + 1 < args.size()) {
      name = args[++i];
    } else if (a == "--mode" && i + 1 < args.size()) {
      mode = args[++i];
    } else if (a == "--verbose") {
      verbose = true;
    } else {
      return Usage();
    }
  }
  app::WordListMode listMode;
  if (mode == "words") {
    listMode = app::WordListMode::Words;
  } else if (mode == "phrases") {
    listMode = app::WordListMode::Phrases;
  } else if (mode == "both") {
    listMode = app::WordListMode::Both;
  } else {
    return Usage();
  }
  if (base.empty() || name.empty()) return Usage();
  const auto wideName = platform::PosixUtf8ToWide(name);
  if (!wideName || wideName->empty()) {
    std::fprintf(stderr, "qh-bench: the name must be UTF-8\n");
    return 2;
  }
  const auto drive = DriveFormOf(base);
  if (!drive) return 1;
  const std::u16string baseFolder = *drive + (drive->ends_with(u'\\') ? u"" : u"\\");

  ConsoleStatus status(verbose);
  const bool cancelRequested = false;
  const app::WordListOutcome outcome =
      app::SortierteListenErstellen(baseFolder, *wideName, listMode, status, cancelRequested, options);
  if (outcome != app::WordListOutcome::Done) return 1;
  // The lists of the stores the run took (those of more than 4 bytes).
  const std::u16string folder = baseFolder + u"Datenbank\\" + *wideName;
  for (app::StoreKind kind : {app::StoreKind::Utf8, app::StoreKind::Mht}) {
    const auto store = platform::Stat(
        platform::PosixPath(folder + (kind == app::StoreKind::Utf8 ? u"_UTF8Dokument.txt" : u"_MHTtext.txt")));
    if (store && store->size > 4) PrintLine(app::WordListFileName(baseFolder, *wideName, kind));
  }
  return 0;
}

}  // namespace qhbench
