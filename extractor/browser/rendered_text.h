#pragma once
// The text a browser shows of an archive's root part, as select-all and copy deliver it:
// HTML through the library's HTML-to-text walk in its rendered-text mode (head, title,
// style, script, noscript and noframes left out, a TAB between table cells) over the kept
// tree, leaving out what the page hides by its attributes and the archive's style sheets,
// and showing the documents of its frames in their place; plain text as it is.
// Lines end in CR LF, trailing blanks of each line are dropped.
#include <cstdint>
#include <string>
#include <string_view>

#include "extractor/mime/mime_reader.h"

namespace extractor {

std::u16string RenderedText(const TMimeText& part);

struct TRenderedArchive {
  bool ok = false;        // false: the file could not be read
  int32_t errorCode = 0;  // the system's error number when not ok (EINVAL: no local path)
  TMimeText part;         // the root part (its text is the decoded, unrendered text)
  std::u16string text;    // the rendered text
};

// Reads an archive (drive-form path, POSIX path or file:// URL) and renders its root part.
TRenderedArchive RenderArchive(std::u16string_view pathOrUrl);

}  // namespace extractor
