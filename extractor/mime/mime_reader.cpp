#include "extractor/mime/mime_reader.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <mutex>

#include "platform/file.h"

namespace extractor {
namespace {

// Nested messages and multiparts deeper than this are not searched for a text part.
constexpr int kMaxDepth = 64;
// How far the leading header block is looked at.
constexpr size_t kMaxHeaderBlock = 256 * 1024;

void InitGMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

struct GObjectUnref {
  void operator()(void* object) const {
    if (object != nullptr) g_object_unref(object);
  }
};
template <typename T>
using GRef = std::unique_ptr<T, GObjectUnref>;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (LowerAscii(text[i]) != prefix[i]) return false;
  return true;
}

std::string_view Unbracketed(std::string_view id) {
  while (!id.empty() && (id.front() == ' ' || id.front() == '<')) id.remove_prefix(1);
  while (!id.empty() && (id.back() == ' ' || id.back() == '>')) id.remove_suffix(1);
  return id;
}

bool IsStyleSheet(GMimeObject* object) {
  GMimeContentType* type = g_mime_object_get_content_type(object);
  return type != nullptr && g_mime_content_type_is_type(type, "text", "css");
}

TMimeTextKind TextKindOf(GMimeObject* object) {
  GMimeContentType* type = g_mime_object_get_content_type(object);
  if (type == nullptr) return TMimeTextKind::kNone;
  // "text" without a subtype, which GMime takes for application/octet-stream.
  if (const char* raw = g_mime_object_get_header(object, "Content-Type")) {
    std::string_view media = raw;
    media = media.substr(0, media.find(';'));
    while (!media.empty() && (media.front() == ' ' || media.front() == '\t')) media.remove_prefix(1);
    while (!media.empty() && (media.back() == ' ' || media.back() == '\t' || media.back() == '\r' || media.back() == '\n'))
      media.remove_suffix(1);
    if (media.size() == 4 && StartsWithNoCase(media, "text")) return TMimeTextKind::kPlain;
  }
  if (g_mime_content_type_is_type(type, "text", "html") ||
      g_mime_content_type_is_type(type, "application", "xhtml+xml"))
    return TMimeTextKind::kHtml;
  if (!g_mime_content_type_is_type(type, "text", "*")) return TMimeTextKind::kNone;
  // Any other text is shown as it is ("text" alone, enriched, ...), but not what only
  // serves the page.
  const char* subtype = g_mime_content_type_get_media_subtype(type);
  const std::string_view sub = subtype != nullptr ? subtype : "";
  for (std::string_view other : {"css", "javascript", "ecmascript", "x-javascript"})
    if (sub.size() == other.size() && StartsWithNoCase(sub, other)) return TMimeTextKind::kNone;
  return TMimeTextKind::kPlain;
}

bool IsMultipartOf(GMimeObject* object, const char* subtype) {
  GMimeContentType* type = g_mime_object_get_content_type(object);
  return type != nullptr && g_mime_content_type_is_type(type, "multipart", subtype);
}

struct Choice {
  GMimePart* part = nullptr;
  TMimeTextKind kind = TMimeTextKind::kNone;
};

Choice ChooseText(GMimeObject* object, int depth, bool skipAttachments);

// multipart/related: the part named by "start", else the first.
Choice ChooseRelated(GMimeMultipart* multipart, int depth) {
  const int count = g_mime_multipart_get_count(multipart);
  if (count <= 0) return {};
  GMimeObject* root = g_mime_multipart_get_part(multipart, 0);
  if (const char* start = g_mime_object_get_content_type_parameter(GMIME_OBJECT(multipart), "start")) {
    const std::string_view wanted = Unbracketed(start);
    for (int i = 0; i < count && !wanted.empty(); ++i) {
      GMimeObject* part = g_mime_multipart_get_part(multipart, i);
      const char* id = g_mime_object_get_content_id(part);
      const char* location = g_mime_object_get_header(part, "Content-Location");
      if ((id != nullptr && Unbracketed(id) == wanted) || (location != nullptr && Unbracketed(location) == wanted)) {
        root = part;
        break;
      }
    }
  }
  return ChooseText(root, depth + 1, false);
}

// multipart/alternative: the first HTML candidate, else the first plain one.
Choice ChooseAlternative(GMimeMultipart* multipart, int depth) {
  Choice plain;
  const int count = g_mime_multipart_get_count(multipart);
  for (int i = 0; i < count; ++i) {
    const Choice choice = ChooseText(g_mime_multipart_get_part(multipart, i), depth + 1, true);
    if (choice.kind == TMimeTextKind::kHtml) return choice;
    if (choice.part != nullptr && plain.part == nullptr) plain = choice;
  }
  return plain;
}

// Any other multipart: the first text part that is not an attachment.
Choice ChooseMixed(GMimeMultipart* multipart, int depth) {
  const int count = g_mime_multipart_get_count(multipart);
  for (int i = 0; i < count; ++i) {
    const Choice choice = ChooseText(g_mime_multipart_get_part(multipart, i), depth + 1, true);
    if (choice.part != nullptr) return choice;
  }
  return {};
}

Choice ChooseText(GMimeObject* object, int depth, bool skipAttachments) {
  if (object == nullptr || depth > kMaxDepth) return {};
  if (GMIME_IS_MESSAGE_PART(object)) {
    GMimeMessage* message = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
    if (message == nullptr) return {};
    return ChooseText(g_mime_message_get_mime_part(message), depth + 1, false);
  }
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    if (IsMultipartOf(object, "related")) return ChooseRelated(multipart, depth);
    if (IsMultipartOf(object, "alternative")) return ChooseAlternative(multipart, depth);
    return ChooseMixed(multipart, depth);
  }
  if (!GMIME_IS_PART(object)) return {};
  GMimePart* part = GMIME_PART(object);
  if (skipAttachments && g_mime_part_is_attachment(part)) return {};
  const TMimeTextKind kind = TextKindOf(object);
  if (kind == TMimeTextKind::kNone) return {};
  return {part, kind};
}

