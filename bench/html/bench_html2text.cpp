// Turns a generated corpus of German web pages into text with the reader, tree builder and
// text formatter, on one core, and times `w3m -dump` and `html2text` over the same files as
// a user runs them: one process per file, and each tool's own multi-file mode.
//   bench_html2text [CORPUS_DIR] [SIZE_MB]     (default /tmp/qh-bench-html, 80 MB)
//   bench_html2text --ours-only [CORPUS_DIR] [SIZE_MB]   (no tools; for a profiler)
// The corpus is made once and kept; the same directory and size give the same bytes.
// The checksum of the texts shows that a faster build still writes the same output.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/file.h"
#include "textlib/html/formatter.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// --- corpus ---

const char* const kWords[] = {
    "und",        "der",         "die",        "das",         "Gemeinde",    "Bürger",
    "über",       "Verwaltung",  "Schule",     "groß",        "Straße",      "Jahr",
    "Stadt",      "Kirche",      "Müller",     "Zeitung",     "Bahnhof",     "Wald",
    "mit",        "für",         "nicht",      "Rathaus",     "Brücke",      "Ärger",
    "öffentlich", "Geschichte",  "Öffnungszeiten", "Veranstaltung", "Bürgermeister",
    "Gemeinderat", "Bebauungsplan", "Grundstück", "Anträge",   "Gebühren",    "ist",
    "ein",        "eine",        "im",         "auf",         "zu",          "von",
    "Kindergarten", "Feuerwehr", "Sportverein", "Müllabfuhr", "Wasserversorgung",
    "Straßenbau", "Friedhof",    "Bücherei",   "Ausschuss",   "Sitzung",     "wurde",
    "werden",     "können",      "müssen",     "Einwohner",   "Jahrhundert", "Zuschüsse",
};
const char* const kEntities[] = {"&auml;", "&ouml;", "&uuml;", "&Auml;", "&szlig;", "&nbsp;",
                                 "&amp;",  "&quot;", "&euro;", "&ndash;", "&bdquo;", "&ldquo;",
                                 "&#228;", "&#x20AC;", "&#8222;", "&copy;", "&sect;"};
const char* const kInline[] = {"b", "i", "em", "strong", "span", "a", "small", "u"};

class PageWriter {
 public:
  explicit PageWriter(uint32_t seed) : rng_(seed) {}

  std::string Page(size_t target, int number) {
    out_.clear();
    out_ += "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
    Words(4 + Pick(5));
    out_ += " &ndash; Seite " + std::to_string(number) + "</title>\n"
            "<link rel=\"stylesheet\" href=\"/css/gemeinde.css\" type=\"text/css\">\n";
    Style();
    Script();
    out_ += "</head>\n<body class=\"seite\" id=\"s" + std::to_string(number) + "\">\n"
            "<!-- Kopfbereich mit Navigation -->\n<div id=\"kopf\"><a href=\"/index.html\">"
            "<img src=\"/bilder/wappen.png\" alt=\"Wappen der Gemeinde\" width=\"80\" height=\"96\">"
            "</a>\n<ul class=\"navigation\">\n";
    for (int i = 0, n = 6 + Pick(6); i < n; ++i) {
      out_ += "  <li><a href=\"/";
      out_ += kWords[Pick(std::size(kWords))];
      out_ += ".html\" title=\"";
      Words(2);
      out_ += "\">";
      Words(1 + Pick(2));
      out_ += "</a></li>\n";
    }
    out_ += "</ul></div>\n<div id=\"inhalt\">\n";
    while (out_.size() + 400 < target) Section();
    out_ += "</div>\n<div id=\"fuss\">&copy; 2024 Gemeindeverwaltung &middot; "
            "<a href=\"mailto:info@gemeinde.example\">info@gemeinde.example</a> &middot; "
            "<a href=\"/impressum.html\">Impressum</a></div>\n"
            "<script>document.getElementById('fuss').className += ' geladen';</script>\n"
            "</body>\n</html>\n";
    return out_;
  }

 private:
  size_t Pick(size_t n) { return rng_() % n; }

  void Words(int n) {
    for (int i = 0; i < n; ++i) {
      if (i > 0) out_ += ' ';
      out_ += kWords[Pick(std::size(kWords))];
    }
  }

