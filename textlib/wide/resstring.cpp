#include "textlib/wide/resstring.h"

#include <cstring>
#include <mutex>

#include "platform/codepage.h"
#include "textlib/wide/utf.h"

namespace textlib {

StringTableResource::StringTableResource(
    std::initializer_list<std::pair<uint32_t, std::u16string_view>> entries) {
  for (const auto& [id, text] : entries) Add(id, text);
}

bool StringTableResource::Add(uint32_t id, std::u16string_view text) {
  if (text.size() > 0xFFFF) return false;
  const uint32_t block = (id >> 4) + 1;
  auto& entries = entries_[block];
  entries[id & 15] = std::u16string(text);
  std::vector<uint8_t>& bytes = blocks_[block];
  bytes.clear();
  for (const std::u16string& entry : entries) {
    auto put = [&bytes](uint16_t v) {
      bytes.push_back(static_cast<uint8_t>(v & 0xFF));
      bytes.push_back(static_cast<uint8_t>(v >> 8));
    };
    put(static_cast<uint16_t>(entry.size()));
    for (char16_t u : entry) put(u);
  }
  return true;
}

std::span<const uint8_t> StringTableResource::Block(uint32_t block) const {
  auto it = blocks_.find(block);
  if (it == blocks_.end()) return {};
  return it->second;
}

namespace {

std::mutex& TableMutex() {
  static std::mutex m;
  return m;
}

std::shared_ptr<const StringTableResource>& ModuleTable() {
  static std::shared_ptr<const StringTableResource> table;
  return table;
}

}  // namespace

void SetModuleStringTable(std::shared_ptr<const StringTableResource> table) {
  std::lock_guard lock(TableMutex());
  ModuleTable() = std::move(table);
}

int WideLoadString(uint32_t id, char16_t* buffer, int bufferSize) {
  std::shared_ptr<const StringTableResource> table;
  {
    std::lock_guard lock(TableMutex());
    table = ModuleTable();
  }
  std::span<const uint8_t> block = table ? table->Block((id >> 4) + 1) : std::span<const uint8_t>();
  auto read16 = [&block](size_t at) { return static_cast<uint16_t>(block[at] | block[at + 1] << 8); };
  // Walks past the entries before this one; a truncated block counts as missing.
  size_t at = 0;
  for (uint32_t skip = id & 15; skip > 0; --skip) {
    if (at + 2 > block.size()) break;
    at += 2 + size_t{read16(at)} * 2;
  }
  size_t length = 0;
  if (at + 2 <= block.size() && at + 2 + size_t{read16(at)} * 2 <= block.size()) length = read16(at);
  if (!buffer) return static_cast<int>(length);
  if (bufferSize <= 0) return 0;
  size_t copied = std::min(length, static_cast<size_t>(bufferSize - 1));
  for (size_t i = 0; i < copied; ++i) buffer[i] = static_cast<char16_t>(read16(at + 2 + i * 2));
  buffer[copied] = 0;
  return static_cast<int>(length);
}

bool IsIntResource(uintptr_t value) { return (value >> 16) == 0; }

std::u16string WideLoadResString(const TResStringRec* rec) {
  if (!rec) return {};
  if (!rec->text) {
    if (!IsIntResource(rec->identifier)) return {};
    // The whole entry, however long: a fixed buffer would cut long texts.
    int length = WideLoadString(rec->identifier, nullptr, 0);
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    WideLoadString(rec->identifier, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
  }
  std::string_view text(rec->text);
  if (text.size() > 3 && text.substr(0, 3) == "\xEF\xBB\xBF") return Utf8ToWide(text.substr(3));
  return platform::AnsiToWide(text);
}

}  // namespace textlib
