#pragma once
// Conversions of the wide platform layer: its own UTF-8 pair (a surrogate pair as one
// four-byte sequence, a lone half in three bytes), UTF-7 after RFC 2152, and 8-bit strings in any
// code page. The buffer forms write a terminating zero and return counts including it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace textlib {

using platform::CodePage;

// Bytes written including the terminator; with no target, the bytes needed plus one;
// no source, 0. A sequence that does not fit before the terminator's byte ends the
// conversion.
size_t WideCharsToUtf8(char* target, size_t targetBytes, const char16_t* source, size_t sourceLength);
std::string WideToUtf8(std::u16string_view text);

// Units written including the terminator (with no target, needed plus one), or -1 for
// malformed input. F0-F4 sequences give a surrogate pair.
ptrdiff_t Utf8ToWideChars(char16_t* target, size_t targetUnits, const char* source, size_t sourceBytes);
// Malformed input gives an empty text.
std::u16string Utf8ToWide(std::string_view bytes);

// The outputs grow as needed and stay far below 7 bytes per unit (encoding) and never
// exceed one unit per byte (decoding), so a "Buffer overflow" cannot arise.
std::string WideToUtf7(std::u16string_view text);
// Raises EUniGeneralError "Invalid UTF7" for invalid input.
std::u16string Utf7ToWide(std::string_view bytes);

// 65000 UTF-7, 65001 UTF-8, any other code page through the platform (0 is the ANSI code
// page, 1 the OEM one, 2 the Mac one, 3 the thread's). A code page that is not installed
// gives an empty result.
std::u16string StringToWideCP(std::string_view bytes, CodePage cp);
std::string WideToStringCP(std::u16string_view text, CodePage cp);

CodePage LocaleCodePage(uint32_t locale);
CodePage KeyboardCodePage();
// A code from 256 up is already a character; below 256 it is a byte of the keyboard's
// code page.
char16_t KeyCharToWide(uint32_t code);

// Swaps the bytes of every unit up to the first zero unit.
void SwapWideBytes(char16_t* buffer);

}  // namespace textlib
