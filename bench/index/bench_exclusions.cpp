// The selection of a build run against a long exclusion list: a generated drive file list
// (folders and files, most below the database's folder) and random fragments that mostly
// match nothing. Prints the time of a whole build run without and with the list, of
// building the matcher, of matching every selected path, and of the plain way (every
// fragment searched in every line, before the folder filter) on a sample, scaled up.
//   bench_exclusions [LINES] [FRAGMENTS]     (default 500000 and 100000)
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/index/exclusion_list.h"
#include "app/index/index_run.h"
#include "textlib/unicode.h"

namespace {

const char* kWords[] = {"Rathaus", "Stra\xC3\x9F" "enplan", "B\xC3\xBCrger", "Schule", "Archiv", "Bilder",
                        "\xC3\x84mter", "Projekte", "Wasser", "Verwaltung", "Kirche", "Zeitung", "Br\xC3\xBC" "cke",
                        "Bahnhof", "Geschichte", "Daten", "Vereine", "Protokolle", "Satzung", "Wahlen"};
const char* kExtensions[] = {".htm", ".htm", ".htm", ".html", ".jpg", ".txt", ".mht", ".pdf"};

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

template <typename F>
double Time(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return Seconds(std::chrono::steady_clock::now() - start);
}

// Folders of 1 full line and up to 24 continuation lines; about four in five below T:\docs.
std::string DriveList(size_t lines, std::mt19937& rng, std::vector<std::u16string>& selectable) {
  std::string list;
  size_t count = 0;
  for (size_t folder = 0; count < lines; ++folder) {
    std::string path = rng() % 5 ? "T:\\docs\\" : "T:\\andere\\";
    for (int depth = 1 + static_cast<int>(rng() % 4); depth > 0; --depth)
      path += std::string(kWords[rng() % std::size(kWords)]) + std::to_string(rng() % 50) + "\\";
    const size_t files = std::min<size_t>(1 + rng() % 25, lines - count);
    for (size_t f = 0; f < files; ++f) {
      const std::string name = "Seite_" + std::to_string(folder) + "_" + std::to_string(f) +
                               kExtensions[rng() % std::size(kExtensions)];
      list += (f == 0 ? path : std::string("\" ")) + name + "\r\n";
      if (path.starts_with("T:\\docs\\") && (name.ends_with(".htm") || name.ends_with(".html")))
        selectable.push_back(textlib::DecodeUtf8(path + name));
    }
    count += files;
  }
  return list;
}

// Random letters and digits: at 6 to 12 of them, almost none occurs in a path.
std::vector<std::u16string> Fragments(size_t count, std::mt19937& rng) {
  const std::u16string_view letters = u"abcdefghijklmnopqrstuvwxyz0123456789_äöüß";
  std::vector<std::u16string> fragments(count);
  for (std::u16string& f : fragments) {
    f.resize(6 + rng() % 7);
    for (char16_t& c : f) c = letters[rng() % letters.size()];
  }
  // A few that do match, as a real list has.
  for (const char16_t* real : {u"\\bilder7\\", u"stra\u00dfenplan1\\", u"_17.htm"}) fragments[rng() % count] = real;
  return fragments;
}

class QuietStatus : public app::IndexStatus {
 public:
  void Pause(int) override {}
};

}  // namespace

int main(int argc, char** argv) {
  const size_t lines = argc > 1 ? std::stoul(argv[1]) : 500000;
  const size_t fragmentCount = argc > 2 ? std::stoul(argv[2]) : 100000;

  std::string root = (std::filesystem::temp_directory_path() / "quarry-bench-XXXXXX").string();
  if (!mkdtemp(root.data())) return 1;
  setenv("QUARRY_DRIVES", ("T=" + root).c_str(), 1);  // read on the platform's first use
  std::filesystem::create_directories(root + "/base/Datenbank/Temp");
  std::filesystem::create_directories(root + "/docs");

  std::mt19937 rng(7);
  std::vector<std::u16string> selectable;
  const std::string list = DriveList(lines, rng, selectable);
  std::ofstream(root + "/base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt", std::ios::binary) << list;
  const std::vector<std::u16string> fragments = Fragments(fragmentCount, rng);
  std::string listFile;
  for (const std::u16string& f : fragments) listFile += textlib::EncodeUtf8(f) + "\n";  // UTF-8, no mark

  app::IndexSettings settings;
  settings.baseFolder = u"T:\\base\\";
  settings.dbName = u"bench";
  settings.folder = u"T:\\docs";
  settings.driveLetter = u'T';
  settings.slots = {u".htm", u".html"};
  QuietStatus status;
  int64_t listed = 0;
  auto run = [&] {
    app::IndexRun r(settings, status);
    r.LiesDieListeEin();
    listed = r.Counters().listedFiles;
  };
  const std::string exclusionPath = root + "/base/AusnahmeIndizierung.txt";

  std::printf("drive list: %zu lines, %zu selectable paths below T:\\docs; exclusions: %zu fragments\n", lines,
              selectable.size(), fragments.size());
  std::printf("%-52s %10s\n", "step", "seconds");
  for (int i = 0; i < 2; ++i) {
    std::filesystem::remove(exclusionPath);
    const double without = Time(run);
    std::printf("%-52s %10.3f   (%lld listed)\n", "build run, no exclusion list", without, static_cast<long long>(listed));
    std::ofstream(exclusionPath, std::ios::binary) << listFile;
    const double with = Time(run);
    std::printf("%-52s %10.3f   (%lld listed)\n", "build run, with the exclusion list", with, static_cast<long long>(listed));
  }

  app::ExclusionList exclusions;
  std::printf("%-52s %10.3f\n", "load the list and build the matcher",
              Time([&] { exclusions = app::ExclusionList::Load(u"T:\\base\\AusnahmeIndizierung.txt"); }));
  size_t excluded = 0;
  const double match = Time([&] {
    for (const std::u16string& path : selectable) excluded += exclusions.Excludes(path);
  });
  std::printf("%-52s %10.3f   (%zu excluded)\n", "match every selectable path", match, excluded);

  // The plain way on a sample, scaled up to every line of the list.
  const size_t sample = std::min<size_t>(200, selectable.size());
  std::vector<std::u16string> lowered;
  for (const std::u16string& f : fragments) lowered.push_back(textlib::UnicodeLowerCase(f));
  size_t plainExcluded = 0;
  const double plain = Time([&] {
    for (size_t i = 0; i < sample; ++i) {  // spread over the list, as its folders differ
      const std::u16string path = textlib::UnicodeLowerCase(selectable[i * (selectable.size() / sample)]);
      plainExcluded += std::any_of(lowered.begin(), lowered.end(),
                                   [&](const std::u16string& f) { return path.find(f) != std::u16string::npos; });
    }
  });
  std::printf("%-52s %10.1f   (measured on %zu paths, %zu excluded)\n", "plain: every fragment in every line, scaled",
              plain * static_cast<double>(lines) / static_cast<double>(sample), sample, plainExcluded);

  std::filesystem::remove_all(root);
  return 0;
}
