#include "app/settings/default_files.h"

#include "platform/drives.h"
#include "platform/file.h"

namespace app {
namespace {

// Topics and sites in the form the web panel reads: "Themen1"/"Themen2" name the topics
// (the first value ends with a comma, so the two join), each topic's section lists its
// addresses as comma + blank. An address ending in "=" or "/" takes the search text.
// Section names are code page 1252, as the panel converts the topic to look it up.
constexpr std::string_view kAddresses =
    "[Themen1]\r\n"
    "Liste=Suchmaschinen,Nachschlagewerke,\r\n"
    "[Themen2]\r\n"
    "Liste=W\xF6rterb\xFC" "cher,Karten\r\n"
    "[Suchmaschinen]\r\n"
    "Liste=https://duckduckgo.com/?q=, https://www.google.de/search?q=, https://www.bing.com/search?q=, "
    "https://www.ecosia.org/search?q=, https://www.startpage.com/do/search?query=\r\n"
    "[Nachschlagewerke]\r\n"
    "Liste=https://de.wikipedia.org/w/index.php?search=, https://en.wikipedia.org/w/index.php?search=, "
    "https://de.wikibooks.org/w/index.php?search=\r\n"
    "[W\xF6rterb\xFC" "cher]\r\n"
    "Liste=https://www.duden.de/suchen/dudenonline/, https://www.dwds.de/?q=, "
    "https://dict.leo.org/englisch-deutsch/, https://www.dict.cc/?s=, https://de.wiktionary.org/w/index.php?search=\r\n"
    "[Karten]\r\n"
    "Liste=https://www.openstreetmap.org/search?query=, https://www.google.de/maps/search/\r\n";

// One choice per line; a line holds one pattern or several separated by blanks.
constexpr std::string_view kPatterns =
    "*.htm *.html\r\n"
    "*.htm\r\n"
    "*.html\r\n"
    "*.mht *.eml\r\n"
    "*.mht\r\n"
    "*.eml\r\n"
    "*.htm *.html *.mht *.eml\r\n"
    "*.shtml *.xhtml\r\n"
    "*.txt\r\n"
    "*.csv\r\n";

constexpr DefaultFile kFiles[] = {
    {u"Adressen_Webseiten.txt", kAddresses},
    {u"AuswahlEndungen.txt", kPatterns},
};

}  // namespace

std::span<const DefaultFile> DefaultFiles() { return kFiles; }

std::u16string InstallDefaultFiles(const std::u16string& baseFolder) {
  std::u16string failed;
  for (const DefaultFile& file : kFiles) {
    const std::string posix = platform::PosixPath(baseFolder + file.name);
    if (posix.empty() || platform::Stat(posix, false)) continue;
    if (!platform::WriteFileAtomically(posix, std::string(file.bytes))) {
      if (!failed.empty()) failed += u", ";
      failed += file.name;
    }
  }
  return failed;
}

}  // namespace app
