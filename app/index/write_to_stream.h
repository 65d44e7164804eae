#pragma once
// The one way the main program writes a whole text file in a code page: 65001 gives UTF-8
// without byte-order mark, 1200 FF FE + UTF-16LE, 1252 8-bit bytes. The text goes to a
// temporary sibling that replaces the file only when complete, so a crash or a full disk
// never leaves half a file in place of the old one.
#include <cstdint>
#include <string_view>

namespace app {

// false when the file could not be created or written (the old file, if any, is kept).
bool WriteToStream(std::u16string_view text, std::u16string_view fileName, uint32_t codePage);

}  // namespace app