struct Base64Alphabet {
  bool member[256] = {};
  constexpr Base64Alphabet() {
    for (int c = 'A'; c <= 'Z'; ++c) member[c] = true;
    for (int c = 'a'; c <= 'z'; ++c) member[c] = true;
    for (int c = '0'; c <= '9'; ++c) member[c] = true;
    member[static_cast<int>('+')] = member[static_cast<int>('/')] = true;
  }
};
constexpr Base64Alphabet kBase64;

// Base64 as senders write it: GMime drops a last group that lacks its padding, so the
// alphabet is gathered first (anything else skipped) and the padding made up.
std::string DecodeSloppyBase64(GMimeStream* raw) {
  GRef<GMimeStream> copy(g_mime_stream_mem_new());
  g_mime_stream_reset(raw);
  if (g_mime_stream_write_to_stream(raw, copy.get()) < 0) return {};
  GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(copy.get()));
  if (array == nullptr) return {};
  std::string clean(static_cast<size_t>(array->len) + 3, '=');
  size_t length = 0;
  for (guint i = 0; i < array->len; ++i) {
    const guint8 c = array->data[i];
    clean[length] = static_cast<char>(c);
    length += kBase64.member[c];
  }
  if (length % 4 == 1) --length;  // six bits make no byte
  while (length % 4 != 0) clean[length++] = '=';
  clean.resize(length);
  std::string out(clean.size() / 4 * 3 + 4, '\0');
  int state = 0;
  guint32 save = 0;
  const size_t decoded = g_mime_encoding_base64_decode_step(reinterpret_cast<const unsigned char*>(clean.data()),
                                                            clean.size(), reinterpret_cast<unsigned char*>(out.data()),
                                                            &state, &save);
  out.resize(std::min(decoded, out.size()));
  return out;
}

// The part's content with its transfer encoding undone.
std::string TransferDecoded(GMimePart* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (content == nullptr) return {};
  if (g_mime_data_wrapper_get_encoding(content) == GMIME_CONTENT_ENCODING_BASE64) {
    GMimeStream* raw = g_mime_data_wrapper_get_stream(content);
    return raw != nullptr ? DecodeSloppyBase64(raw) : std::string();
  }
  GRef<GMimeStream> sink(g_mime_stream_mem_new());
  if (g_mime_data_wrapper_write_to_stream(content, sink.get()) < 0) return {};
  GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(sink.get()));
  if (array == nullptr || array->len == 0) return {};
  return std::string(reinterpret_cast<const char*>(array->data), array->len);
}

