#include "search/engine/database_search.h"

#include <algorithm>
#include <future>
#include <optional>
#include <system_error>
#include <type_traits>

#include "app/index/database_set.h"
#include "search/engine/direct_search.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/messagebox.h"
#include "search/engine/text_matcher.h"
#include "search/engine/viewer_services.h"
#include "textlib/errors.h"
#include "textlib/unicode.h"

namespace search {
namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// 1-based position of term in s, 0 when absent.
template <class S>
int64_t Pos(const S& term, const S& s) {
  if (term.empty()) return 0;
  const size_t at = s.find(term);
  return at == S::npos ? 0 : static_cast<int64_t>(at) + 1;
}

// 1-based position of term in s without case, 0 when absent: UTF-8 folded per character.
// A run asks for one term at every hit: its matcher is made once.
int64_t PosIgnoringCase(const std::string& term, const std::string& s) {
  thread_local std::string cachedTerm;
  thread_local std::optional<Utf8Matcher> matcher;
  if (!matcher || cachedTerm != term) {
    matcher.emplace(term);
    cachedTerm = term;
  }
  return matcher->Find(s, true, nullptr) + 1;
}
std::u16string Lower(const std::u16string& s) { return textlib::UnicodeLowerCase(s); }
int64_t PosIgnoringCase(const std::u16string& term, const std::u16string& s) { return Pos(Lower(term), Lower(s)); }

// Cut points of a UTF-8 snippet move to character starts.
size_t ForwardToBoundary(const std::string& s, size_t at) {
  while (at < s.size() && IsContinuation(s[at])) ++at;
  return at;
}
// A UTF-16 snippet is never cut between the halves of a surrogate pair.
bool InsidePair(const std::u16string& s, size_t at) {
  return at > 0 && at < s.size() && s[at] >= 0xDC00 && s[at] < 0xE000 && s[at - 1] >= 0xD800 && s[at - 1] < 0xDC00;
}
size_t ForwardToBoundary(const std::u16string& s, size_t at) { return InsidePair(s, at) ? at + 1 : at; }
size_t BackToBoundary(const std::string& s, size_t at) {
  while (at > 0 && at < s.size() && IsContinuation(s[at])) --at;
  return at;
}
size_t BackToBoundary(const std::u16string& s, size_t at) { return InsidePair(s, at) ? at - 1 : at; }

// Without continuation bytes at the start and a sequence cut off at the end.
void CompleteCharacters(std::string& s) {
  s.erase(0, ForwardToBoundary(s, 0));
  size_t lead = s.size();
  for (int back = 0; back < 4 && lead > 0; ++back) {
    --lead;
    if (!IsContinuation(s[lead])) break;
  }
  if (lead >= s.size()) return;
  const auto c = static_cast<unsigned char>(s[lead]);
  const size_t need = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  if (lead + need > s.size()) s.resize(lead);
}
void CompleteCharacters(std::u16string&) {}

// "#" + drive letter + ":\": the line that opens the next document of a store.
template <class S>
bool OpensRecord(const S& line) {
  return line.size() >= 4 && line[0] == '#' && line[2] == ':' && line[3] == '\\' &&
         ((line[1] >= 'A' && line[1] <= 'Z') || (line[1] >= 'a' && line[1] <= 'z'));
}

template <class S>
S Snippet(S s, const S& term, bool caseSensitive, int64_t foundStart, int64_t charSize,
          const std::function<S(int64_t)>& selectLine) {
  const S blank(1, ' ');
  for (const size_t limit : {size_t{150}, size_t{250}}) {
    if (s.size() >= limit) continue;
    // A short snippet is filled up from the lines that follow, but never from the next
    // document (its path and text would be shown as this document's) and never past the
    // store's end (the unchanged selection would repeat the line).
    const S next = selectLine(foundStart + (static_cast<int64_t>(s.size()) + 2) * charSize);
    if (next.empty() || OpensRecord(next)) break;
    s = s + blank + next;
  }
  auto find = [&](const S& text) { return caseSensitive ? Pos(term, text) : PosIgnoringCase(term, text); };
  const int64_t termLength = static_cast<int64_t>(term.size());

  if (const int64_t p = find(s); p > 100) s.erase(0, ForwardToBoundary(s, static_cast<size_t>(p - 40)));
  if (s.size() > 350 && find(s) < 350 - termLength) {
    // The first 349 characters and the last one remain.
    const size_t last = BackToBoundary(s, s.size() - 1);
    const size_t keep = std::min(BackToBoundary(s, 349), last);
    s = s.substr(0, keep) + s.substr(last);
  }
  if (s.size() > 800) {
    const int64_t cut = Pos(term, s) - 150;
    if (cut > 0) s.erase(0, ForwardToBoundary(s, static_cast<size_t>(cut)));
    if (s.size() > 400) s.resize(BackToBoundary(s, 400));
  }
  CompleteCharacters(s);
  // One entry is one line of the page buffer.
  for (auto& c : s)
    if (c == '\r' || c == '\n') c = ' ';
  return s;
}

std::string TrimControlsAndBlanks(const std::string& s) {
  size_t first = 0, last = s.size();
  while (first < last && static_cast<unsigned char>(s[first]) <= 0x20) ++first;
  while (last > first && static_cast<unsigned char>(s[last - 1]) <= 0x20) --last;
  return s.substr(first, last - first);
}

// A record's path line or the line of "=" under it: never part of a snippet.
template <class S>
bool RecordHeadLine(const S& line) {
  if (OpensRecord(line)) return true;
  return !line.empty() && std::all_of(line.begin(), line.end(), [](auto c) { return c == '='; });
}

// The snippet's source of further lines: the viewer's line at a store offset, nothing
// from the next record on (its opening blanks, "#" and "=" lines come in front of the
// marker at recordEnd) and nothing past the store's end.
template <class S>
std::function<S(int64_t)> LinesOf(TDocumentModel& viewer, std::optional<int64_t> recordEnd) {
  return [&viewer, recordEnd](int64_t offset) {
    constexpr int64_t kOpeningBytes = 6;  // " \r\n \r\n" in UTF-8, " \r\n" in UTF-16
    if (offset > viewer.LastPos() || (recordEnd && offset >= *recordEnd - kOpeningBytes)) return S();
    viewer.SelectAt(0, offset);
    S line;
    if constexpr (std::is_same_v<S, std::string>)
      line = viewer.SelText();
    else
      line = viewer.SelTextW();
    return RecordHeadLine(line) ? S() : line;
  };
}

std::u16string DecodeEntry(const std::u16string& entry) {
  return textlib::DecodeUtf8(platform::WideToAnsi(entry));
}

}  // namespace

