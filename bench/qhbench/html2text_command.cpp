#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "bench/qhbench/commands.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "textlib/html/formatter.h"

namespace qhbench {

// Each file's text as the reader, tree builder and formatter make it. Files that are not
// UTF-8 are read as code page 1252.
int Html2Text(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::fprintf(stderr, "usage: qh-bench html2text FILE...\n");
    return 2;
  }
  int status = 0;
  for (const std::string& name : args) {
    std::optional<std::string> bytes = platform::ReadWholeFile(name);
    if (!bytes) {
      std::fprintf(stderr, "qh-bench: cannot read %s\n", name.c_str());
      status = 1;
      continue;
    }
    std::u16string html;
    {
      std::optional<std::u16string> utf8 = platform::PosixUtf8ToWide(*bytes);
      html = utf8 ? std::move(*utf8) : platform::AnsiToWide(*bytes);
    }
    bytes.reset();
    // Formatted while the tree is built, as the build run does it: only the open elements
    // are kept, never the whole tree.
    std::u16string text = textlib::HtmlToText(html);
    html = std::u16string();
    // Written in slices, never cutting a surrogate pair, so the page is never held twice.
    constexpr size_t kSlice = size_t{1} << 20;
    for (size_t at = 0; at < text.size();) {
      size_t end = std::min(text.size(), at + kSlice);
      if (end < text.size() && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF) --end;
      const std::string slice = platform::WideToPosixUtf8(std::u16string_view(text).substr(at, end - at));
      std::fwrite(slice.data(), 1, slice.size(), stdout);
      at = end;
    }
  }
  return status;
}

}  // namespace qhbench