TMimeText TextOf(std::string_view bytes, TMimeTextKind kind, std::string_view charset) {
  TMimeText out;
  out.kind = kind;
  TDecodedText decoded = DecodeTextBytes(bytes, charset, kind == TMimeTextKind::kHtml);
  out.text = std::move(decoded.text);
  out.charsetSource = decoded.source;
  out.codePage = decoded.codePage;
  return out;
}

// Style sheets and HTML documents of the archive other than the root part.
void CollectResources(GMimeObject* object, GMimePart* root, int depth, std::vector<TMimeResource>& out) {
  if (object == nullptr || depth > kMaxDepth) return;
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    const int count = g_mime_multipart_get_count(multipart);
    for (int i = 0; i < count; ++i) CollectResources(g_mime_multipart_get_part(multipart, i), root, depth + 1, out);
    return;
  }
  if (!GMIME_IS_PART(object) || GMIME_PART(object) == root) return;
  const bool css = IsStyleSheet(object);
  if (!css && TextKindOf(object) != TMimeTextKind::kHtml) return;
  const char* location = g_mime_object_get_header(object, "Content-Location");
  const char* id = g_mime_object_get_content_id(object);
  if (location == nullptr && id == nullptr) return;
  TMimeResource resource;
  resource.location = location != nullptr ? std::string(Unbracketed(location)) : std::string();
  resource.contentId = id != nullptr ? std::string(Unbracketed(id)) : std::string();
  resource.html = !css;
  const char* charset = g_mime_object_get_content_type_parameter(object, "charset");
  resource.text = DecodeTextBytes(TransferDecoded(GMIME_PART(object)), charset != nullptr ? charset : "", !css).text;
  out.push_back(std::move(resource));
}

// The body of a mail, from the blank line that ends its headers on.
std::string_view BodyOf(std::string_view bytes) {
  for (size_t at = 0; at < bytes.size();) {
    size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos) return {};
    std::string_view line = bytes.substr(at, end - at);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty()) return bytes.substr(end + 1);
    at = end + 1;
  }
  return {};
}

// Parses the archive held by the array (which the stream takes over).
TMimeText ReadFromArray(GByteArray* array) {
  const std::string_view bytes(reinterpret_cast<const char*>(array->data), array->len);
  if (bytes.empty()) {
    g_byte_array_unref(array);
    return {};
  }
  if (!HasMimeHeaders(bytes)) {
    // A mail without MIME is plain text after its headers (RFC 2045's default).
    size_t bodyAt = 0;
    TMimeText out = HasPlainMailHeaders(bytes, &bodyAt) ? TextOf(bytes.substr(bodyAt), TMimeTextKind::kPlain, {})
                                                        : TextOf(bytes, TMimeTextKind::kHtml, {});
    g_byte_array_unref(array);
    return out;
  }
  InitGMime();
  GRef<GMimeStream> stream(g_mime_stream_mem_new_with_byte_array(array));
  GRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  // The parts keep windows on the stream instead of copies of their content.
  g_mime_parser_set_persist_stream(parser.get(), TRUE);
  GRef<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
  GMimeObject* top = message ? g_mime_message_get_mime_part(message.get()) : nullptr;
  const Choice choice = ChooseText(top, 0, false);
  if (choice.part == nullptr) {
    // A multipart without parts (no boundary, or one that never comes) or a message GMime
    // cannot read: what follows the headers is the text. Parts that are no text (images,
    // attachments) are no reason for it.
    if (top != nullptr && !(GMIME_IS_MULTIPART(top) && g_mime_multipart_get_count(GMIME_MULTIPART(top)) == 0))
      return {};
    const std::string_view body = BodyOf(bytes);
    if (body.find_first_not_of(" \t\r\n") == std::string_view::npos) return {};
    TMimeText out = TextOf(body, TMimeTextKind::kPlain, {});
    out.decodedBytes = static_cast<int64_t>(body.size());
    return out;
  }
  const char* charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(choice.part), "charset");
  const std::string decoded = TransferDecoded(choice.part);
  TMimeText out = TextOf(decoded, choice.kind, charset != nullptr ? charset : "");
  out.decodedBytes = static_cast<int64_t>(decoded.size());
  if (choice.kind == TMimeTextKind::kHtml) {
    if (const char* location = g_mime_object_get_header(GMIME_OBJECT(choice.part), "Content-Location"))
      out.location = Unbracketed(location);
    CollectResources(top, choice.part, 0, out.resources);
  }
  return out;
}

