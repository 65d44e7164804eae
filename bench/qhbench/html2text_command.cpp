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
    WriteUtf8InSlices(text);
  }
  return status;
}

}  // namespace qhbench
