#pragma once
// The database search run without its window: both document stores of a database are
// searched with the stream search while a document model of the same store selects each
// hit's line for its snippet; every document yields at most one hit (the first
// occurrence), named through the title positions, and the hits go to the result writer
// in pages of 25. Message boxes go through the platform's sink.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "app/results/result_pages.h"
#include "search/engine/database_files.h"
#include "search/engine/document_model.h"
#include "search/engine/search_session.h"
#include "search/engine/stream_search.h"
#include "search/engine/title_positions.h"
#include "textlib/widestrings.h"

namespace search {

inline constexpr int kHitsPerPage = 25;

// The snippet rules on one selected line; counts are bytes (UTF-8 store) or UTF-16 units
// (MHT store). selectLine(offset) selects the line at a store offset and returns its text,
// or nothing past the store's end.
std::string SnippetUtf8(std::string line, const std::string& term, bool caseSensitive, int64_t foundStart,
                        const std::function<std::string(int64_t)>& selectLine);
std::u16string SnippetUnicode(std::u16string line, const std::u16string& term, bool caseSensitive,
                              int64_t foundStart, const std::function<std::u16string(int64_t)>& selectLine);
// The UTF-16 rules for a line of characters charSize bytes long each in the file (2 for
// UTF-16, 1 for an 8-bit file read as UTF-16); a line without the term is dropped first.
std::u16string SnippetWide(std::u16string line, const std::u16string& term, bool caseSensitive, int64_t foundStart,
                           int64_t charSize, const std::function<std::u16string(int64_t)>& selectLine);

// Paging of a path-list search: after each file, and once at the end. A page is written
// only when it is known whether another follows, so the last page never links on.
class PathListPaging {
 public:
  PathListPaging(const textlib::TWideStrings& hits, app::TResultPageWriter& writer, app::ResultPageState& state)
      : hits_(hits), writer_(writer), state_(state) {}
  void AfterFile(const std::u16string& searchText);
  void Finish(const std::u16string& searchText);
  int32_t PagesFlushed() const { return pagesFlushed_; }
  // Hit i as the page buffer's line and its page line (TResultPageWriter::PageLine), made
  // ahead; the page takes the page line over. A page makes its own lines when this is not
  // set or gives nothing for one of its hits.
  struct MadeLine {
    std::u16string line, pageLine;
  };
  std::function<MadeLine*(int)> Made;

 private:
  void WritePage(const std::u16string& searchText, int begin, int end, bool more, int64_t reported);
  const textlib::TWideStrings& hits_;
  app::TResultPageWriter& writer_;
  app::ResultPageState& state_;
  int32_t pagesFlushed_ = 0;
};

class TDatabaseSearch {
 public:
  TDatabaseSearch(SearchSession& session, app::TResultPageWriter& writer, app::ResultPageState& pages)
      : session_(session), writer_(writer), pages_(pages) {}

  // The run: false when the text was refused (one character after trimming). The text is
  // searched as it stands. A database with neither document store lists only paths, and
  // its files are searched directly; this is decided anew for every run, from the files.
  bool Run(const DatabaseFiles& files, const std::u16string& searchText);
  // The cancel button during a run: a direct search stops before its next file.
  void RequestCancel() { cancelRequested_ = true; }
  // The search window's caption while files are searched directly; optional.
  std::function<void(const std::u16string&)> SetSearchCaption;
  // The caption a direct search ended with; empty when every listed file could be read.
  std::u16string EndCaption;
  // Whether the last run searched the listed files directly.
  bool SearchedDirectly() const { return searchedDirectly_; }

  // The loop over one store and one step of it.
  void DBSucheUtf8(const std::u16string& store);
  void DBSucheUnicode(const std::u16string& store);
  // Step F: the path where the file is now, or "Existiert nicht! " + the relocated path.
  std::string CheckPath(const std::string& path) const;
  // Step E1.
  void PageStoreHits();

  // Hit entries not yet on a page, UTF-8 bytes one per character: path + "##text##" +
  // snippet. A full page goes out as soon as a hit follows it, so a run keeps at most one
  // page of entries whatever the number of hits.
  textlib::TWideStringList HitList;
  // Every entry of the run: those on pages and those in HitList.
  int64_t HitCount() const { return pagedHits_ + HitList.Count(); }
  std::u16string RelocationLetter;
  // The run's NoHits and per-store NoHit flags (kept in the session's flags).
  const app::SearchFlags& Flags() const { return *session_.flags; }
  bool StoreStepFound = false;
  bool SearchRunning = false;
  int64_t HitsSinceFlush = 0;
  // Search stream block size (tests use tiny ones).
  int64_t BlockSize = TStreamSearch::kDefaultBlockSize;
  // After a hit, go on at the next record the title positions name instead of searching
  // for its marker (tests turn it off to compare with the plain alternation).
  bool SkipByTitlePositions = true;

 private:
  void StoreLoop(const std::u16string& store, bool mht);
  void Step(bool first, bool mht);
  bool SkipToNextRecord(bool mht);
  bool TitlesFitStore(const std::u16string& store, bool mht);
  void RecordHit(bool mht);
  void PageFirstFullPage();
  void WriteEntryPage(int64_t hitCount);
  bool FileThere(const std::string& utf8Path) const;

  SearchSession& session_;
  app::TResultPageWriter& writer_;
  app::ResultPageState& pages_;
  DatabaseFiles files_;
  std::u16string searchText_;
  std::string utf8SearchText_;
  std::u16string wideSearchText_;
  std::u16string store_;
  int64_t pagedHits_ = 0;
  bool cancelRequested_ = false;
  bool searchedDirectly_ = false;
  TStreamSearch search_;
  TDocumentModel viewer2_;
  TTitlePositions titles_;
  // Of the folders asked for in this run, whether each is there: the records of a store
  // lie in few folders, and a file in a missing folder is missing without a look-up.
  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
  };
  mutable std::unordered_map<std::string, bool, NameHash, std::equal_to<>> folders_;
};

}  // namespace search
