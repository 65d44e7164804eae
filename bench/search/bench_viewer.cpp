// Times the file viewer's drawing on a large UTF-8 document store: a TFileViewer of a
// usual size with the memo mirror attached to a plain host, stepped page by page, jumped
// around by the scroll-bar thumb and sent to the end, each step followed by a full draw
// into the viewer's own image (a step that draws itself counts as that draw). Checks on
// the way that PageDown only moves on and that the end shows the file's last line; a
// failed check makes the exit code non-zero. Run with QT_QPA_PLATFORM=offscreen (the
// default here when unset).
//   bench_viewer [--store FILE] [--mb SIZE] [--pages N] [--jumps N] [--hex-pages N] [--seed N]
// Without --store a store of SIZE MB (default 2048, so offsets pass 2^31) is generated in
// /tmp and kept for the next run; with --store FILE that file is used (generated when missing).
#include <QApplication>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/drives.h"
#include "platform/messagebox.h"
#include "search/viewer/file_viewer.h"
#include "textlib/unicode.h"

namespace {

using Clock = std::chrono::steady_clock;

int gFailures = 0;

void Fail(const std::string& what) {
  ++gFailures;
  if (gFailures <= 20) std::fprintf(stderr, "FAIL: %s\n", what.c_str());
}

// ---------------------------------------------------------------- the store

const char* const kWords[] = {
    "und", "der", "die", "das", "Haus", "Straße", "Gemeinde", "Bürger", "über", "Verwaltung", "Schule",
    "groß", "Wasser", "Jahr", "Stadt", "Kirche", "Weg", "Müller", "Zeitung", "Bahnhof", "Wald", "Feld",
    "mit", "für", "nicht", "Rathaus", "Brücke", "Ärger", "öffentlich", "Geschichte", "Übersicht", "Größe",
    "Führung", "Gebäude", "Änderung", "Grundstück", "Bürgermeister", "Öffnungszeiten", "Maßnahme", "Fußweg"};
constexpr size_t kWordCount = sizeof kWords / sizeof *kWords;

// Characters (UTF-16 units) of a UTF-8 text without characters above U+FFFF.
size_t Utf16Length(const std::string& utf8) {
  size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
  return n;
}

// Text lines as the formatter makes them: most short, every fifth a paragraph on one line
// (up to about 1,900 bytes, so that no line reaches the viewer's 2,048-character cut).
std::string MakeLinePool(std::mt19937& rng, std::vector<size_t>& lineStarts) {
  std::string pool;
  for (int i = 0; i < 60000; ++i) {
    lineStarts.push_back(pool.size());
    const unsigned kind = rng() % 10;
    const unsigned words = kind == 0 ? 0 : kind < 3 ? 40 + rng() % 180 : 3 + rng() % 12;
    for (unsigned w = 0; w < words; ++w) {
      if (w) pool += ' ';
      pool += kWords[rng() % kWordCount];
    }
    pool += "\r\n";
  }
  lineStarts.push_back(pool.size());
  return pool;
}

// Records " ", " ", "#C:\...", a run of "=" half as long as the path, the text; every
// entry ends with CR LF. The text of each record is a run of lines cut from one pool, so
// the writing is mostly copying. Written under a temporary name and renamed.
bool GenerateStore(const std::string& path, int64_t bytes) {
  const auto t0 = Clock::now();
  std::mt19937 rng(7);
  std::vector<size_t> starts;
  const std::string pool = MakeLinePool(rng, starts);
  const size_t lines = starts.size() - 1;
  const std::string tmp = path + ".part";
  FILE* out = std::fopen(tmp.c_str(), "wb");
  if (!out) {
    std::perror(tmp.c_str());
    return false;
  }
  std::string chunk;
  chunk.reserve(40 << 20);
  int64_t written = 0;
  bool ok = true;
  for (int64_t record = 0; written + static_cast<int64_t>(chunk.size()) < bytes; ++record) {
    const std::string name = "C:\\Daten\\Gemeindeblätter\\Jahrgang" + std::to_string(1950 + record % 70) +
                             "\\Seite" + std::to_string(record) + ".htm";
    chunk += " \r\n \r\n#";
    chunk += name;
    chunk += "\r\n";
    chunk.append(Utf16Length(name) / 2, '=');
    chunk += "\r\n";
    const size_t count = 20 + rng() % 400;
    const size_t first = rng() % (lines - count);
    chunk.append(pool, starts[first], starts[first + count] - starts[first]);
    if (chunk.size() >= (32u << 20)) {
      ok = std::fwrite(chunk.data(), 1, chunk.size(), out) == chunk.size();
      written += static_cast<int64_t>(chunk.size());
      chunk.clear();
      if (!ok) break;
    }
  }
  // A last line that no other line equals, for the end check.
  chunk += "Ende des Archivs: Prüfsumme ÄÖÜ äöü ß\r\n";
  if (ok) ok = std::fwrite(chunk.data(), 1, chunk.size(), out) == chunk.size();
  written += static_cast<int64_t>(chunk.size());
  if (std::fclose(out) != 0) ok = false;
  if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::perror(path.c_str());
    std::remove(tmp.c_str());
    return false;
  }
  const double s = std::chrono::duration<double>(Clock::now() - t0).count();
  std::printf("generated %s: %lld bytes in %.1f s (%.0f MB/s)\n", path.c_str(), static_cast<long long>(written), s,
              written / 1e6 / s);
  return true;
}

