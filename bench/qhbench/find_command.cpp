// qh-bench find [--kind ansi|utf8|unicode] [--case] FILE TEXT
// Collects the hits of TEXT in FILE as the viewer's in-document search does ("Suchen") and
// prints the byte offset of each, ascending, one per line. The UTF-8 kind is the default.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/qhbench/commands.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "search/engine/in_document_search.h"

namespace qhbench {
namespace {

int Usage() {
  std::fprintf(stderr, "usage: qh-bench find [--kind ansi|utf8|unicode] [--case] FILE TEXT\n");
  return 2;
}

// Millions of lines: formatted into one buffer, not printf by printf.
void PrintOffsets(const std::vector<int64_t>& offsets) {
  std::string out;
  out.reserve(1 << 16);
  for (const int64_t offset : offsets) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, offset).ptr;
    out.append(digits, end);
    out += '\n';
    if (out.size() >= (1 << 16) - 32) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
}

}  // namespace

int Find(const std::vector<std::string>& args) {
  search::TInDocumentKind kind = search::TInDocumentKind::Utf8;
  bool caseSensitive = false;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--kind" && i + 1 < args.size()) {
      const std::string& k = args[++i];
      if (k == "ansi") {
        kind = search::TInDocumentKind::Ansi;
      } else if (k == "utf8") {
        kind = search::TInDocumentKind::Utf8;
      } else if (k == "unicode") {
        kind = search::TInDocumentKind::Unicode;
      } else {
        return Usage();
      }
    } else if (a == "--case") {
      caseSensitive = true;
    } else if (a.starts_with("--") && positional.size() < 2) {
      return Usage();
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) return Usage();
  const auto text = platform::PosixUtf8ToWide(positional[1]);
  if (!text) {
    std::fprintf(stderr, "qh-bench: the search text must be UTF-8\n");
    return 2;
  }
  const auto drive = DriveFormOf(positional[0]);
  if (!drive) return 1;

  search::TFundstellenSammler collector;
  const search::TFundstellen hits = collector.Sammeln(*drive, *text, kind, !caseSensitive);
  if (!hits.error.empty()) {
    std::fprintf(stderr, "qh-bench: %s\n", platform::WideToPosixUtf8(hits.error).c_str());
    return 1;
  }
  PrintOffsets(hits.offsets);
  if (hits.incomplete) {
    std::fprintf(stderr, "qh-bench: out of memory, only the first %zu hits\n", hits.offsets.size());
    return 1;
  }
  return 0;
}

}  // namespace qhbench