std::string SnippetUtf8(std::string line, const std::string& term, bool caseSensitive, int64_t foundStart,
                        const std::function<std::string(int64_t)>& selectLine) {
  return Snippet<std::string>(std::move(line), term, caseSensitive, foundStart, 1, selectLine);
}

std::u16string SnippetUnicode(std::u16string line, const std::u16string& term, bool caseSensitive,
                              int64_t foundStart, const std::function<std::u16string(int64_t)>& selectLine) {
  return SnippetWide(std::move(line), term, caseSensitive, foundStart, 2, selectLine);
}

std::u16string SnippetWide(std::u16string line, const std::u16string& term, bool caseSensitive, int64_t foundStart,
                           int64_t charSize, const std::function<std::u16string(int64_t)>& selectLine) {
  const bool present = caseSensitive ? Pos(term, line) > 0 : PosIgnoringCase(term, line) > 0;
  if (!present) line.clear();
  return Snippet<std::u16string>(std::move(line), term, caseSensitive, foundStart, charSize, selectLine);
}

// ---- paging of a path-list search -------------------------------------------------

void PathListPaging::WritePage(const std::u16string& searchText, int begin, int end, bool more,
                               int64_t reported) {
  if (pagesFlushed_ == 0)
    state_.ResultPageNo = 1;
  else
    state_.ResultPageNo = state_.ResultPageNo == 0 ? 2 : state_.ResultPageNo + 1;
  if (reported < 0) reported = int64_t{state_.ResultPageNo} * kHitsPerPage;
  ++pagesFlushed_;
  writer_.UniRichEdit1.Clear();
  std::vector<std::u16string> made;
  for (int i = begin; i < end; ++i) {
    MadeLine* m = Made ? Made(i) : nullptr;
    writer_.UniRichEdit1.Add(m ? m->line : DecodeEntry(hits_[i]));
    if (m && made.size() == static_cast<size_t>(i - begin)) made.push_back(std::move(m->pageLine));
  }
  if (made.size() == static_cast<size_t>(end - begin)) writer_.MadeLines = std::move(made);
  state_.MorePages = more;
  writer_.SchreibHTMLDocNeu(searchText, reported);
}

