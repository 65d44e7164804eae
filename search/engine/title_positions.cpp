#include "search/engine/title_positions.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "app/index/document_store.h"
#include "app/index/write_to_stream.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/messagebox.h"
#include "platform/pump.h"
#include "search/engine/document_model.h"
#include "search/engine/viewer_services.h"
#include "textlib/unicode.h"

namespace search {
namespace {

constexpr size_t kMaxLineBytes = 64 * 1024;

std::string DecodeOnce(const std::string& bytes) {
  return platform::WideToAnsi(textlib::DecodeUtf8(bytes));
}

std::string AfterMarker(const std::string& line) {
  const size_t at = line.find(" #");
  return at == std::string::npos ? std::string() : line.substr(at + 2);
}

// Index of the line whose half-open range [offset_i, offset_i+1) holds the offset.
std::optional<size_t> MatchingLine(const std::vector<TTitlePositions::Line>& lines, bool ascending,
                                   int64_t offset) {
  if (ascending) {
    auto it = std::upper_bound(lines.begin(), lines.end(), offset,
                               [](int64_t o, const TTitlePositions::Line& l) { return o < l.offset; });
    if (it == lines.begin()) return std::nullopt;
    return static_cast<size_t>(it - lines.begin()) - 1;
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    const bool last = i + 1 == lines.size();
    if (lines[i].offset <= offset && (last || offset < lines[i + 1].offset) && !AfterMarker(lines[i].text).empty())
      return i;
  }
  return std::nullopt;
}

}  // namespace

bool TTitlePositions::Load(const std::u16string& fileName) {
  lines_.clear();
  markers_.clear();
  ascending_ = true;
  const auto bytes = platform::ReadWholeFile(platform::PosixPath(fileName));
  if (!bytes) return false;
  size_t start = 0;
  while (start < bytes->size()) {
    size_t end = bytes->find('\n', start);
    if (end == std::string::npos) end = bytes->size();
    // A line is a marker's line of at most a few thousand characters; a longer one is no
    // title line, and repeated for every hit it would fill the memory and the result pages.
    if (end - start > kMaxLineBytes) {
      start = end + 1;
      continue;
    }
    std::string text = bytes->substr(start, end - start);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    start = end + 1;
    // Only "<number> #<path>" names a record. Anything else (a torn last line, a number
    // out of range, stray text) is left out: read as offset 0 it would cut the range of
    // the record before it.
    const size_t blank = text.find(' ');
    if (blank == std::string::npos || blank == 0 || blank + 1 >= text.size()) continue;
    Line line{0, std::move(text)};
    const auto result = std::from_chars(line.text.data(), line.text.data() + blank, line.offset);
    if (result.ec != std::errc() || result.ptr != line.text.data() + blank) continue;
    // A marker inside a line is no record, but the marker search stops there all the same.
    if (!markers_.empty() && line.offset < markers_.back()) ascending_ = false;
    markers_.push_back(line.offset);
    if (line.text[blank + 1] != '#') continue;
    lines_.push_back(std::move(line));
  }
  return true;
}

std::string TTitlePositions::RawPathAt(int64_t offset) const {
  const auto index = MatchingLine(lines_, ascending_, offset);
  return index ? AfterMarker(lines_[*index].text) : std::string();
}

std::optional<int64_t> TTitlePositions::NextOffsetAfter(int64_t offset) const {
  if (!ascending_) return std::nullopt;
  const auto it = std::upper_bound(markers_.begin(), markers_.end(), offset);
  if (it == markers_.end()) return std::nullopt;
  return *it;
}

std::string GetPfadUtf8(const TTitlePositions& titles, int64_t offset) {
  return DecodeOnce(titles.RawPathAt(offset));
}

std::string GetPfadUnicode(const TTitlePositions& titles, int64_t offset) { return titles.RawPathAt(offset); }

bool TitelPositionenErstellen(SearchSession& session, const std::u16string& store,
                              const std::u16string& titleFile, TitleKind kind) {
  const bool mht = kind == TitleKind::Mht;
  session.quietFlag = true;
  std::u16string text;
  TDocumentModel viewer;
  viewer.SetMode(mht ? TDocumentMode::Unicode : TDocumentMode::Text);
  bool complete = viewer.Open(store);
  if (complete) {
    TStreamSearch search;
    search.NextSource = &session;
    const TViewerEncoding encoding = !mht ? vEncANSI : session.chkUnicodeBE ? vEncUnicodeBE : vEncUnicodeLE;
    const uint8_t options = session.grossKleinBeachten ? kSearchCaseSensitive : 0;
    if (session.setMainCaption)
      session.setMainCaption(mht ? u"UNICODE-DB: Erstelle Liste der Datei-Positionen"
                                 : u"UTF8-DB: Erstelle Liste der Datei-Positionen");
    bool opened = true;
    try {
      search.OpenSearchFile(store);
    } catch (const textlib::Exception&) {
      platform::ShowMessageBox(store + u" kann nicht geöffnet werden.", u"Error", platform::mb::IconError);
      opened = complete = false;
    }
    try {
      bool found = opened && search.FindFirst(session.dokumentmarke, encoding, options, 0);
      while (found) {
        platform::ProcessMessages();
        viewer.SetSelection(search.FoundStart(), search.FoundLength());
        viewer.SelectAt(0, search.FoundStart());
        const std::string number = std::to_string(search.FoundStart());
        text += std::u16string(number.begin(), number.end()) + u" " +
                (mht ? viewer.SelTextW() : platform::AnsiToWide(viewer.SelText())) + u"\r\n";
        session.currentSearchText = session.dokumentmarke;
        found = search.FindNext(false);
      }
    } catch (const textlib::Exception& e) {
      platform::ShowMessageBox(e.Message(), u"Suche fehlgeschlagen", platform::mb::IconError);
      complete = false;
    }
    search.CloseSearchFile();
  }
  if (session.setMainCaption) session.setMainCaption(u"");
  if (!app::WriteToStream(text, titleFile, 65001)) {
    // Title positions of an older store would name every hit after the wrong document;
    // without a file the next search builds them anew.
    const std::u16string error = app::WriteErrorText(titleFile);
    platform::RemoveFile(platform::PosixPath(titleFile));
    platform::ShowMessageBox(error, u"Quarry-HTML", platform::mb::IconError);
    return false;
  }
  return complete;
}

void Button4Click(SearchSession& session, const DatabaseFiles& files) {
  session.quietFlag = true;
  const std::u16string root = textlib::UnicodeTrim(LiesWurzelPfad(files.Description()));
  session.dokumentmarke = u"#" + root.substr(0, 1) + u":\\";
  if (!root.empty()) {
    if (FileExistsNotDirectory(files.Utf8Store()))
      TitelPositionenErstellen(session, files.Utf8Store(), files.Utf8TitlePositions(), TitleKind::Utf8);
    if (FileExistsNotDirectory(files.MhtStore()))
      TitelPositionenErstellen(session, files.MhtStore(), files.MhtTitlePositions(), TitleKind::Mht);
  }
  session.quietFlag = false;
}

bool TitelPositionenVorab(const std::u16string& store, const std::u16string& titleFile, TitleKind kind,
                          std::u16string_view root) {
  SearchSession session;
  session.quietFlag = true;
  session.dokumentmarke = u"#" + std::u16string(root.substr(0, 1)) + u":\\";
  return !root.empty() && TitelPositionenErstellen(session, store, titleFile, kind);
}

std::u16string FormatGroupedNumber(int64_t value) {
  const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  const std::string digits = std::to_string(magnitude);
  std::u16string out = value < 0 ? u"-" : u"";
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += u'.';
    out += static_cast<char16_t>(digits[i]);
  }
  return out;
}

TitleDisplay ZeigDieTitelAnText(int64_t viewerTopOffset, const TTitlePositions& titles, TitleKind kind,
                                bool sortedListShown) {
  TitleDisplay display{FormatGroupedNumber(viewerTopOffset), {}};
  if (titles.Empty() || sortedListShown) return display;
  const std::string raw = titles.RawPathAt(viewerTopOffset);
  if (raw.empty()) return display;
  std::u16string path = textlib::DecodeUtf8(raw);
  if (kind == TitleKind::Utf8) path = textlib::DecodeUtf8(platform::WideToAnsi(path));
  display.hint = path;
  display.caption += u"  \"" + path + u"\"";
  return display;
}

std::u16string FitCaption(std::u16string caption, const std::function<bool(const std::u16string&)>& fits) {
  bool cut = false;
  while (!caption.empty() && !fits(caption)) {
    caption.resize(caption.size() > 7 ? caption.size() - 7 : 0);
    cut = true;
  }
  return cut ? caption + u"..." : caption;
}

}  // namespace search
