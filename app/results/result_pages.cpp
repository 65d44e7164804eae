#include "app/results/result_pages.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/messagebox.h"
#include "platform/pump.h"
#include "textlib/unicode.h"

namespace app {
namespace {

constexpr char16_t kBackground[] = u"#FFFFFF";
constexpr char16_t kTextColour[] = u"#000000";
constexpr char16_t kLinkColour[] = u"#669900";
constexpr char16_t kVisitedColour[] = u"#999999";
constexpr char16_t kActiveColour[] = u"#999999";
constexpr char16_t kBr[] = u"<br>";

bool EndsWith(std::u16string_view text, std::u16string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

std::u16string Number(int64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

// Escapes the text and wraps its last occurrence of the (trimmed) term in "<b>", so the
// bolding can never split an entity or land inside markup.
std::u16string EscapeWithBold(std::u16string_view raw, const std::u16string& term, bool caseSensitive) {
  if (term.empty()) return HtmlEscape(raw);
  size_t at;
  if (caseSensitive) {
    at = raw.rfind(term);
  } else {
    at = textlib::UnicodeLowerCase(raw).rfind(textlib::UnicodeLowerCase(term));
  }
  if (at == std::u16string_view::npos) return HtmlEscape(raw);
  return HtmlEscape(raw.substr(0, at)) + u"<b>" + HtmlEscape(raw.substr(at, term.size())) + u"</b>" +
         HtmlEscape(raw.substr(at + term.size()));
}

}  // namespace

void ResultPageHost::ProcessMessages() { platform::ProcessMessages(); }

std::u16string HtmlEscape(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"': out += u"&quot;"; break;
      case u'\'': out += u"&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::u16string FileUrl(std::u16string_view drivePath) {
  std::string posix = platform::PosixPath(drivePath);
  if (posix.empty()) {
    std::u16string slashed(drivePath);
    for (char16_t& c : slashed)
      if (c == u'\\') c = u'/';
    posix = platform::WideToPosixUtf8(slashed);
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::u16string url = posix.starts_with('/') ? u"file://" : u"file:///";
  for (unsigned char c : posix) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      url += static_cast<char16_t>(c);
    } else {
      url += u'%';
      url += static_cast<char16_t>(kHex[c >> 4]);
      url += static_cast<char16_t>(kHex[c & 15]);
    }
  }
  return url;
}

// What one page is made of, taken from the writer when it is asked for.
struct TResultPageWriter::Page {
  std::vector<std::u16string> lines;
  std::vector<std::u16string> made;  // MadeLines, when they match
  std::u16string searchText;
  int64_t hitCount = 0;
  ResultPageState state;
  std::u16string (*lineOfEntry)(const std::u16string&) = nullptr;
  uint64_t seq = 0;  // the order of the pages written ahead
};

// What writing a page's files came to.
struct TResultPageWriter::PageFiles {
  std::vector<std::u16string> written;  // drive form, in order
  std::u16string failedName;            // the first that was not, with the system's error
  int error = 0;
};

std::u16string TResultPageWriter::SettingsSentence() const {
  if (GrossKleinBeachten && NurGanzeWoerter)
    return u"Sucheinstellung: Gross/Kleinschreibung <u>beachten</u> und nur <u>ganze</u> Wörter.";
  if (GrossKleinBeachten)
    return u"Sucheinstellung: Gross/Kleinschreibung <u>beachten</u> und Suchtext <u>auch als Teil</u> in einem Wort/Satz finden.";
  if (NurGanzeWoerter) return u"Sucheinstellung: Gross/klein <u>egal</u> und <u>nur</u> ganze Wörter.";
  return u"Sucheinstellung: Gross/klein <u>egal</u> und Suchtext <u>auch als Teil</u> in einem Wort/Satz finden.";
}

std::u16string TResultPageWriter::HitEntry(const std::u16string& path, const std::u16string& snippet,
                                           const std::u16string& term) const {
  // The run ends every snippet with "<br>": that one is markup, the rest is document text.
  std::u16string_view body = snippet;
  const bool br = EndsWith(body, kBr);
  if (br) body.remove_suffix(4);
  return u"<font color=\"#000000\">in: <a href=\"" + FileUrl(path) + u"\" target=\"_blank\">" +
         HtmlEscape(path) + u"</a><br><font color=\"#000080\">" +
         EscapeWithBold(body, term, GrossKleinBeachten) + (br ? kBr : u"") + u"<br><br>";
}

std::u16string TResultPageWriter::PlainLine(const std::u16string& line, const std::u16string& term) const {
  return EscapeWithBold(line, term, GrossKleinBeachten);
}

std::u16string TResultPageWriter::NextPageLink(int32_t page) const {
  std::u16string target = u"Datenbank\\Temp\\QY_Ergebnis";
  if (page == 1 || page == -1)
    target += u"2.htm";
  else
    target += Number(int64_t{page} + 1) + u".htm";
  return u"<font color=\"#000000\"><a href=\"" + FileUrl(BaseFolder + target) +
         u"\" target=\"_blank\"><span style=\"font-family:alrial;color:black;text-decoration:none;\">"
         u"Zur nächsten Seite hier klicken</span></a><br><br><br>";
}

void TResultPageWriter::MakeTempFolder() {
  if (madeTempFolder_ == TempFolder()) return;
  platform::MakeDirectory(platform::PosixPath(BaseFolder + u"Datenbank"));
  platform::MakeDirectory(platform::PosixPath(TempFolder()));
  madeTempFolder_ = TempFolder();
}

bool TResultPageWriter::WritePage(const std::u16string& name, const std::u16string& text, int& error) const {
  // Proper UTF-8: characters beyond the BMP as one four-byte sequence. A result page
  // lives until the next search: whole, but not synced to the disk.
  const std::string posix = platform::PosixPath(TempFolder() + name);
  const std::string bytes = platform::WideToPosixUtf8(text);
  // A page file the search emptied for this run is written in place (see
  // EmptyPages); any other name gets a new file.
  const std::optional<platform::FileStat> old = platform::Stat(posix, false);
  const bool written = old && old->isRegular ? platform::OverwriteExistingFile(posix, bytes)
                                             : platform::WriteFileAtomically(posix, bytes, platform::Durability::Unsynced);
  if (!written) error = platform::LastError();
  return written;
}

void TResultPageWriter::ReportFailure(const std::u16string& fileName, int error) {
  if (!failed_) {
    const std::string reason = platform::SystemErrorText(error);
    platform::ShowMessageBox(u"Die Ergebnisseite " + fileName + u" kann nicht geschrieben werden: " +
                                 platform::PosixUtf8ToWide(reason).value_or(u"?"),
                             u"Quarry-HTML", platform::mb::IconError);
  }
  failed_ = true;
}

bool TResultPageWriter::WritePageFiles(const Page& page, const std::u16string& text, PageFiles& files) const {
  const auto write = [&](const std::u16string& name) {
    int e = 0;
    if (WritePage(name, text, e)) {
      files.written.push_back(TempFolder() + name);
      return true;
    }
    if (files.failedName.empty()) {
      files.failedName = TempFolder() + name;
      files.error = e;
    }
    return false;
  };
  const int32_t number = page.state.ResultPageNo;
  if (number == 1 || number == -1) {
    const bool first = write(u"QY_Ergebnis.htm");
    if (number == -1) write(u"QY_Ergebnis2.htm");
    return first;
  }
  if (number > 1) return write(u"QY_Ergebnis" + Number(number) + u".htm");
  return true;
}

std::u16string TResultPageWriter::PageLine(std::u16string_view raw, const std::u16string& term) const {
  std::u16string line = textlib::UnicodeTrim(raw);
  // One hit stays one line of the page, whoever built it.
  for (char16_t& c : line)
    if (c == u'\r' || c == u'\n') c = u' ';
  const size_t split = line.size() > 4 ? line.find(kHitTextSeparator) : std::u16string::npos;
  if (split != std::u16string::npos) {
    const std::u16string path = textlib::UnicodeTrim(std::u16string_view(line).substr(0, split));
    const std::u16string snippet = line.substr(split + 8);
    if (!path.empty() && !snippet.empty()) return HitEntry(path, snippet, term);
  }
  return PlainLine(line, term);
}

std::optional<std::u16string> TResultPageWriter::BuildPage(Page& page, ResultPageHost* host) const {
  std::vector<std::u16string>& lines = page.lines;
  std::vector<std::u16string>& made = page.made;
  if (page.lineOfEntry)
    for (std::u16string& line : lines) line = page.lineOfEntry(line);
  if (made.size() != lines.size()) made.clear();
  for (size_t i = 1; i < lines.size();) {
    // Lower-casing keeps the length: lines of different lengths are never equal.
    if (lines[i].size() == lines[i - 1].size() &&
        textlib::UnicodeLowerCase(lines[i]) == textlib::UnicodeLowerCase(lines[i - 1])) {
      lines.erase(lines.begin() + static_cast<ptrdiff_t>(i));
      if (!made.empty()) made.erase(made.begin() + static_cast<ptrdiff_t>(i));
      --page.hitCount;
    } else {
      ++i;
    }
  }
  const auto cancelled = [host] { return host && host->SearchCancelRequested(); };

  const std::u16string term = textlib::UnicodeTrim(page.searchText);
  std::vector<std::u16string> memo;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (host) host->ProcessMessages();
    if (cancelled()) break;
    memo.push_back(made.empty() ? PageLine(lines[i], term) : std::move(made[i]));
  }
  // A cancel drops a page of hits; without hits the empty buffer is still written.
  if (cancelled() && !lines.empty()) return std::nullopt;