void PathListPaging::AfterFile(const std::u16string& searchText) {
  // A page goes out only while a full page stays behind it, so the page written last is
  // always written knowing that nothing follows.
  while (hits_.Count() - kHitsPerPage * pagesFlushed_ >= 2 * kHitsPerPage) {
    const int begin = kHitsPerPage * pagesFlushed_;
    WritePage(searchText, begin, begin + kHitsPerPage, true, -1);
  }
}

void PathListPaging::Finish(const std::u16string& searchText) {
  AfterFile(searchText);
  const int total = hits_.Count();
  while (total - kHitsPerPage * pagesFlushed_ > kHitsPerPage) {
    const int begin = kHitsPerPage * pagesFlushed_;
    WritePage(searchText, begin, begin + kHitsPerPage, true, total);
  }
  WritePage(searchText, kHitsPerPage * pagesFlushed_, total, false, total);
}

// ---- the store search ---------------------------------------------------------------

bool TDatabaseSearch::FileThere(const std::string& utf8Path) const {
  if (utf8Path.empty()) return false;
  // The folder is known by the name the store gives it: a file in a folder known to be
  // missing costs no conversion and no look-up.
  if (const size_t cut = utf8Path.rfind('\\'); cut != std::string::npos) {
    const std::string_view folder = std::string_view(utf8Path).substr(0, cut + 1);
    auto it = folders_.find(folder);
    if (it == folders_.end()) {
      constexpr size_t kMostFolders = 4096;  // bounded memory whatever the store
      if (folders_.size() >= kMostFolders) folders_.clear();
      const auto st = platform::Stat(platform::PosixPath(textlib::DecodeUtf8(folder)));
      it = folders_.emplace(std::string(folder), st && st->isDirectory).first;
    }
    if (!it->second) return false;
  }
  const auto st = platform::Stat(platform::PosixPath(textlib::DecodeUtf8(utf8Path)));
  return st && !st->isDirectory;
}

std::string TDatabaseSearch::CheckPath(const std::string& path) const {
  if (FileThere(path)) return path;
  std::string p = platform::WideToAnsi(RelocationLetter) + (path.empty() ? std::string() : path.substr(1));
  if (FileThere(p)) return p;
  const std::string q = p;
  if (const size_t at = p.find(":\\"); at != std::string::npos) p.erase(0, at + 2);
  p = textlib::EncodeUtf8(files_.baseFolder) + p;
  if (FileThere(p)) return p;
  return "Existiert nicht! " + q;
}

void TDatabaseSearch::RecordHit(bool mht) {
  int64_t start = search_.FoundStart();
  const int64_t cs = mht ? 2 : 1;
  const std::optional<int64_t> recordEnd = titles_.NextOffsetAfter(start);
  // The next step begins at the next record's opening: its lines are fetched from memory
  // while this hit's snippet is made.
  const std::shared_ptr<TBlockCache> cache = search_.Cache();
  if (cache && recordEnd) cache->Prefetch(*recordEnd - 64, 192);
  // A hit in the record's path or "=" line: the snippet starts with the record's text.
  for (int head = 0; head < 2; ++head) {
    const bool inHead = mht ? RecordHeadLine(viewer2_.SelTextW()) : RecordHeadLine(viewer2_.SelText());
    if (!inHead) break;
    const int64_t next = viewer2_.SelStart() + viewer2_.SelLength() + 2 * cs;
    if (next > viewer2_.LastPos() || (recordEnd && next >= *recordEnd)) break;
    viewer2_.SelectAt(0, next);
    start = viewer2_.SelStart();
  }
  std::string path, snippet;
  if (mht) {
    path = GetPfadUnicode(titles_, search_.FoundStart());
    std::u16string line = viewer2_.SelTextW();
    if (RecordHeadLine(line)) line.clear();
    const std::u16string s = SnippetUnicode(line, wideSearchText_, session_.grossKleinBeachten, start,
                                            LinesOf<std::u16string>(viewer2_, recordEnd));
    snippet = textlib::EncodeUtf8(textlib::UnicodeTrim(s + u"<br>"));
  } else {
    path = GetPfadUtf8(titles_, search_.FoundStart());
    std::string line = viewer2_.SelText();
    if (RecordHeadLine(line)) line.clear();
    const std::string s = SnippetUtf8(line, utf8SearchText_, session_.grossKleinBeachten, start,
                                      LinesOf<std::string>(viewer2_, recordEnd));
    snippet = TrimControlsAndBlanks(s + "<br>");
  }
  const bool bareSnippet = snippet == "<br>";
  path = CheckPath(path);
  ++HitsSinceFlush;
  HitList.Add(platform::AnsiToWide(path + "##text##" + snippet));
  if (HitList.Count() > kHitsPerPage) PageFirstFullPage();
  if (!bareSnippet && !path.empty()) {
    app::SearchFlags& flags = *session_.flags;
    if (mht && flags.BrowsedKindMht) flags.NoHitMht = false;
    if (!mht && flags.BrowsedKindUtf8) flags.NoHitUtf8 = false;
  }
}