// ---------------------------------------------------------------- reading the file ourselves

class RawFile {
 public:
  explicit RawFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~RawFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Ok() const { return fd_ >= 0; }
  std::string Read(int64_t offset, int64_t count) const {
    std::string out(static_cast<size_t>(std::max<int64_t>(0, count)), '\0');
    const ssize_t got = ::pread(fd_, out.data(), out.size(), offset);
    out.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return out;
  }

 private:
  int fd_;
};

bool IsBreak(char c) { return c == '\r' || c == '\n'; }

// ---------------------------------------------------------------- the host

// The memo mirror reduced to what it receives.
class PlainHost : public search::TViewerHost {
 public:
  bool QuietFlag() const override { return false; }
  search::TViewerDocKind DocKind() const override { return search::TViewerDocKind::Utf8; }
  void ClearMemo() override { memo.clear(); }
  void AppendMemoLine(const std::u16string& line, int) override { memo.push_back(line); }
  void MemoDrawn() override {}
  void SetFirstShownOffset(int64_t offset) override { firstShown = offset; }
  void FitMemoWidth(bool, int) override {}
  void ShowMemoOverlay() override {}
  void SetSearchBoxText(const std::u16string&) override {}

  std::vector<std::u16string> memo;
  int64_t firstShown = -1;
};

// A message box in a benchmark is a failure: printed, never shown.
class PrintingSink : public platform::MessageBoxSink {
 public:
  platform::MsgResult Show(const std::u16string& text, const std::u16string& caption, uint32_t flags) override {
    Fail("message box \"" + textlib::EncodeUtf8(caption) + "\": " + textlib::EncodeUtf8(text));
    return platform::DefaultAnswer(flags);
  }
};

// ---------------------------------------------------------------- timing

long PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

struct Phase {
  std::string name;
  std::vector<double> ms;  // one entry per step: the step and its draw
  int64_t draws = 0;
};

void Report(const Phase& phase) {
  std::vector<double> v = phase.ms;
  if (v.empty()) return;
  std::sort(v.begin(), v.end());
  double sum = 0;
  for (double x : v) sum += x;
  const auto at = [&](double q) { return v[std::min(v.size() - 1, static_cast<size_t>(q * (v.size() - 1) + 0.5))]; };
  std::printf("%-28s %7zu %7lld %9.3f %9.3f %9.3f %9.3f %9ld\n", phase.name.c_str(), v.size(),
              static_cast<long long>(phase.draws), sum / v.size(), at(0.5), at(0.99), v.back(), PeakRssMb());
  std::fflush(stdout);
}

class Bench {
 public:
  Bench(search::TFileViewer& viewer, const RawFile& raw, int64_t size) : viewer_(viewer), raw_(raw), size_(size) {
    // Every draw the model asks for goes through here, so a step that draws itself is seen.
    search::TDocumentModel& model = viewer_.Model();
    inner_ = model.OnRedraw;
    model.OnRedraw = [this] {
      ++draws_;
      inner_();
    };
  }
  ~Bench() { viewer_.Model().OnRedraw = inner_; }

  // Runs the step; draws once more only when the step did not draw. Posted paint events
  // are handled outside the timing.
  void Step(Phase& phase, const std::function<void()>& step) {
    const int64_t before = draws_;
    const auto t0 = Clock::now();
    step();
    if (draws_ == before) {
      ++draws_;
      viewer_.Redraw();
    }
    const auto t1 = Clock::now();
    phase.ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    phase.draws += draws_ - before;
    QCoreApplication::processEvents();
  }

