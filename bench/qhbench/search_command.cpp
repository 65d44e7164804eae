// qh-bench search --base DIR --name DB [--case] [--words] TEXT
// Runs a database search headless: the result pages go to DIR's "Datenbank/Temp/"; prints
// the number of hits and the page files. Title positions missing for a store are built
// first, as the main program does after each build. A database that lists only paths is
// searched file by file; --paths then prints the path of every hit, one per line.
#include <algorithm>
#include <cstdio>
#include <string>

#include "app/results/result_pages.h"
#include "bench/qhbench/commands.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/messagebox.h"
#include "search/engine/database_search.h"
#include "search/engine/title_positions.h"
#include "search/engine/viewer_services.h"
#include "textlib/unicode.h"

namespace qhbench {
namespace {

// Message boxes are printed and answered with their default button.
class PrintingSink : public platform::MessageBoxSink {
 public:
  platform::MsgResult Show(const std::u16string& text, const std::u16string& caption, uint32_t flags) override {
    std::fprintf(stderr, "[%s] %s\n", platform::WideToPosixUtf8(caption).c_str(),
                 platform::WideToPosixUtf8(text).c_str());
    return platform::DefaultAnswer(flags);
  }
};

// No window: no busy indicator and no browser.
class HeadlessHost : public app::ResultPageHost {};

int Usage() {
  std::fprintf(stderr, "usage: qh-bench search --base DIR --name DB [--case] [--words] [--paths] TEXT\n");
  return 2;
}

}  // namespace

int Search(const std::vector<std::string>& args) {
  std::string base, name, text;
  bool caseSensitive = false, words = false, haveText = false, paths = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--base" && i + 1 < args.size()) {
      base = args[++i];
    } else if (a == "--name" && i + 1 < args.size()) {
      name = args[++i];
    } else if (a == "--case") {
      caseSensitive = true;
    } else if (a == "--words") {
      words = true;
    } else if (a == "--paths") {
      paths = true;
    } else if (!haveText && !a.starts_with("--")) {
      text = a;
      haveText = true;
    } else {
      return Usage();
    }
  }
  if (base.empty() || name.empty() || !haveText) return Usage();
  const auto wideText = platform::PosixUtf8ToWide(text);
  const auto wideName = platform::PosixUtf8ToWide(name);
  if (!wideText || !wideName) {
    std::fprintf(stderr, "qh-bench: the search text and the name must be UTF-8\n");
    return 2;
  }
  const auto drive = DriveFormOf(base);
  if (!drive) return 1;
  platform::SetMessageBoxSink(std::make_shared<PrintingSink>());

  search::DatabaseFiles files;
  files.baseFolder = *drive + (drive->ends_with(u'\\') ? u"" : u"\\");
  files.dbName = *wideName;
  if (!search::FileExistsNotDirectory(files.Description())) {
    std::fprintf(stderr, "qh-bench: no database %s in %s\n", name.c_str(), base.c_str());
    return 1;
  }

  search::SearchSession session;
  session.grossKleinBeachten = caseSensitive;
  session.nurGanzeWoerter = words;
  const bool needTitles =
      (search::FileExistsNotDirectory(files.Utf8Store()) && !search::FileExistsNotDirectory(files.Utf8TitlePositions())) ||
      (search::FileExistsNotDirectory(files.MhtStore()) && !search::FileExistsNotDirectory(files.MhtTitlePositions()));
  if (needTitles) search::Button4Click(session, files);

  app::ResultPageState state;
  HeadlessHost host;
  app::TResultPageWriter writer(state, host);
  writer.BaseFolder = files.baseFolder;
  writer.CurrentDbName = files.dbName;
  writer.GrossKleinBeachten = caseSensitive;
  writer.NurGanzeWoerter = words;
  search::TDatabaseSearch run(session, writer, state);
  if (!run.Run(files, *wideText)) return 1;
  // Listed files that could not be read, as the window's caption names them at the end.
  if (!run.EndCaption.empty()) std::fprintf(stderr, "%s\n", platform::WideToPosixUtf8(run.EndCaption).c_str());

  std::printf("%lld hits\n", static_cast<long long>(run.HitCount()));
  if (paths && run.SearchedDirectly()) {
    // Only the path in front of the snippet is converted (the entries hold UTF-8 bytes one
    // per unit, and the separator is plain ASCII), and each folder once while its files
    // follow one another: a plain ASCII name goes behind its folder's path as it is.
    std::string out, folder, folderPosix;
    for (int i = 0; i < run.HitList.Count(); ++i) {
      const std::u16string entry = run.HitList[i];
      const std::string bytes =
          platform::WideToAnsi(std::u16string_view(entry).substr(0, entry.find(app::kHitTextSeparator)));
      const size_t cut = bytes.rfind('\\');
      const std::string_view name =
          cut == std::string::npos ? std::string_view() : std::string_view(bytes).substr(cut + 1);
      const bool plain = !name.empty() && name != "." && name != ".." &&
                         std::all_of(name.begin(), name.end(), [](char c) { return c > 0 && c != '/'; });
      if (plain && (folder.size() != cut + 1 || bytes.compare(0, cut + 1, folder) != 0)) {
        folder = bytes.substr(0, cut + 1);
        folderPosix = platform::PosixPath(textlib::DecodeUtf8(folder));
        if (!folderPosix.empty() && folderPosix.back() != '/') folderPosix += '/';
      }
      out += "hit ";
      if (plain && !folderPosix.empty())
        out.append(folderPosix).append(name);
      else
        out += platform::PosixPath(textlib::DecodeUtf8(bytes));
      out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
  }
  for (const auto& page : writer.WrittenFiles()) std::printf("%s\n", platform::PosixPath(page).c_str());
  return 0;
}

}  // namespace qhbench