void TDatabaseSearch::Step(bool first, bool mht) {
  if (mht)
    wideSearchText_ = searchText_;
  else
    utf8SearchText_ = textlib::EncodeUtf8(searchText_);
  const uint8_t options = (session_.grossKleinBeachten ? kSearchCaseSensitive : 0) |
                          (session_.nurGanzeWoerter ? kSearchWholeWords : 0);
  bool found = false;
  try {
    if (first) {
      try {
        search_.OpenSearchFile(store_);
        // The snippets' lines come from the blocks the search reads.
        viewer2_.OpenThrough(store_, search_.Cache());
        viewer2_.SetSelection(0, 0);
      } catch (const textlib::Exception&) {
        platform::ShowMessageBox(store_ + u" kann nicht geöffnet werden.", u"Error", platform::mb::IconError);
        StoreStepFound = false;
        return;
      }
      found = mht ? search_.FindFirst(wideSearchText_, vEncUnicodeLE, options, 0)
                  : search_.FindFirst(platform::AnsiToWide(utf8SearchText_), vEncANSI, options, 0);
    } else {
      found = search_.FindNext(false);
    }
  } catch (const textlib::Exception& e) {
    platform::ShowMessageBox(e.Message(), u"Suche fehlgeschlagen", platform::mb::IconError);
    StoreStepFound = false;
    return;
  }
  if (!found) {
    StoreStepFound = false;
    return;
  }
  viewer2_.SetSelection(search_.FoundStart(), search_.FoundLength());
  viewer2_.SelectAt(0, search_.FoundStart());
  StoreStepFound = true;
  if (session_.currentSearchText.starts_with(session_.dokumentmarke)) return;  // a marker step
  RecordHit(mht);
}

// The marker step without scanning the rest of the document: the title positions name
// the next record, and the store is checked to hold the marker there as the marker search
// would see it. Any doubt (no next record listed, another text there) leaves the step to
// the marker search, so the hits are those of the plain alternation.
bool TDatabaseSearch::SkipToNextRecord(bool mht) {
  const std::shared_ptr<TBlockCache> cache = search_.Cache();
  if (!cache) return false;
  const std::optional<int64_t> next = titles_.NextOffsetAfter(search_.FoundStart());
  if (!next) return false;
  const std::u16string& marker = session_.dokumentmarke;
  const int64_t cs = mht ? 2 : 1;
  // The line around the marker first: its window reaches back before the marker, and the
  // marker is then read from the same buffer.
  viewer2_.SelectAt(0, *next);
  const std::optional<std::string_view> bytes = cache->View(*next, static_cast<int64_t>(marker.size()) * cs);
  if (!bytes || bytes->size() != marker.size() * cs) return false;
  for (size_t i = 0; i < marker.size(); ++i) {
    char16_t unit = static_cast<unsigned char>((*bytes)[i * cs]);
    if (mht) unit |= static_cast<char16_t>(static_cast<unsigned char>((*bytes)[i * cs + 1]) << 8);
    const char16_t want = marker[i];
    const bool same = unit == want || (!session_.grossKleinBeachten && want < 0x80 && unit < 0x80 &&
                                       textlib::CharToLower(unit) == textlib::CharToLower(want));
    if (!same) return false;
  }
  search_.SetFound(*next, static_cast<int64_t>(marker.size()) * cs);
  StoreStepFound = true;
  return true;
}

// Whether the title positions belong to the store: they record the stamp of the store
// they were made from, and it must be this store's. Positions without a stamp (made
// before stamps were recorded, or from a store searched only in part) are made anew.
bool TDatabaseSearch::TitlesFitStore(const std::u16string& store, bool) {
  const std::optional<StoreStamp> stamp = StoreStampOf(store);
  if (!stamp) return true;  // the search reports it
  return titles_.Stamp() && *titles_.Stamp() == *stamp;
}