  // Running text with inline markup, entities, links and the odd line break.
  void Prose(int words) {
    for (int i = 0; i < words; ++i) {
      out_ += i % 11 == 10 ? "\n" : " ";
      const size_t r = Pick(100);
      if (r < 4) {
        out_ += kEntities[Pick(std::size(kEntities))];
      } else if (r < 8) {
        const char* tag = kInline[Pick(std::size(kInline))];
        out_ += '<';
        out_ += tag;
        if (tag[0] == 'a' && tag[1] == 0) out_ += " href=\"/dokumente/seite" + std::to_string(Pick(999)) + ".html\"";
        else if (tag[1] == 'p') out_ += " class=\"hervorgehoben\"";
        out_ += '>';
        Words(1 + Pick(3));
        out_ += "</";
        out_ += tag;
        out_ += '>';
      } else if (r == 8) {
        out_ += "<br>";
      } else {
        out_ += kWords[Pick(std::size(kWords))];
        if (Pick(12) == 0) out_ += Pick(2) ? "," : ".";
      }
    }
  }

  void Style() {
    out_ += "<style type=\"text/css\">\n"
            "body { font-family: Arial, Helvetica, sans-serif; margin: 0; color: #222; }\n"
            "#kopf { background: #f0f0e8; border-bottom: 1px solid #ccc; }\n"
            ".navigation li { display: inline-block; padding: 4px 8px; }\n"
            "table.daten td, table.daten th { border: 1px solid #999; padding: 2px 6px; }\n"
            "h2 { color:#333; font-size:1.3em; }\n</style>\n";
  }

  void Script() {
    out_ += "<script type=\"text/javascript\">\n"
            "var gemeinde = { name: \"Musterstadt\", einwohner: 12345, seiten: [];\n"
            "function zeige(id) { var e = document.getElementById(id);\n"
            "  if (e && e.style.display != 'none' && 3 < 5) { e.style.display = 'block'; }\n"
            "  for (var i = 0; i < gemeinde.seiten.length; i++) { if (i > 10) break; }\n"
            "}\n</script>\n";
  }

