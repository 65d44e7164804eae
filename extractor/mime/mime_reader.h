#pragma once
// The root text part of a web archive or mail, read with GMime (which stays behind this
// header). Which part is the root:
//   - a file that begins with a header block without MIME fields (no Content-Type or
//     MIME-Version) is a mail whose body is plain text;
//   - a file without any header block is plain HTML as a whole;
//   - multipart/related: the part named by "start" (Content-ID or Content-Location), else
//     the first;
//   - multipart/alternative: an HTML part wins over plain text;
//   - other multiparts (mixed, signed, ...): the first text part that is not an attachment;
//   - message/rfc822 parts are entered;
//   - "text" without a subtype, and any text type but HTML and style sheets, is plain text;
//   - a mail whose structure holds no text part (a multipart without its boundary, say)
//     shows its body, from the blank line after the headers on, as plain text.
// Beside the root part, the archive's style sheets and HTML documents (frames) are decoded
// as resources, which the browser stand-in looks up by Content-Location or Content-ID.
// Transfer decoding (quoted-printable, base64 also when sloppy, 7bit, 8bit) is GMime's; the
// charset is decoded by extractor/mime/charset.h. Parts other than the root text part
// (images, attachments) are never decoded, nor copied.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "extractor/mime/charset.h"

namespace extractor {

enum class TMimeTextKind { kNone, kHtml, kPlain };

struct TMimeResource {
  std::string location;   // Content-Location, as written
  std::string contentId;  // Content-ID without its angle brackets
  bool html = false;      // an HTML document; else a style sheet
  std::u16string text;
};

struct TMimeText {
  TMimeTextKind kind = TMimeTextKind::kNone;  // kNone: no text part at all (or no bytes)
  std::u16string text;                         // the part's decoded text
  TCharsetSource charsetSource = TCharsetSource::kDefault;
  platform::CodePage codePage = platform::kCpAnsi;
  int64_t decodedBytes = 0;  // bytes that transfer decoding produced (the root part's only)
  std::string location;  // the part's Content-Location, where it has one
  std::vector<TMimeResource> resources;  // the other style sheets and HTML parts, in order
};

// Whether the bytes begin with a header block that declares MIME content.
bool HasMimeHeaders(std::string_view bytes);
// Whether they begin with a header block (fields, then a blank line) that does not; gives
// the body's offset then.
bool HasPlainMailHeaders(std::string_view bytes, size_t* bodyAt = nullptr);

TMimeText ReadMimeText(std::string_view bytes);

// Reads the file (a POSIX path) and its root text part; false when the file cannot be read
// (errorCode: the system's error number).
bool ReadMimeFile(const std::string& posixPath, TMimeText& out, int* errorCode = nullptr);

}  // namespace extractor