void TDatabaseSearch::StoreLoop(const std::u16string& store, bool mht) {
  session_.quietFlag = true;
  store_ = store;
  viewer2_.SetMode(mht ? TDocumentMode::Unicode : TDocumentMode::Text);
  const std::u16string titleFile = mht ? files_.MhtTitlePositions() : files_.Utf8TitlePositions();
  titles_.Load(titleFile);
  // Title positions of another store (a build killed between the two, a store copied in
  // by hand) would name hits after the wrong documents: they are made anew.
  if (!TitlesFitStore(store, mht)) {
    const bool quiet = session_.quietFlag;
    const std::u16string current = session_.currentSearchText;
    TitelPositionenErstellen(session_, store, titleFile, mht ? TitleKind::Mht : TitleKind::Utf8);
    session_.quietFlag = quiet;
    session_.currentSearchText = current;
    titles_.Load(titleFile);
  }
  search_.NextSource = &session_;
  search_.BlockSize = BlockSize;
  search_.TextIsUtf8 = !mht;
  Step(true, mht);
  while (StoreStepFound) {
    session_.currentSearchText = session_.dokumentmarke;
    if (!SkipByTitlePositions || !SkipToNextRecord(mht)) Step(false, mht);
    viewer2_.SelectAt(0, search_.FoundStart());
    if (!StoreStepFound) break;
    session_.currentSearchText = mht ? wideSearchText_ : platform::AnsiToWide(utf8SearchText_);
    Step(false, mht);
  }
  search_.CloseSearchFile();
  viewer2_.Close();
}

void TDatabaseSearch::DBSucheUtf8(const std::u16string& store) { StoreLoop(store, false); }
void TDatabaseSearch::DBSucheUnicode(const std::u16string& store) { StoreLoop(store, true); }

// The first 25 entries as a page that links to the next (a hit follows it), then gone
// from memory.
void TDatabaseSearch::PageFirstFullPage() {
  writer_.UniRichEdit1.Clear();
  for (int i = 0; i < kHitsPerPage; ++i) writer_.UniRichEdit1.Add(HitList[i]);
  pages_.MorePages = true;
  WriteEntryPage(int64_t{pages_.ResultPageNo} * kHitsPerPage);
  pages_.ResultPageNo = pages_.ResultPageNo == 0 ? 2 : pages_.ResultPageNo + 1;
  textlib::TWideStringList rest;
  for (int i = kHitsPerPage; i < HitList.Count(); ++i) rest.Add(HitList[i]);
  HitList.Clear();
  for (int i = 0; i < rest.Count(); ++i) HitList.Add(rest[i]);
  pagedHits_ += kHitsPerPage;
}

// The page buffer holds hit entries as they are kept: the page decodes them.
void TDatabaseSearch::WriteEntryPage(int64_t hitCount) {
  writer_.LineOfEntry = DecodeEntry;
  writer_.SchreibHTMLDocNeu(searchText_, hitCount);
  writer_.LineOfEntry = nullptr;
}

void TDatabaseSearch::PageStoreHits() {
  const int n = HitList.Count();
  const int full = n / kHitsPerPage, rest = n % kHitsPerPage;
  for (int k = 0; k < full; ++k) {
    writer_.UniRichEdit1.Clear();
    for (int i = kHitsPerPage * k; i < kHitsPerPage * (k + 1); ++i) writer_.UniRichEdit1.Add(HitList[i]);
    // The last page says that nothing follows, also when it is a full one.
    pages_.MorePages = !(rest == 0 && k == full - 1);
    WriteEntryPage(int64_t{pages_.ResultPageNo} * kHitsPerPage);
    pages_.ResultPageNo = pages_.ResultPageNo == 0 ? 2 : pages_.ResultPageNo + 1;
  }
  if (rest > 0) {
    writer_.UniRichEdit1.Clear();
    for (int i = kHitsPerPage * full; i < n; ++i) writer_.UniRichEdit1.Add(HitList[i]);
    pages_.MorePages = false;
    WriteEntryPage(int64_t{pages_.ResultPageNo} * kHitsPerPage - (kHitsPerPage - rest));
  }
}

