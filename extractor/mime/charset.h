#pragma once
// Text bytes of a MIME part to UTF-16 through our own code-page layer: the byte-order
// mark, then the declared charset, then (HTML) the charset of a meta element, then UTF-8
// where the bytes are well-formed UTF-8 with a multibyte sequence, then code page 1252
// through the bijective table. glibc's iconv is never asked for code page 1252.
#include <optional>
#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace extractor {

enum class TCharsetSource {
  kDefault,        // nothing named one: code page 1252
  kDeclared,       // the part's Content-Type charset
  kMeta,           // a meta element of the HTML
  kByteOrderMark,  // UTF-8 or UTF-16 by its mark
  kUtf8Detected,   // undeclared bytes that are well-formed UTF-8
};

struct TDecodedText {
  std::u16string text;
  TCharsetSource source = TCharsetSource::kDefault;
  platform::CodePage codePage = platform::kCpAnsi;
};

// The code page a charset name stands for (case-insensitive, blanks and quotes around it
// ignored); nullopt for an unknown name or one whose code page is not installed here.
// ISO-8859-1 and US-ASCII are read as code page 1252, as browsers do.
std::optional<platform::CodePage> CodePageOfCharset(std::string_view name);

// The charset value of the first meta element of the first 4096 bytes that names one
// ("<meta charset=...>" or "content=\"...; charset=...\""); empty when none does.
std::string MetaCharset(std::string_view html);

// UTF-8 with every ill-formed sequence one U+FFFD, as browsers decode it.
std::u16string DecodeUtf8Lenient(std::string_view bytes);

// The part's bytes as text (a byte-order mark is removed).
TDecodedText DecodeTextBytes(std::string_view bytes, std::string_view declaredCharset, bool html);

}  // namespace extractor
