// The MIME reader and the rendered text over arbitrary archives. Half the inputs get a MIME
// header block in front, so GMime's multipart and encoding paths come up as often as bare
// HTML. The rendered text formatted while the tree grows must equal the text of the kept tree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "extractor/browser/rendered_text.h"
#include "extractor/mime/mime_reader.h"
#include "textlib/html/formatter.h"
#include "textlib/html/parser.h"

namespace {

void Check(const std::string& bytes) {
  const extractor::TMimeText part = extractor::ReadMimeText(bytes);
  if (part.kind == extractor::TMimeTextKind::kNone && !part.text.empty()) std::abort();
  (void)extractor::RenderedText(part);
  if (part.kind != extractor::TMimeTextKind::kHtml || part.text.size() > 20000) return;
  textlib::THtmlParser parser;
  const std::unique_ptr<textlib::TDocument> document = parser.ParseString(part.text);
  textlib::TTextFormatter formatter;
  formatter.SetRenderedText(true);
  if (textlib::HtmlToRenderedText(part.text) != formatter.GetText(document.get())) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  Check(bytes);
  if (size > 0 && (data[0] & 1) != 0) {
    Check("MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=\"b\"; start=\"<r>\"\r\n"
          "\r\n--b\r\nContent-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
          bytes + "\r\n--b\r\nContent-ID: <r>\r\nContent-Type: text/html\r\n"
                  "Content-Transfer-Encoding: quoted-printable\r\n\r\n" + bytes);
  }
  return 0;
}