bool TDatabaseSearch::Run(const DatabaseFiles& files, const std::u16string& searchText) {
  files_ = files;
  searchText_ = searchText;
  HitList.Clear();
  pagedHits_ = 0;
  folders_.clear();
  if (textlib::UnicodeTrim(searchText).size() == 1) {
    platform::ShowMessageBox(u"Nur ein Zeichen als Suchtext ist bei der \"Suche\" nicht erlaubt", u"Quarry-HTML",
                             platform::mb::Ok | platform::mb::IconInformation);
    return false;
  }
  // A commit that a killed build left half done is completed first, and no build may
  // replace the stores while they are searched.
  const std::u16string dbFolder = files.baseFolder + u"Datenbank\\";
  app::RollForwardDatabase(dbFolder, files.dbName);
  const std::optional<platform::FileLock> lock = app::LockDatabase(dbFolder, files.dbName, platform::FileLock::Kind::Shared);
  if (!lock) {
    platform::ShowMessageBox(u"Die Datenbank \"" + files.dbName +
                                 u"\" wird gerade erstellt! Bitte suchen Sie, wenn sie fertig ist.",
                             u"Quarry-HTML", platform::mb::Ok | platform::mb::IconInformation);
    return false;
  }
  writer_.ResetFailure();
  // The last run's pages are emptied while this one starts searching; a page is written
  // only once they are. Other files go first, before anything else may write there.
  RemoveAllButPages(files.TempFolder());
  std::future<void> emptied;
  try {
    emptied = std::async(std::launch::async, [folder = files.TempFolder()] { EmptyPages(folder); });
  } catch (const std::system_error&) {
    EmptyPages(files.TempFolder());
  }
  const auto waitForEmptied = [&emptied] {
    if (emptied.valid()) emptied.get();
  };
  struct Emptied {
    app::TResultPageWriter& writer;
    std::future<void>& emptied;
    ~Emptied() {
      writer.WriteAhead(false);
      writer.BeforeWrite = nullptr;
      if (emptied.valid()) emptied.wait();
    }
  } emptiedAtEnd{writer_, emptied};
  writer_.BeforeWrite = waitForEmptied;
  // The pages after the first are written while the search goes on.
  writer_.WriteAhead(true);
  session_.currentSearchText.clear();

  const std::u16string root = textlib::UnicodeTrim(LiesWurzelPfad(files.Description()));
  RelocationLetter.clear();
  if (!FileExistsNotDirectory(root)) RelocationLetter = LaufwerkSuchen(files.Description());
  if (RelocationLetter.empty()) RelocationLetter = root.substr(0, 1);
  // Without a root no record marker exists, and nothing can be found.
  session_.dokumentmarke = root.empty() ? std::u16string() : u"#" + root.substr(0, 1) + u":\\";

  // The page buffer still holds the last page of the run before.
  writer_.UniRichEdit1.Clear();
  if (session_.storesStarting) session_.storesStarting();
  app::SearchFlags& flags = *session_.flags;
  flags.NoHits = true;
  session_.quietFlag = true;
  SearchRunning = true;
  pages_.MorePages = false;
  pages_.ResultPageNo = 1;
  HitsSinceFlush = 0;
  cancelRequested_ = false;
  // Decided from the files, not from how the database was made in this session: a
  // database of paths stays one after a restart, and one made later is no other.
  EndCaption.clear();
  searchedDirectly_ = !FileExistsNotDirectory(files.Utf8Store()) && !FileExistsNotDirectory(files.MhtStore());
  if (searchedDirectly_) {
    TDirectSearch direct(session_, writer_, pages_, HitList);
    direct.SetCaption = SetSearchCaption;
    direct.CancelSource = &cancelRequested_;
    direct.Run(files, searchText);
    EndCaption = direct.EndCaption();
    cancelRequested_ = false;
  } else if (!session_.dokumentmarke.empty()) {
    if (FileExistsNotDirectory(files.Utf8Store())) {
      StoreStepFound = true;
      flags.NoHitUtf8 = true;
      DBSucheUtf8(files.Utf8Store());
    }
    if (FileExistsNotDirectory(files.MhtStore())) {
      StoreStepFound = true;
      flags.NoHitMht = true;
      session_.currentSearchText.clear();
      DBSucheUnicode(files.MhtStore());
    }
  }
  // The direct search pages its own hits, the empty first page included.
  if (!searchedDirectly_) PageStoreHits();
  if (HitCount() > 0)
    flags.NoHits = false;
  else if (!searchedDirectly_)
    writer_.SchreibHTMLDocNeu(searchText, 0);
  writer_.WriteAhead(false);
  waitForEmptied();
  RemoveEmptyPages(files.TempFolder());
  // Pages that could not be written are no result: the run says so and is not done.
  if (writer_.Failed()) {
    session_.quietFlag = false;
    SearchRunning = false;
    return false;
  }
  session_.quietFlag = false;
  SearchRunning = false;
  return true;
}

}  // namespace search