  const bool hits = !memo.empty();
  const ResultPageState& state = page.state;
  if (state.MorePages && state.ResultPageNo != 0) memo.push_back(NextPageLink(state.ResultPageNo));

  std::u16string text;
  if (memo.empty() && cancelled()) return text;
  const int64_t hitCount = page.hitCount;
  const std::u16string sentence = SettingsSentence();
  const int64_t length = static_cast<int64_t>(sentence.size());
  const int64_t underscores = !hits ? length - 47 : length >= 95 ? length - 47 : length - 15;
  std::u16string termLine = u"<br>Suchbegriff: <font color=\"#cc0000\">\"<u>" + HtmlEscape(page.searchText) +
                            u"\"</u><font color=\"" + kTextColour + u"\"";
  if (!hits)
    termLine += u"> wurde NICHT gefunden:<br>";
  else if (hitCount == 1)
    termLine += u"> wurde in " + Number(hitCount) +
                u" Datei gefunden.<br>Es wird nur die erste Fundstelle in der Datei hier aufgelistet:<br>";
  else
    termLine += (state.MorePages ? u"> wurde bisher in " : u"> wurde in ") + Number(hitCount) +
                u" Dateien gefunden.<br>Es wird jeweils nur die erste Fundstelle in der Datei hier aufgelistet:<br>";
  const std::u16string head[] = {
      u"<html>",
      u"<Head>",
      u"<Title> Quarry-HTML Suchergebnis </Title>",
      u"<META http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">",
      u"</Head>",
      u"<body bgcolor=\"" + std::u16string(kBackground) + u"\" text=\"" + kTextColour + u"\" link=\"" +
          kLinkColour + u"\" Vlink=\"" + kVisitedColour + u"\" Alink=\"" + kActiveColour +
          u"\" > <font face=\"verdana, arial, helvetica\">",
      u"Datenbankname: \"" + HtmlEscape(CurrentDbName) + u"\"<br>" + sentence + (hits ? u"" : kBr),
      termLine,
      std::u16string(static_cast<size_t>(std::max<int64_t>(0, underscores)), u'_') + u"<br><br>",
  };
  size_t units = 0;
  for (const auto& line : head) units += line.size() + 2;
  for (const auto& line : memo) units += line.size() + 2;
  text.reserve(units + 32);
  for (const auto& line : head) text.append(line).append(u"\r\n");
  for (const auto& line : memo) text.append(line).append(u"\r\n");
  text += u"</font>\r\n</body>\r\n</html>\r\n";
  return text;
}

// A few threads build and write the pages handed to them; what they wrote is taken
// over in the order of the pages. Only a few pages may wait, so a run holds about a
// page of hits whatever their number.
class TResultPageWriter::Ahead {
 public:
  explicit Ahead(TResultPageWriter& writer) : writer_(writer) {
    try {
      for (int i = 0; i < kThreads; ++i) threads_.emplace_back([this] { Loop(); });
    } catch (const std::system_error&) {
      if (threads_.empty()) throw;
    }
  }
  ~Ahead() {
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  void Add(Page page) {
    std::deque<Page> done;
    std::unique_lock lock(mutex_);
    room_.wait(lock, [this] { return waiting_.size() < kMostWaiting; });
    page.seq = added_++;
    waiting_.push_back(std::move(page));
    // The pages' lines are freed by the thread that made them (below, once the lock is
    // gone): a free on another thread waits for the lock of the maker's heap.
    done.swap(done_);
    // Woken for a few pages at a time: each wake-up is a system call.
    if (waiting_.size() >= kWakeFor) wake_.notify_one();
  }
  // Once every page handed over is written: the first that failed since the last call.
  std::optional<std::pair<std::u16string, int>> Wait() {
    std::unique_lock lock(mutex_);
    wake_.notify_all();
    idle_.wait(lock, [this] { return taken_ == added_; });
    return std::exchange(failure_, std::nullopt);
  }

 private:
  static constexpr int kThreads = 2;
  static constexpr size_t kWakeFor = 4, kMostWaiting = 8;
  struct Done {
    PageFiles files;
    std::u16string text;
  };
  void Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stop_ || !waiting_.empty(); });
      if (waiting_.empty()) return;
      Page page = std::move(waiting_.front());
      waiting_.pop_front();
      room_.notify_one();
      lock.unlock();
      Done done;
      done.text = *writer_.BuildPage(page, nullptr);
      writer_.WritePageFiles(page, done.text, done.files);
      lock.lock();
      finished_.emplace(page.seq, std::move(done));
      done_.push_back(std::move(page));
      TakeOver();
    }
  }
  // The finished pages that follow the last taken over, in their order.
  void TakeOver() {
    for (auto it = finished_.begin(); it != finished_.end() && it->first == taken_; it = finished_.erase(it)) {
      Done& done = it->second;
      for (std::u16string& name : done.files.written) writer_.written_.push_back(std::move(name));
      if (!done.files.failedName.empty() && !failure_) failure_.emplace(std::move(done.files.failedName), done.files.error);
      writer_.lastPage_ = std::move(done.text);
      ++taken_;
    }
    if (taken_ == added_) idle_.notify_all();
  }

  TResultPageWriter& writer_;
  std::mutex mutex_;
  std::condition_variable wake_, room_, idle_;
  std::deque<Page> waiting_, done_;
  std::map<uint64_t, Done> finished_;
  uint64_t added_ = 0, taken_ = 0;
  bool stop_ = false;
  std::optional<std::pair<std::u16string, int>> failure_;
  std::vector<std::thread> threads_;
};

