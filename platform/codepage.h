#pragma once
// Code pages. The system ANSI code page is Windows-1252 through a table of our own that
// maps all 256 bytes both ways (the five bytes Windows leaves undefined map to the C1
// controls of the same number), so UTF-8 bytes kept one per character in wide strings
// survive the way back. Other code pages go through iconv with "?" for what does not convert.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

using CodePage = uint32_t;

inline constexpr CodePage kCpAnsi = 1252;
inline constexpr CodePage kCpOem = 850;
inline constexpr CodePage kCpMac = 10000;
inline constexpr CodePage kCpUtf16LE = 1200;
inline constexpr CodePage kCpUtf16BE = 1201;
inline constexpr CodePage kCpUtf7 = 65000;
inline constexpr CodePage kCpUtf8 = 65001;

CodePage GetACP();
CodePage GetOEMCP();
CodePage GetMacCP();

// Code page 1252, byte <-> unit. Every byte has a unit; a unit without a byte gives '?'.
char16_t Cp1252ToWide(unsigned char byte);
std::optional<unsigned char> WideToCp1252(char16_t unit);
std::u16string AnsiToWide(std::string_view bytes);
std::string WideToAnsi(std::u16string_view text, bool* usedDefaultChar = nullptr);

// Any code page by number (1252 through the table, UTF-8 and UTF-16 natively, the rest
// through iconv). nullopt: the code page is not installed here.
bool IsCodePageInstalled(CodePage cp);
std::optional<std::u16string> MultiByteToWide(CodePage cp, std::string_view bytes);
std::optional<std::string> WideToMultiByte(CodePage cp, std::u16string_view text,
                                           bool* usedDefaultChar = nullptr);

// Proper UTF-8 as file names need it at the POSIX boundary: surrogate pairs combined,
// a lone surrogate becomes U+FFFD.
std::string WideToPosixUtf8(std::u16string_view text);
// The well-formed UTF-8 sequence (RFC 3629: no overlong forms, no surrogates, nothing
// above U+10FFFF) at p: its length, with its value in *value; 0 when none starts there.
size_t Utf8SequenceAt(const unsigned char* p, size_t left, char32_t* value);
// Strict decoding; nullopt for anything that is not well-formed UTF-8.
std::optional<std::u16string> PosixUtf8ToWide(std::string_view bytes);

}  // namespace platform
