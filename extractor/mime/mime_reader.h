#pragma once
// The root text part of a web archive or mail, read with GMime (which stays behind this
// header). Which part is the root:
//   - a file without MIME headers (no Content-Type or MIME-Version in a leading header
//     block) is plain HTML as a whole;
//   - multipart/related: the part named by "start" (Content-ID or Content-Location), else
//     the first;
//   - multipart/alternative: an HTML part wins over plain text;
//   - other multiparts (mixed, signed, ...): the first text part that is not an attachment;
//   - message/rfc822 parts are entered.
// Transfer decoding (quoted-printable, base64 also when sloppy, 7bit, 8bit) is GMime's; the
// charset is decoded by extractor/mime/charset.h. Parts other than the root text part
// (images, attachments) are never decoded, nor copied.
#include <cstdint>
#include <string>
#include <string_view>

#include "extractor/mime/charset.h"

namespace extractor {

enum class TMimeTextKind { kNone, kHtml, kPlain };

struct TMimeText {
  TMimeTextKind kind = TMimeTextKind::kNone;  // kNone: no text part at all (or no bytes)
  std::u16string text;                         // the part's decoded text
  TCharsetSource charsetSource = TCharsetSource::kDefault;
  platform::CodePage codePage = platform::kCpAnsi;
  int64_t decodedBytes = 0;  // bytes that transfer decoding produced (the root part's only)
};

// Whether the bytes begin with a header block that declares MIME content.
bool HasMimeHeaders(std::string_view bytes);

TMimeText ReadMimeText(std::string_view bytes);

// Reads the file (a POSIX path) and its root text part; false when the file cannot be read
// (errorCode: the system's error number).
bool ReadMimeFile(const std::string& posixPath, TMimeText& out, int* errorCode = nullptr);

}  // namespace extractor
