#include <cstdio>
#include <memory>
#include <string>

#include "bench/qhbench/commands.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/messagebox.h"
#include "search/engine/document_model.h"

namespace qhbench {

namespace {

constexpr char kUsage[] =
    "usage: qh-bench view [--kind ansi|utf8|unicode] [--mode text|binary|hex|unicode|uhex] [--offset N] "
    "[--lines K] [--width W] [--wrap] FILE\n";

// The viewer's message boxes go to stderr.
class StderrSink : public platform::MessageBoxSink {
 public:
  platform::MsgResult Show(const std::u16string& text, const std::u16string& caption, uint32_t flags) override {
    std::fprintf(stderr, "%s: %s\n", platform::WideToPosixUtf8(caption).c_str(), platform::WideToPosixUtf8(text).c_str());
    return platform::DefaultAnswer(flags);
  }
};

bool ParseNumber(const std::string& text, int64_t& value) {
  try {
    size_t used = 0;
    value = std::stoll(text, &used);
    return used == text.size() && value >= 0;
  } catch (...) {
    return false;
  }
}

}  // namespace

// One page as the viewer lays it out with a fixed-width font of W characters and K lines:
// per line its start offset, a TAB and its text as the memo overlay receives it.
int View(const std::vector<std::string>& args) {
  search::TFileViewerMode mode = search::vmodeText;
  std::string kind;
  int64_t offset = 0, lines = 25, width = 80;
  bool wrap = false;
  std::string file;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--wrap") {
      wrap = true;
    } else if (a == "--kind" && hasValue) {
      kind = args[++i];
      if (kind != "ansi" && kind != "utf8" && kind != "unicode") return std::fprintf(stderr, kUsage), 2;
    } else if (a == "--mode" && hasValue) {
      const std::string m = args[++i];
      if (m == "text") mode = search::vmodeText;
      else if (m == "binary") mode = search::vmodeBinary;
      else if (m == "hex") mode = search::vmodeHex;
      else if (m == "unicode") mode = search::vmodeUnicode;
      else if (m == "uhex") mode = search::vmodeUHex;
      else return std::fprintf(stderr, kUsage), 2;
    } else if ((a == "--offset" || a == "--lines" || a == "--width") && hasValue) {
      int64_t value = 0;
      if (!ParseNumber(args[++i], value)) return std::fprintf(stderr, kUsage), 2;
      (a == "--offset" ? offset : a == "--lines" ? lines : width) = value;
    } else if (file.empty() && !a.starts_with("--")) {
      file = a;
    } else {
      return std::fprintf(stderr, kUsage), 2;
    }
  }
  if (file.empty() || lines < 1 || lines > search::TDocumentModel::kMaxPageLines || width < 2 ||
      width > search::TDocumentModel::kTextWidthMax)
    return std::fprintf(stderr, kUsage), 2;
  const std::optional<std::u16string> name = DriveFormOf(file);
  if (!name) return 1;
  if (kind.empty()) kind = search::IsUnicodeMode(mode) ? "unicode" : "ansi";

  const auto previous = platform::SetMessageBoxSink(std::make_shared<StderrSink>());
  const search::TFixedWidthMeasure measure(8, 16);
  search::TDocumentModel model;
  model.SetMeasure(&measure);
  model.SetClientSize(static_cast<int>(2 + width * measure.CharWidth()), static_cast<int>(2 + lines * measure.LineHeight()));
  model.SetMode(mode);
  model.SetTextWidthFit(true);
  model.SetTextWidthFitHex(true);
  model.SetTextWidthFitUHex(true);
  model.SetTextWrap(wrap);
  model.SetDocKind(kind == "ansi" ? search::TViewerDocKind::Ansi
                   : kind == "utf8" ? search::TViewerDocKind::Utf8
                                    : search::TViewerDocKind::Unicode);
  int status = 0;
  if (!model.Open(*name)) {
    status = 1;
  } else {
    model.ScrollToOffset(offset);
    const search::TViewerPage page = model.LayoutPage();
    if (page.readError) {
      std::fprintf(stderr, "qh-bench: %s\n", platform::WideToPosixUtf8(page.errorText).c_str());
      status = 1;
    }
    for (int i = 0; i < page.lines.Count() && i < lines; ++i) {
      std::u16string text = page.lines[i].memoText;
      for (char16_t& c : text)
        if (c == u'\r' || c == u'\n') c = u' ';
      std::printf("%lld\t%s\n", static_cast<long long>(page.lines[i].offset), platform::WideToPosixUtf8(text).c_str());
    }
  }
  platform::SetMessageBoxSink(previous);
  return status;
}

}  // namespace qhbench