  void PageDowns(const std::string& name, int count) {
    search::TDocumentModel& model = viewer_.Model();
    model.ScrollToBegin(true);
    QCoreApplication::processEvents();
    Phase phase{name, {}, 0};
    for (int i = 0; i < count; ++i) {
      const int64_t top = model.ViewPos();
      const bool endShown = viewer_.Page().endShown;
      Step(phase, [&] { model.PageDown(); });
      const int64_t now = model.ViewPos();
      if (now < top || (now == top && !endShown))
        Fail(name + ": PageDown " + std::to_string(i) + " went from " + std::to_string(top) + " to " + std::to_string(now));
      if (viewer_.Page().viewPos != now) Fail(name + ": drawn page does not start at the top offset");
    }
    Report(phase);
  }

  void ThumbJumps(const std::string& name, int count, uint32_t seed) {
    search::TDocumentModel& model = viewer_.Model();
    std::mt19937 rng(seed);
    Phase phase{name, {}, 0};
    for (int i = 0; i < count; ++i) {
      const int64_t max = model.VerticalScrollBar().max;
      const int64_t thumb = std::uniform_int_distribution<int64_t>(0, max)(rng);
      const int64_t target = model.ThumbToOffset(thumb);
      const int64_t top = model.ViewPos();
      const bool endShown = model.EndShown();
      Step(phase, [&] { model.VScroll(search::TScrollCode::ThumbPosition, thumb); });
      if (endShown && target >= top) continue;  // the end stays where it is
      CheckJump(name, target);
    }
    Report(phase);
  }

  void ToEnd(const std::string& name, int count) {
    search::TDocumentModel& model = viewer_.Model();
    Phase phase{name, {}, 0};
    for (int i = 0; i < count; ++i) {
      model.ScrollToBegin(false);  // from the top each time, not from the end already shown
      Step(phase, [&] { model.ScrollToEnd(true); });
      CheckEnd(name);
    }
    Report(phase);
  }

  PlainHost* host = nullptr;

 private:
  void CheckJump(const std::string& name, int64_t target) {
    const search::TDocumentModel& model = viewer_.Model();
    const int64_t top = model.ViewPos();
    if (!search::IsLineMode(model.Mode())) {
      const int64_t bpl = model.BytesPerLine();
      const int64_t expected = std::min(target, model.LastPos()) / bpl * bpl;
      if (top != expected)
        Fail(name + ": thumb to " + std::to_string(target) + " shows " + std::to_string(top) + ", not " +
             std::to_string(expected));
      return;
    }
    // The line that holds the target: no break between its start and the target, except
    // the CR of a CR LF whose LF the target is; its start follows a break.
    bool ok = top <= target && target - top < 8192;
    if (ok) {
      const std::string bytes = raw_.Read(top > 0 ? top - 1 : 0, target - top + 1 + (top > 0));
      const size_t from = top > 0 ? 1 : 0;
      ok = top == 0 || IsBreak(bytes[0]);
      for (size_t i = from; ok && i + 1 < bytes.size(); ++i) {
        const bool crBeforeLf = i + 2 == bytes.size() && bytes[i] == '\r' && bytes[i + 1] == '\n';
        if (IsBreak(bytes[i]) && !crBeforeLf) ok = false;
      }
    }
    if (!ok) Fail(name + ": thumb to " + std::to_string(target) + " shows the line at " + std::to_string(top));
  }

  void CheckEnd(const std::string& name) {
    const search::TViewerPage& page = viewer_.Page();
    if (!page.endShown || page.lines.Count() == 0) {
      Fail(name + ": the end is not shown");
      return;
    }
    const search::TStrPosRecord& last = page.lines[page.lines.Count() - 1];
    const int cs = page.lines.CharSize();
    if (!search::IsLineMode(viewer_.Model().Mode())) {
      if (last.offset + last.length * cs != size_ / cs * cs) Fail(name + ": the last row does not reach the end");
      return;
    }
    // The file's last line: after the last break before the closing one.
    const std::string tail = raw_.Read(std::max<int64_t>(0, size_ - 8192), 8192);
    size_t end = tail.size();
    while (end > 0 && IsBreak(tail[end - 1])) --end;
    size_t begin = end;
    while (begin > 0 && !IsBreak(tail[begin - 1])) --begin;
    const int64_t lineStart = size_ - static_cast<int64_t>(tail.size()) + static_cast<int64_t>(begin);
    const std::u16string expected = textlib::DecodeUtf8(tail.substr(begin, end - begin));
    if (last.offset != lineStart || last.memoText != expected)
      Fail(name + ": the last drawn line (at " + std::to_string(last.offset) + ") is not the file's last line (at " +
           std::to_string(lineStart) + ")");
    if (!host || host->memo.empty() || host->memo.back() != expected) Fail(name + ": the memo misses the last line");
  }