  void Section() {
    switch (Pick(12)) {
      case 0:
      case 1:
        out_ += "<h2>";
        Words(2 + Pick(4));
        out_ += "</h2>\n";
        [[fallthrough]];
      case 2:
      case 3:
      case 4:
        out_ += "<p>";
        Prose(40 + Pick(120));
        out_ += "</p>\n";
        break;
      case 5: {
        out_ += "<table class=\"daten\" summary=\"Übersicht\">\n<thead><tr><th>Datum</th>"
                "<th>Veranstaltung</th><th>Ort</th><th>Eintritt</th></tr></thead>\n<tbody>\n";
        for (int i = 0, n = 4 + Pick(20); i < n; ++i) {
          out_ += "<tr class=\"" + std::string(i % 2 ? "ungerade" : "gerade") + "\"><td>" +
                  std::to_string(1 + Pick(28)) + "." + std::to_string(1 + Pick(12)) +
                  ".2024</td><td>";
          Words(2 + Pick(5));
          out_ += "</td><td>";
          Words(1 + Pick(2));
          out_ += "</td><td align=right>" + std::to_string(Pick(20)) + ",00&nbsp;&euro;</td></tr>\n";
        }
        out_ += "</tbody>\n</table>\n";
        break;
      }
      case 6: {
        const bool ordered = Pick(2);
        out_ += ordered ? "<ol>\n" : "<ul class=\"liste\">\n";
        for (int i = 0, n = 3 + Pick(10); i < n; ++i) {
          out_ += "<li>";
          Prose(5 + Pick(20));
          out_ += Pick(3) ? "</li>\n" : "\n";  // unclosed items, as many pages have them
        }
        out_ += ordered ? "</ol>\n" : "</ul>\n";
        break;
      }
      case 7:
        out_ += "<script type=\"text/javascript\">\n<!--\nvar zaehler = " +
                std::to_string(Pick(1000)) +
                ";\nif (zaehler < 500 && window.innerWidth > 640) { zaehler++; }\n"
                "document.write('<span class=\"z\">' + zaehler + '</span>');\n//-->\n</script>\n";
        break;
      case 8:
        out_ += "<div class=\"kasten\">\n<!-- Hinweis -->\n<a href=\"/formulare/antrag.pdf\">"
                "<img src=\"/bilder/pdf.gif\" alt=\"PDF-Dokument\"></a>\n<p class=\"hinweis\">";
        Prose(20 + Pick(40));
        out_ += "</p>\n<form action=\"/suche\" method=\"get\"><input type=\"text\" name=\"q\" "
                "value=\"Suchbegriff\"><input type=\"submit\" value=\"Suchen\"></form>\n</div>\n";
        break;
      case 10:
      case 11:  // a news list: much markup, little text
        out_ += "<div class=\"meldungen\">\n";
        for (int i = 0, n = 3 + Pick(8); i < n; ++i) {
          const std::string id = std::to_string(Pick(99999));
          out_ += "<div class=\"meldung\" id=\"m" + id + "\" data-kategorie=\"" +
                  kWords[Pick(std::size(kWords))] + "\">\n  <a class=\"bild\" href=\"/aktuelles/" +
                  id + ".html\"><img src=\"/bilder/vorschau/" + id +
                  ".jpg\" alt=\"Vorschaubild\" width=\"120\" height=\"80\" loading=\"lazy\"></a>\n"
                  "  <span class=\"datum\">" + std::to_string(1 + Pick(28)) + ".&nbsp;" +
                  std::to_string(1 + Pick(12)) + ".&nbsp;2024</span>\n  <h3><a href=\"/aktuelles/" +
                  id + ".html\" title=\"";
          Words(3);
          out_ += "\">";
          Words(3 + Pick(4));
          out_ += "</a></h3>\n  <p class=\"anriss\">";
          Prose(8 + Pick(15));
          out_ += " <a class=\"mehr\" href=\"/aktuelles/" + id + ".html\">mehr&nbsp;&raquo;</a></p>\n</div>\n";
        }
        out_ += "</div>\n";
        break;
      default:
        out_ += "<pre>\n  Öffnungszeiten:\n  Mo&ndash;Fr   8:00 &ndash; 12:00 Uhr\n"
                "  Do      14:00 &ndash; 18:00 Uhr\n</pre>\n";
        break;
    }
  }

  std::mt19937 rng_;  // its sequence is fixed by the standard, unlike the distributions
  std::string out_;
};

