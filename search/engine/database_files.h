#pragma once
// The files of one database below "Datenbank\" of the base folder, the database root read
// from its description, and the search for the drive under which a file is reachable now.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace search {

struct DatabaseFiles {
  std::u16string baseFolder;  // drive form, ending in "\"
  std::u16string dbName;

  std::u16string Folder() const { return baseFolder + u"Datenbank\\"; }
  std::u16string TempFolder() const { return Folder() + u"Temp\\"; }
  std::u16string Description() const { return Folder() + dbName + u".dat"; }
  std::u16string Utf8Store() const { return Folder() + dbName + u"_UTF8Dokument.txt"; }
  std::u16string MhtStore() const { return Folder() + dbName + u"_MHTtext.txt"; }
  std::u16string Utf8TitlePositions() const { return Folder() + dbName + u"_Utf8_TitelPositionen.txt"; }
  std::u16string MhtTitlePositions() const { return Folder() + dbName + u"_MHT_TitelPositionen.txt"; }
};

// A description's lines as TWideStrings::LoadFromFile reads them (UTF-16 behind its mark,
// else the ANSI code page) and SetTextStr splits them, kept as one text: a list of one
// string per listed file cost more than searching the small files themselves.
class DescriptionLines {
 public:
  // False when the file cannot be read. With firstLineOnly the reading stops once line 0
  // is whole (the lines after it may be missing or cut): the description of a large
  // database lists every file, and a search only wants its root.
  bool Load(const std::u16string& fileName, bool firstLineOnly = false);
  int Count() const { return static_cast<int>(lines_.size()); }
  // Line i back in the ANSI code page (WideToAnsi of the line read).
  std::string Ansi(int i) const;

 private:
  std::string bytes_;     // the file without a UTF-16 mark, which the code page maps one to one
  std::u16string units_;  // the text behind a UTF-16 mark
  bool wide_ = false;
  std::vector<std::pair<size_t, size_t>> lines_;
};

// Line 0 of the description without its first "PFAD_UND_ENDUNGEN=", UTF-8-decoded: the
// root folder and the extension slots (" C:\Daten\ *.htm  ..."). Empty when the file is
// missing.
std::u16string LiesWurzelPfad(const std::u16string& descriptionFile);

// The last of the letters A, B, D .. Z under which the path (its own letter replaced)
// names an existing file; empty when the path exists as it stands or under none.
std::u16string LaufwerkSuchen(const std::u16string& path);

// Deletes every file (not folder) in the folder, silently.
void DateienLoeschen(const std::u16string& folder);
// DateienLoeschen for a search run, in two steps. RemoveAllButPages deletes links and
// every file that is not a result page of the run before ("QY_Ergebnis" + any + ".htm").
// EmptyPages empties those pages instead of deleting them, so the new pages reuse their
// files (a file system makes hundreds of new files slowly right after deleting as many);
// it may run beside the search as long as no page is written meanwhile, as it touches
// nothing else. RemoveEmptyPages deletes the emptied pages the run did not write again.
void RemoveAllButPages(const std::u16string& folder);
void EmptyPages(const std::u16string& folder);
void RemoveEmptyPages(const std::u16string& folder);

}  // namespace search