  search::TFileViewer& viewer_;
  const RawFile& raw_;
  int64_t size_;
  std::function<void()> inner_;
  int64_t draws_ = 0;
};

int64_t Arg(int argc, char** argv, const char* name, int64_t fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::atoll(argv[i + 1]);
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const int64_t megabytes = Arg(argc, argv, "--mb", 2048);
  const int pages = static_cast<int>(Arg(argc, argv, "--pages", 10000));
  const int jumps = static_cast<int>(Arg(argc, argv, "--jumps", 100));
  const int hexPages = static_cast<int>(Arg(argc, argv, "--hex-pages", 1000));
  const auto seed = static_cast<uint32_t>(Arg(argc, argv, "--seed", 1));
  std::string path = "/tmp/qh-bench-viewer-" + std::to_string(megabytes) + "mb.txt";
  bool given = false;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--store") == 0) path = argv[i + 1], given = true;
  if (path.empty() || path[0] != '/') {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return 2;
    path = std::string(cwd) + "/" + path;
  }

  // A generated store is taken again when its size is what the generator makes of SIZE.
  const int64_t target = megabytes << 20;
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (!exists || (!given && (st.st_size < target || st.st_size > target + (64 << 20)))) {
    std::printf("generating a %lld MB store at %s ...\n", static_cast<long long>(megabytes), path.c_str());
    std::fflush(stdout);
    if (!GenerateStore(path, target)) return 2;
    ::stat(path.c_str(), &st);
  }
  const int64_t size = st.st_size;
  const std::optional<std::u16string> drivePath = platform::DrivePath(path);
  RawFile raw(path);
  if (!drivePath || !raw.Ok()) {
    std::fprintf(stderr, "cannot use %s\n", path.c_str());
    return 2;
  }

  QApplication app(argc, argv);
  platform::SetMessageBoxSink(std::make_shared<PrintingSink>());
  PlainHost host;
  search::TFileViewer viewer;
  viewer.SetHost(&host);
  viewer.resize(900, 600);
  viewer.show();
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();

  std::printf("store %s: %.3f GB; viewer %dx%d, font \"%s\" %d pt\n", path.c_str(), size / 1e9, viewer.width(),
              viewer.height(), qPrintable(viewer.Font().family()), viewer.Font().pointSize());
  std::printf("%-28s %7s %7s %9s %9s %9s %9s %9s\n", "phase (ms per step+draw)", "steps", "draws", "mean", "median",
              "p99", "max", "peak MB");
  {
    Bench bench(viewer, raw, size);
    bench.host = &host;
    Phase open{"text: open", {}, 0};
    bench.Step(open, [&] {
      if (!viewer.Open(*drivePath, false)) Fail("cannot open the store");
    });
    Report(open);
    if (viewer.Model().FileSize() != size) Fail("the viewer sees " + std::to_string(viewer.Model().FileSize()) + " bytes");
    std::printf("  page: %d lines of %d px, viewport %dx%d\n", viewer.Page().lines.Count(), viewer.Page().lineHeight,
                viewer.viewport()->width(), viewer.viewport()->height());
    bench.PageDowns("text: PageDown", pages);
    bench.ThumbJumps("text: thumb jump", jumps, seed);
    bench.ToEnd("text: ScrollToEnd", 20);

    for (const auto& [mode, label] : {std::pair{search::vmodeHex, std::string("hex")},
                                      std::pair{search::vmodeUHex, std::string("Unicode hex")}}) {
      Phase change{label + ": mode change", {}, 0};
      bench.Step(change, [&] { viewer.SetMode(mode); });
      Report(change);
      bench.PageDowns(label + ": PageDown", hexPages);
      bench.ThumbJumps(label + ": thumb jump", jumps, seed);
      bench.ToEnd(label + ": ScrollToEnd", 20);
    }
  }
  if (gFailures) {
    std::fprintf(stderr, "%d check(s) failed\n", gFailures);
    return 1;
  }
  std::printf("all checks passed\n");
  return 0;
}