TResultPageWriter::TResultPageWriter(ResultPageState& state, ResultPageHost& host) : state_(state), host_(host) {}
TResultPageWriter::~TResultPageWriter() = default;

void TResultPageWriter::WriteAhead(bool on) {
  if (!on) {
    Flush();
    ahead_.reset();
  } else if (!ahead_) {
    try {
      ahead_ = std::make_unique<Ahead>(*this);
    } catch (const std::system_error&) {
      // Without a thread every page is written at once.
    }
  }
}

void TResultPageWriter::Flush() {
  if (!ahead_) return;
  if (const auto failure = ahead_->Wait()) {
    madeTempFolder_.clear();
    ReportFailure(failure->first, failure->second);
  }
}

void TResultPageWriter::SchreibHTMLDocNeu(const std::u16string& searchText, int64_t hitCount) {
  if (host_.PathOpened()) {
    MadeLines.clear();
    host_.StopBusyIndicator();
    return;
  }
  Page page;
  page.lines.reserve(static_cast<size_t>(UniRichEdit1.Count()));
  for (int i = 0; i < UniRichEdit1.Count(); ++i) page.lines.push_back(UniRichEdit1[i]);
  page.made = std::move(MadeLines);
  MadeLines.clear();
  page.searchText = searchText;
  page.hitCount = hitCount;
  page.state = state_;
  page.lineOfEntry = LineOfEntry;
  const int32_t number = state_.ResultPageNo;
  if (ahead_ && number > 1 && !page.lines.empty()) {
    host_.ProcessMessages();
    if (host_.SearchCancelRequested()) return;  // the page is dropped, as below
    if (BeforeWrite) BeforeWrite();
    MakeTempFolder();
    ahead_->Add(std::move(page));
    host_.StopBusyIndicator();
    return;
  }
  Flush();  // the pages before go first
  std::optional<std::u16string> text = BuildPage(page, &host_);
  if (!text) return;
  lastPage_ = std::move(*text);

  if (BeforeWrite) BeforeWrite();
  MakeTempFolder();
  PageFiles files;
  const bool firstWritten = WritePageFiles(page, lastPage_, files);
  for (std::u16string& name : files.written) written_.push_back(std::move(name));
  if (!files.failedName.empty()) {
    madeTempFolder_.clear();
    ReportFailure(files.failedName, files.error);
  }
  host_.StopBusyIndicator();
  const bool first = number == 1 || number == -1;
  if (first && firstWritten) {
    host_.OpenInBrowser(TempFolder() + u"QY_Ergebnis.htm");
    if (number == 1) state_.ResultPageNo = 0;
  }
}

}  // namespace app
