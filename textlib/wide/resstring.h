#pragma once
// Resource strings. The program's string table is kept in the layout of the platform's
// string-table resource (blocks of 16 entries, block (id >> 4) + 1, each entry a 16-bit
// length and that many UTF-16 units), and read back from those bytes.
#include <array>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace textlib {

class StringTableResource {
 public:
  StringTableResource() = default;
  StringTableResource(std::initializer_list<std::pair<uint32_t, std::u16string_view>> entries);
  // An entry of at most 65535 units; a longer text is refused (false).
  bool Add(uint32_t id, std::u16string_view text);
  // The block's bytes (little-endian), empty when the block does not exist.
  std::span<const uint8_t> Block(uint32_t block) const;

 private:
  std::map<uint32_t, std::array<std::u16string, 16>> entries_;
  std::map<uint32_t, std::vector<uint8_t>> blocks_;
};

// The string table of the running program; none until the program sets one.
void SetModuleStringTable(std::shared_ptr<const StringTableResource> table);

// Copies at most bufferSize - 1 units and a terminator; returns the entry's length (0 when
// it is missing), or only the length when there is no buffer.
int WideLoadString(uint32_t id, char16_t* buffer, int bufferSize);

// A resource string: an identifier below 0x10000 in the string table, or a text (UTF-8
// after EF BB BF, else ANSI).
struct TResStringRec {
  uint32_t identifier = 0;
  const char* text = nullptr;
};
bool IsIntResource(uintptr_t value);
std::u16string WideLoadResString(const TResStringRec* rec);

}  // namespace textlib
