#pragma once
// The result pages of a search: the hit lines of one page become an HTML page in
// "Datenbank\Temp\" of the base folder, written as proper UTF-8; the first page is opened
// in the browser. Everything taken from documents, paths or the user is HTML-escaped, and
// links are percent-encoded file:// URLs of the POSIX path, so no stored text can turn
// into markup or script in a page.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "textlib/widestrings.h"

namespace app {

// Between the hit list's path and snippet.
inline constexpr char16_t kHitTextSeparator[] = u"##text##";

// The page counters shared by the search run and the writer. ResultPageNo: 1 or -1 for
// the first page, n > 1 for page n, 0 once the first page is written.
struct ResultPageState {
  int32_t ResultPageNo = 1;
  bool MorePages = false;
};

// What the writer asks of the windows around it.
class ResultPageHost {
 public:
  virtual ~ResultPageHost() = default;
  virtual bool SearchCancelRequested() const { return false; }
  // The search text named a file that was opened directly: no page.
  virtual bool PathOpened() const { return false; }
  virtual void StopBusyIndicator() {}
  // Opens the first page (drive-form file name) in the browser of the settings.
  virtual void OpenInBrowser(const std::u16string& /*fileName*/) {}
  // "Process pending window messages" between lines.
  virtual void ProcessMessages();
};

std::u16string HtmlEscape(std::u16string_view text);
// "file://" + the percent-encoded POSIX path of a drive-form path.
std::u16string FileUrl(std::u16string_view drivePath);

class TResultPageWriter {
 public:
  TResultPageWriter(ResultPageState& state, ResultPageHost& host);
  ~TResultPageWriter();
  TResultPageWriter(const TResultPageWriter&) = delete;
  TResultPageWriter& operator=(const TResultPageWriter&) = delete;

  // Drive form, ending in "\".
  std::u16string BaseFolder;
  std::u16string CurrentDbName;
  bool GrossKleinBeachten = false;
  bool NurGanzeWoerter = false;
  // The hit lines of the page to write: path + "##text##" + snippet ending in "<br>".
  textlib::TWideStringList UniRichEdit1;
  // When set, the lines of UniRichEdit1 are entries kept in another form, and this makes
  // each the hit line when its page is built (on the worker, when pages are written ahead).
  std::u16string (*LineOfEntry)(const std::u16string& entry) = nullptr;

  // Writes the page of ResultPageState.ResultPageNo from the lines of UniRichEdit1.
  void SchreibHTMLDocNeu(const std::u16string& searchText, int64_t hitCount);
  // While on, every page after the first is built and written by a worker thread, in
  // order, while the caller goes on finding hits; the first page, which opens the
  // browser, is written at once. A page is handed over only when the host asks for no
  // cancel, between the hits of the pages before. Off waits for the pages handed over,
  // as Flush does; until then WrittenFiles, LastPage and Failed may lack them.
  void WriteAhead(bool on);
  // Waits for the pages handed over; one that could not be written is reported here.
  void Flush();
  // The page's line for one line of UniRichEdit1; term is the trimmed search text. It
  // reads only the settings, so lines can be made ahead, on other threads too.
  std::u16string PageLine(std::u16string_view line, const std::u16string& term) const;
  // Page lines made ahead with PageLine, one per line of UniRichEdit1: the next page takes
  // them instead of making its own when their number matches; it clears them either way.
  std::vector<std::u16string> MadeLines;
  // Runs before every page file is written (a search waits there for the emptying of the
  // last run's pages); optional.
  std::function<void()> BeforeWrite;

  // The text of the page built last (lines ending in CR LF).
  const std::u16string& LastPage() const { return lastPage_; }
  // Drive-form names of every file written so far, in order.
  const std::vector<std::u16string>& WrittenFiles() const { return written_; }
  // A page could not be written since the last ResetFailure (reported once, with the
  // file and the system's reason); no browser is started for a page that is not there.
  bool Failed() const { return failed_; }
  void ResetFailure() { failed_ = false; }
  std::u16string TempFolder() const { return BaseFolder + u"Datenbank\\Temp\\"; }

 private:
  struct Page;
  struct PageFiles;
  class Ahead;
  // The page's text, its repeated lines dropped (and the count with them). With a host,
  // its messages run between the lines, and a cancel drops a page of hits: nothing then.
  std::optional<std::u16string> BuildPage(Page& page, ResultPageHost* host) const;
  // The page file(s) of the page's number: whether the first was written.
  bool WritePageFiles(const Page& page, const std::u16string& text, PageFiles& files) const;
  void MakeTempFolder();
  void ReportFailure(const std::u16string& fileName, int error);
  std::u16string SettingsSentence() const;
  std::u16string HitEntry(const std::u16string& path, const std::u16string& snippet,
                          const std::u16string& term) const;
  std::u16string PlainLine(const std::u16string& line, const std::u16string& term) const;
  std::u16string NextPageLink(int32_t page) const;
  bool WritePage(const std::u16string& name, const std::u16string& text, int& error) const;

  ResultPageState& state_;
  ResultPageHost& host_;
  std::u16string lastPage_;
  std::vector<std::u16string> written_;
  bool failed_ = false;
  std::u16string madeTempFolder_;  // the Temp folder made (or found) last
  std::unique_ptr<Ahead> ahead_;   // the worker while pages are written ahead
};

}  // namespace app
