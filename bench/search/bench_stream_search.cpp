// Searches a generated 1 GB UTF-8 document store the way a database search run does (find
// the term, then the next document's "#" line, so one hit per document) and a plain
// one-pass scan for a rare term, and times ripgrep on the same file for the same kind of
// query. Hot cache: every query runs once before it is timed.
//   bench_stream_search [STORE_FILE] [SIZE_MB]     (QH_BLOCK=bytes sets the block size of the scans)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/codepage.h"
#include "search/engine/stream_search.h"

namespace {

const char* kWords[] = {"und", "der", "die", "das", "Haus", "Straße", "Gemeinde", "Bürger", "über",
                        "Verwaltung", "Schule", "groß", "Wasser", "Jahr", "Stadt", "Kirche", "Weg",
                        "Müller", "Zeitung", "Bahnhof", "Wald", "Feld", "mit", "für", "nicht",
                        "Rathaus", "Brücke", "Ärger", "öffentlich", "Geschichte"};

void Generate(const std::string& path, int64_t bytes, int documents) {
  std::ofstream out(path, std::ios::binary);
  std::mt19937 rng(1);
  const int64_t perDoc = bytes / documents;
  std::string text;
  for (int d = 0; d < documents; ++d) {
    const std::string name = "C:\\Daten\\Archiv\\Seite" + std::to_string(d) + ".htm";
    text = "\r\n\r\n#" + name + "\r\n" + std::string(name.size() / 2, '=') + "\r\n";
    int64_t column = 0;
    while (static_cast<int64_t>(text.size()) < perDoc) {
      const char* w = kWords[rng() % (sizeof kWords / sizeof *kWords)];
      text += w;
      if (d % 2000 == 7 && rng() % 5000 == 0) text += " Quarzsandgrube";  // the rare terms
      if (d % 1500 == 11 && rng() % 5000 == 0) text += d % 2 ? " M\xC3\xBCllabfuhrgeb\xC3\xBChren" : " M\xC3\x9CLLABFUHRGEB\xC3\x9CHREN";
      column += 8;
      text += column > 70 ? (column = 0, "\r\n") : " ";
    }
    out << text;
  }
}

class RunSource : public search::FindNextSource {
 public:
  bool GrossKleinBeachten() const override { return caseSensitive; }
  bool NurGanzeWoerter() const override { return words; }
  const std::u16string& CurrentSearchText() const override { return current; }
  const std::u16string& Dokumentmarke() const override { return marker; }
  bool QuietFlag() const override { return true; }
  bool caseSensitive = false, words = false;
  std::u16string current, marker = u"#C:\\";
};

// Documents holding the term: find it, then skip to the next document's marker.
int64_t DocumentsWith(const std::string& path, const std::u16string& term, uint8_t options) {
  search::TStreamSearch s;
  s.OpenSearchFile(platform::AnsiToWide(path.c_str()));  // a POSIX path below C: = "/"
  RunSource source;
  source.caseSensitive = options & search::kSearchCaseSensitive;
  source.words = options & search::kSearchWholeWords;
  s.NextSource = &source;
  s.TextIsUtf8 = true;
  int64_t hits = 0;
  source.current = term;
  if (!s.FindFirst(term, search::vEncANSI, options, 0)) return 0;
  while (true) {
    ++hits;
    source.current = source.marker;
    if (!s.FindNext(false)) break;
    source.current = term;
    if (!s.FindNext(false)) break;
  }
  return hits;
}

template <typename F>
double Seconds(F f) {
  f();  // hot cache
  double best = 1e30;
  for (int i = 0; i < 3; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "/tmp/qh-bench-store.txt";
  const int64_t megabytes = argc > 2 ? std::atoll(argv[2]) : 1024;
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || st.st_size < megabytes * 1000000) {
    std::printf("generating %lld MB store at %s ...\n", static_cast<long long>(megabytes), path.c_str());
    Generate(path, megabytes * 1048576, 20000);
    stat(path.c_str(), &st);
  }
  const double gb = static_cast<double>(st.st_size) / 1e9;
  const std::string posix = path.substr(1);
  const std::string drivePath = "C:\\" + [&] { std::string p = posix; for (char& c : p) if (c == '/') c = '\\'; return p; }();
  const bool haveRg = std::system("command -v rg > /dev/null") == 0;

  struct Query {
    const char* name;
    std::string term;  // UTF-8 bytes, searched as 8-bit text
    uint8_t options;
    const char* rgFlags;
    bool run;  // one hit per document (the search run) or a one-pass scan
  } queries[] = {
      {"rare, case-sensitive", "Quarzsandgrube", 1, "", false},
      {"rare, ignore case", "quarzsandgrube", 0, "-i", false},
      {"rare, ignore case, words", "quarzsandgrube", 2, "-i -w", false},
      {"rare non-ASCII, ignore case", "m\xC3\xBCllabfuhrgeb\xC3\xBChren", 0, "-i", false},
      {"frequent, case-sensitive (run)", "Rathaus", 1, "", true},
      {"frequent, ignore case (run)", "rathaus", 0, "-i", true},
      {"frequent, ignore case, words (run)", "rathaus", 2, "-i -w", true},
  };
  std::printf("%-36s %10s %8s %10s %8s %7s\n", "query", "ours s", "GB/s", "rg s", "GB/s", "ratio");
  for (const auto& q : queries) {
    const std::u16string term = platform::AnsiToWide(q.term);
    int64_t hits = 0;
    const double ours = Seconds([&] {
      if (q.run) {
        hits = DocumentsWith(drivePath, term, q.options);
      } else {
        search::TStreamSearch s;
        if (const char* b = std::getenv("QH_BLOCK")) s.BlockSize = std::atoll(b);
        s.TextIsUtf8 = true;
        s.OpenSearchFile(platform::AnsiToWide(drivePath));
        hits = s.FindFirst(term, search::vEncANSI, q.options | 0, 0) ? 1 : 0;
        // A full pass: continue to the end.
        while (hits && s.FindNext(false)) ++hits;
      }
    });
    double rg = 0;
    if (haveRg) {
      const std::string cmd = std::string("rg -c ") + q.rgFlags + " '" + q.term + "' '" + path + "' > /dev/null";
      rg = Seconds([&] { if (std::system(cmd.c_str()) < 0) std::perror("rg"); });
    }
    std::printf("%-36s %10.3f %8.2f %10.3f %8.2f %7.2f   (%lld hits)\n", q.name, ours, gb / ours, rg,
                rg > 0 ? gb / rg : 0.0, rg > 0 ? ours / rg : 0.0, static_cast<long long>(hits));
  }
  return 0;
}
