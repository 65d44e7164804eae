#include "extractor/browser/rendered_text.h"

#include <cerrno>

#include "extractor/mime/archive_file.h"
#include "textlib/html/formatter.h"

namespace extractor {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// Every line break made CR LF; with trimBlanks, blanks at line ends and before a TAB dropped.
std::u16string CleanLines(std::u16string_view text, bool trimBlanks) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 32);
  const auto trimEnd = [&out, trimBlanks] {
    while (trimBlanks && !out.empty() && IsBlank(out.back())) out.pop_back();
  };
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    // Runs without a line break or TAB go in one piece.
    size_t end = i;
    while (end < n && !(text[end] <= u'\r' && ((0x2600u >> text[end]) & 1) != 0)) ++end;
    if (end > i) {
      out.append(text.substr(i, end - i));
      i = end;
      if (i == n) break;
    }
    const char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      trimEnd();
      out.append(u"\r\n");
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else if (c == u'\t' && trimBlanks) {
      while (!out.empty() && out.back() == u' ') out.pop_back();
      out.push_back(c);
    } else {
      out.push_back(c);
    }
  }
  trimEnd();
  return out;
}

}  // namespace

std::u16string RenderedText(const TMimeText& part) {
  switch (part.kind) {
    case TMimeTextKind::kHtml:
      return CleanLines(textlib::HtmlToRenderedText(part.text), true);
    case TMimeTextKind::kPlain:
      return CleanLines(part.text, false);
    case TMimeTextKind::kNone:
      break;
  }
  return {};
}

TRenderedArchive RenderArchive(std::u16string_view pathOrUrl) {
  TRenderedArchive out;
  const std::string path = ArchivePosixPath(pathOrUrl);
  if (path.empty()) {  // another scheme or an unknown drive
    out.errorCode = EINVAL;
    return out;
  }
  int error = 0;
  if (!ReadMimeFile(path, out.part, &error)) {
    out.errorCode = error != 0 ? error : EIO;
    return out;
  }
  out.ok = true;
  if (out.part.kind == TMimeTextKind::kHtml) {
    // The page's text goes before its lines are cleaned, so that at most two of the three
    // texts (page, formatted, cleaned) are held at a time.
    std::u16string formatted = textlib::HtmlToRenderedText(out.part.text);
    out.part.text = std::u16string();
    out.text = CleanLines(formatted, true);
  } else {
    out.text = RenderedText(out.part);
    out.part.text = std::u16string();
  }
  return out;
}

}  // namespace extractor