std::vector<std::string> MakeCorpus(const std::string& dir, int64_t megabytes) {
  const std::string stamp = dir + "/corpus-" + std::to_string(megabytes) + "mb-v2";
  std::vector<std::string> files;
  std::mt19937 sizes(4);
  PageWriter writer(7);
  const bool exists = fs::exists(stamp);
  if (!exists) {
    std::printf("generating %lld MB of pages in %s ...\n", static_cast<long long>(megabytes),
                dir.c_str());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  int64_t total = 0;
  for (int n = 0; total < megabytes * 1000000; ++n) {
    const size_t target = 10000 + sizes() % 190000;  // 10 to 200 KB
    char name[32];
    std::snprintf(name, sizeof name, "/seite%05d.html", n);
    files.push_back(dir + name);
    if (!exists) {
      const std::string page = writer.Page(target, n);
      std::ofstream(files.back(), std::ios::binary) << page;
      total += static_cast<int64_t>(page.size());
    } else {
      total += static_cast<int64_t>(fs::file_size(files.back()));
    }
  }
  if (!exists) std::ofstream(stamp) << files.size() << "\n";
  return files;
}

// --- timing ---

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Runs a program with its output to /dev/null; false if it could not be started or failed.
bool Run(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool Have(const char* tool) {
  const std::string cmd = std::string("command -v ") + tool + " > /dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// UTF-8, else code page 1252 (only converted when the UTF-8 reading fails).
std::u16string Decode(const std::string& bytes) {
  std::optional<std::u16string> wide = platform::PosixUtf8ToWide(bytes);
  return wide ? std::move(*wide) : platform::AnsiToWide(bytes);
}

uint64_t Fnv1a(std::u16string_view text, uint64_t h) {
  for (char16_t c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace

int main(int argc, char** argv) {
  int arg = 1;
  const bool oursOnly = argc > 1 && std::string(argv[1]) == "--ours-only";
  if (oursOnly) ++arg;
  const std::string dir = argc > arg ? argv[arg] : "/tmp/qh-bench-html";
  const int64_t megabytes = argc > arg + 1 ? std::atoll(argv[arg + 1]) : 80;
  const std::vector<std::string> files = MakeCorpus(dir, megabytes);

  std::vector<std::string> bytes;
  std::vector<std::u16string> pages;
  int64_t total = 0;
  for (const std::string& f : files) {
    bytes.push_back(platform::ReadWholeFile(f).value_or(std::string()));
    pages.push_back(Decode(bytes.back()));
    total += static_cast<int64_t>(bytes.back().size());
  }
  const double mb = static_cast<double>(total) / 1e6;
  std::printf("corpus: %zu pages, %.1f MB of HTML (UTF-8)\n", files.size(), mb);

  // Best of three passes, after one that warms the caches and the allocator.
  uint64_t checksum = 0;
  int64_t textUnits = 0;
  double core = 1e30;
  for (int pass = 0; pass < 4; ++pass) {
    checksum = 14695981039346656037ull;
    textUnits = 0;
    const double t0 = Now();
    for (const std::u16string& page : pages) {
      const std::u16string text = textlib::HtmlToText(page);
      checksum = Fnv1a(text, checksum);
      textUnits += static_cast<int64_t>(text.size());
    }
    if (pass > 0) core = std::min(core, Now() - t0);
  }
  // As `qh-bench html2text` runs: UTF-8 in, UTF-8 out, from memory.
  double endToEnd = 1e30;
  for (int pass = 0; pass < 2; ++pass) {
    const double t0 = Now();
    size_t sink = 0;
    for (const std::string& b : bytes) {
      const std::u16string html = Decode(b);
      sink += platform::WideToPosixUtf8(textlib::HtmlToText(html)).size();
    }
    endToEnd = std::min(endToEnd, Now() - t0);
    if (sink == 0) std::printf("(no text)\n");
  }
  std::printf("text: %lld UTF-16 units, checksum %016llx\n", static_cast<long long>(textUnits),
              static_cast<unsigned long long>(checksum));
  std::printf("%-44s %8.3f s %9.1f MB/s\n", "reader + builder + formatter (1 core)", core, mb / core);
  std::printf("%-44s %8.3f s %9.1f MB/s\n", "  with UTF-8 decoding and encoding", endToEnd,
              mb / endToEnd);
  if (oursOnly) return 0;

  struct Tool {
    const char* name;
    const char* label;
    bool perFile;  // one process per file, else one process for all
    std::vector<std::string> args;
  } tools[] = {
      {"w3m", "w3m -dump FILE (one process per file)", true, {"w3m", "-dump", "-T", "text/html"}},
      {"w3m", "w3m -dump FILE... (one process)", false, {"w3m", "-dump", "-T", "text/html"}},
      {"html2text", "html2text -utf8 FILE... (one process)", false, {"html2text", "-utf8"}},
  };
  double fastest = 0;
  for (const Tool& tool : tools) {
    if (!Have(tool.name)) {
      std::printf("%-44s not installed, skipped\n", tool.name);
      continue;
    }
    const double t0 = Now();
    bool ok = true;
    if (tool.perFile) {
      for (const std::string& f : files) {
        std::vector<std::string> argv = tool.args;
        argv.push_back(f);
        ok = Run(argv) && ok;
      }
    } else {
      std::vector<std::string> argv = tool.args;
      argv.insert(argv.end(), files.begin(), files.end());
      ok = Run(argv);
    }
    const double seconds = Now() - t0;
    std::printf("%-44s %8.3f s %9.1f MB/s   ours %.1f x faster%s\n", tool.label, seconds,
                mb / seconds, seconds / core, ok ? "" : "   (the tool reported errors)");
    fastest = std::max(fastest, mb / seconds);
  }
  if (fastest > 0)
    std::printf("ratio to the faster tool: %.1f x (target 10 x); per core: %.1f MB/s (target 100)\n",
                (mb / core) / fastest, mb / core);
  return 0;
}
