#pragma once
// How the indexer reads one file's bytes: the byte-order mark, the charset its first bytes
// declare, the UTF-8 checks and the lenient UTF-8 decoder, the code page conversion, and
// the exclusive-open probe. Everything here works on bytes in memory, so the build run
// reads each file once and every rule can be tested without files.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace app {

// Encoding kinds by the first bytes of a file.
enum EncodingKind : int {
  kKindUtf8 = 0,       // EF BB BF
  kKindUtf16BE = 1,    // FE FF
  kKindUtf16LE = 2,    // FF FE
  kKindUtf32BE = 3,    // 00 00 FE FF
  kKindUtf32LE = 4,    // FF FE 00 00
  kKindRtf = 5,        // "{\r"
  kKindNoUnicode = 6,  // none of these
};

// The kind of a file's first bytes; fewer than four bytes compare as if blanks followed.
EncodingKind DetectTextEncodingBytes(std::string_view firstBytes);
// Opens the file (drive form) and tests its first four bytes; a file that cannot be
// read is kind 6.
EncodingKind DetectTextEncoding(std::u16string_view path);
std::u16string EncodingKindName(int kind);

// Code page 11111: a private marker meaning "keep the text unchanged".
inline constexpr uint16_t kKeepTextCodePage = 11111;
// The code page that a sample (the first 2000 bytes of a file) declares, 0 when nothing
// decides: the last name of the charset table that occurs in it, then the UTF-8 overrides.
uint16_t CodePageFromCharset(std::string_view sample);

// The code page that a page's charset declaration names ("charset=" of a meta element or
// a Content-Type, "encoding=" of an XML declaration) in its sample; 0 without one.
uint16_t DeclaredCodePage(std::string_view sample);

// A page's bytes as text, decided before its HTML is parsed so that character references
// are resolved in Unicode and nothing is narrowed afterwards: the byte-order mark first;
// then bytes that are well-formed UTF-8 with a multibyte sequence are UTF-8 whatever the
// page declares; then the declared code page; then code page 1252.
std::u16string DecodePageBytes(std::string_view bytes, EncodingKind kind);

// UTF-8 where the bytes form it; every other byte stands for its code page 1252
// character. wellFormed/multibyte (when given) say what the bytes were.
std::u16string Utf8OrCp1252ToWide(std::string_view bytes, bool* wellFormed = nullptr, bool* multibyte = nullptr);

// 0 plain ASCII, 1 well-formed with at least one multibyte sequence, 2 ill-formed (also a
// sequence cut off by the end).
int ClassifyUtf8(const unsigned char* bytes, size_t length);
inline int ClassifyUtf8(std::string_view bytes) {
  return ClassifyUtf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}
inline bool IsValidUtf8(std::string_view bytes) { return ClassifyUtf8(bytes) != 2; }

// Decodes as much as fits into dest (capacity units including the terminator, which is
// written behind the last unit). Returns units written plus one; 0 for no source.
// A byte that does not start a sequence it can complete stands for itself.
size_t DecodeUtf8LenientBuffer(char16_t* dest, size_t capacity, const unsigned char* source,
                               size_t length);
std::u16string Utf8ToWideLenient(std::string_view bytes);
// Utf8ToWideLenient of the text narrowed to code page 1252 (unmapped characters as "?").
std::u16string AnsiUtf8ToWideLenient(std::u16string_view text);

// The bytes in a code page; empty when the code page is missing or nothing converts.
std::u16string CodePageToWide(std::string_view bytes, uint32_t codePage);

// Opens an existing file (drive form) with an fm* mode (access bits 0-1, sharing bits
// 4-7); invalid for a mode outside the table, a missing file, a folder or anything else
// that is not a regular file. Sharing is not
// enforced on this platform, so the probe finds missing and unreadable files only.
platform::NativeFile OpenFileProbe(std::u16string_view path, uint32_t mode);
// The open file's size (all 64 bits); -1 when it cannot be asked.
int64_t GetFileSize64(const platform::NativeFile& file);

// True when the 8-bit text holds "?": the caller narrows a wide path to the ANSI code page
// first, so characters outside it arrive as "?" (a real "?" counts too).
bool EnthaeltPfadDateinameAsiaZeichen(std::string_view ansiText);

}  // namespace app
