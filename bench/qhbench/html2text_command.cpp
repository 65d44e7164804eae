#include <cstdio>
#include <string>

#include "bench/qhbench/commands.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "textlib/html/html.h"

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
    auto bytes = platform::ReadWholeFile(name);
    if (!bytes) {
      std::fprintf(stderr, "qh-bench: cannot read %s\n", name.c_str());
      status = 1;
      continue;
    }
    auto utf8 = platform::PosixUtf8ToWide(*bytes);
    const std::u16string html = utf8 ? std::move(*utf8) : platform::AnsiToWide(*bytes);
    textlib::THtmlParser parser;
    auto document = parser.ParseString(html);
    textlib::TTextFormatter formatter;
    const std::string text = platform::WideToPosixUtf8(formatter.GetText(document.get()));
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  return status;
}

}  // namespace qhbench