bool IsFieldNameChar(unsigned char c) { return c > ' ' && c < 0x7F && c != ':'; }

}  // namespace

namespace {

enum class HeaderBlock { kNone, kPlain, kMime };

// What header block the bytes begin with; bodyAt: where the body begins after it.
HeaderBlock ScanHeaderBlock(std::string_view bytes, size_t* bodyAt) {
  bytes = bytes.substr(0, kMaxHeaderBlock);
  size_t at = 0;
  // An mbox separator line may stand before the headers.
  if (bytes.starts_with("From ")) {
    at = bytes.find('\n');
    if (at == std::string_view::npos) return HeaderBlock::kNone;
    ++at;
  }
  bool mime = false;
  bool first = true;
  while (at < bytes.size()) {
    size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(at, end - at);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty()) {  // the end of the header block
      if (first) return HeaderBlock::kNone;
      if (bodyAt != nullptr) *bodyAt = std::min(end + 1, bytes.size());
      return mime ? HeaderBlock::kMime : HeaderBlock::kPlain;
    }
    if (line.front() == ' ' || line.front() == '\t') {
      if (first) return HeaderBlock::kNone;  // a continuation needs a field before it
    } else {
      size_t name = 0;
      while (name < line.size() && IsFieldNameChar(static_cast<unsigned char>(line[name]))) ++name;
      if (name == 0 || name >= line.size() || line[name] != ':') return HeaderBlock::kNone;
      if (StartsWithNoCase(line, "content-type:") || StartsWithNoCase(line, "mime-version:")) mime = true;
    }
    first = false;
    at = end + 1;
  }
  // Headers without a body: MIME only where they say so.
  if (bodyAt != nullptr) *bodyAt = bytes.size();
  return mime ? HeaderBlock::kMime : HeaderBlock::kNone;
}

}  // namespace

bool HasMimeHeaders(std::string_view bytes) { return ScanHeaderBlock(bytes, nullptr) == HeaderBlock::kMime; }

bool HasPlainMailHeaders(std::string_view bytes, size_t* bodyAt) {
  return ScanHeaderBlock(bytes, bodyAt) == HeaderBlock::kPlain;
}

TMimeText ReadMimeText(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > UINT_MAX) return {};
  GByteArray* array = g_byte_array_sized_new(static_cast<guint>(bytes.size()));
  g_byte_array_append(array, reinterpret_cast<const guint8*>(bytes.data()), static_cast<guint>(bytes.size()));
  return ReadFromArray(array);
}

bool ReadMimeFile(const std::string& posixPath, TMimeText& out, int* errorCode) {
  out = {};
  // A FIFO or a device swapped in for the archive would block the job or never end.
  platform::NativeFile file = platform::NativeFile::OpenRegularForReading(posixPath);
  const auto fail = [&](int code) {
    if (errorCode != nullptr) *errorCode = code;
    return false;
  };
  if (!file.Valid()) return fail(platform::LastError());
  const int64_t size = file.Size();
  if (size < 0) return fail(platform::LastError());
  // GMime's memory streams count in 32 bits; no web archive comes near it.
  if (static_cast<uint64_t>(size) > UINT_MAX) return fail(EFBIG);
  GByteArray* array = g_byte_array_sized_new(static_cast<guint>(size));
  g_byte_array_set_size(array, static_cast<guint>(size));
  const int64_t got = size > 0 ? file.Read(array->data, size) : 0;
  if (got < 0) {
    const int code = platform::LastError();
    g_byte_array_unref(array);
    return fail(code);
  }
  g_byte_array_set_size(array, static_cast<guint>(got));  // a file that shrank meanwhile
  out = ReadFromArray(array);
  return true;
}

}  // namespace extractor
