#include "app/results/result_pages.h"

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

std::u16string TResultPageWriter::NextPageLink() const {
  const int32_t page = state_.ResultPageNo;
  std::u16string target = u"Datenbank\\Temp\\QY_Ergebnis";
  if (page == 1 || page == -1)
    target += u"2.htm";
  else
    target += Number(int64_t{page} + 1) + u".htm";
  return u"<font color=\"#000000\"><a href=\"" + FileUrl(BaseFolder + target) +
         u"\" target=\"_blank\"><span style=\"font-family:alrial;color:black;text-decoration:none;\">"
         u"Zur nächsten Seite hier klicken</span></a><br><br><br>";
}

bool TResultPageWriter::WritePage(const std::u16string& name, const std::u16string& text) {
  if (BeforeWrite) BeforeWrite();
  const std::u16string fileName = TempFolder() + name;
  if (madeTempFolder_ != TempFolder()) {
    platform::MakeDirectory(platform::PosixPath(BaseFolder + u"Datenbank"));
    platform::MakeDirectory(platform::PosixPath(TempFolder()));
    madeTempFolder_ = TempFolder();
  }
  // Proper UTF-8: characters beyond the BMP as one four-byte sequence. A result page
  // lives until the next search: whole, but not synced to the disk.
  const std::string posix = platform::PosixPath(fileName);
  const std::string bytes = platform::WideToPosixUtf8(text);
  // A page file the search emptied for this run is written in place (see
  // EmptyPages); any other name gets a new file.
  const std::optional<platform::FileStat> old = platform::Stat(posix, false);
  const bool written = old && old->isRegular ? platform::OverwriteExistingFile(posix, bytes)
                                             : platform::WriteFileAtomically(posix, bytes, platform::Durability::Unsynced);
  if (!written) {
    madeTempFolder_.clear();
    if (!failed_) {
      const std::string reason = platform::SystemErrorText(platform::LastError());
      platform::ShowMessageBox(u"Die Ergebnisseite " + fileName + u" kann nicht geschrieben werden: " +
                                   platform::PosixUtf8ToWide(reason).value_or(u"?"),
                               u"Quarry-HTML", platform::mb::IconError);
    }
    failed_ = true;
    return false;
  }
  written_.push_back(fileName);
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

void TResultPageWriter::SchreibHTMLDocNeu(const std::u16string& searchText, int64_t hitCount) {
  textlib::TWideStringList& lines = UniRichEdit1;
  std::vector<std::u16string> made = std::move(MadeLines);
  MadeLines.clear();
  if (made.size() != static_cast<size_t>(lines.Count())) made.clear();
  // Each line is fetched once (the list hands out copies).
  std::u16string previous = lines.Count() > 0 ? lines[0] : std::u16string();
  for (int i = 1; i < lines.Count();) {
    std::u16string current = lines[i];
    // Lower-casing keeps the length: lines of different lengths are never equal.
    if (current.size() == previous.size() &&
        textlib::UnicodeLowerCase(current) == textlib::UnicodeLowerCase(previous)) {
      lines.Delete(i);
      if (!made.empty()) made.erase(made.begin() + i);
      --hitCount;
    } else {
      previous = std::move(current);
      ++i;
    }
  }
  if (host_.PathOpened()) {
    host_.StopBusyIndicator();
    return;
  }

  const std::u16string term = textlib::UnicodeTrim(searchText);
  std::vector<std::u16string> memo;
  for (int i = 0; i < lines.Count(); ++i) {
    host_.ProcessMessages();
    if (host_.SearchCancelRequested()) break;
    memo.push_back(made.empty() ? PageLine(lines[i], term) : std::move(made[static_cast<size_t>(i)]));
  }
  // A cancel drops a page of hits; without hits the empty buffer is still written.
  if (host_.SearchCancelRequested() && lines.Count() > 0) return;

  const bool hits = !memo.empty();
  if (state_.MorePages && state_.ResultPageNo != 0) memo.push_back(NextPageLink());

  std::u16string page;
  if (!memo.empty() || !host_.SearchCancelRequested()) {
    const std::u16string sentence = SettingsSentence();
    const int64_t length = static_cast<int64_t>(sentence.size());
    const int64_t underscores = !hits ? length - 47 : length >= 95 ? length - 47 : length - 15;
    std::u16string termLine = u"<br>Suchbegriff: <font color=\"#cc0000\">\"<u>" + HtmlEscape(searchText) +
                              u"\"</u><font color=\"" + kTextColour + u"\"";
    if (!hits)
      termLine += u"> wurde NICHT gefunden:<br>";
    else if (hitCount == 1)
      termLine += u"> wurde in " + Number(hitCount) +
                  u" Datei gefunden.<br>Es wird nur die erste Fundstelle in der Datei hier aufgelistet:<br>";
    else
      termLine += (state_.MorePages ? u"> wurde bisher in " : u"> wurde in ") + Number(hitCount) +
                  u" Dateien gefunden.<br>Es wird jeweils nur die erste Fundstelle in der Datei hier aufgelistet:<br>";
    std::vector<std::u16string> head = {
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
    page.reserve(units + 32);
    for (const auto& line : head) page.append(line).append(u"\r\n");
    for (const auto& line : memo) page.append(line).append(u"\r\n");
    page += u"</font>\r\n</body>\r\n</html>\r\n";
  }
  lastPage_ = std::move(page);
  const std::u16string& text = lastPage_;

  const int32_t number = state_.ResultPageNo;
  const bool first = number == 1 || number == -1;
  bool firstWritten = false;
  if (first) {
    firstWritten = WritePage(u"QY_Ergebnis.htm", text);
    if (number == -1) WritePage(u"QY_Ergebnis2.htm", text);
  } else if (number > 1) {
    WritePage(u"QY_Ergebnis" + Number(number) + u".htm", text);
  }
  host_.StopBusyIndicator();
  if (first && firstWritten) {
    host_.OpenInBrowser(TempFolder() + u"QY_Ergebnis.htm");
    if (number == 1) state_.ResultPageNo = 0;
  }
}

}  // namespace app
