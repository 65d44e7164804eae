#include "app/settings/registry.h"

#include <vector>

#include "platform/codepage.h"
#include "platform/settings.h"

namespace app {
namespace {

std::u16string ThroughAnsi(std::u16string_view text) {
  return platform::AnsiToWide(platform::WideToAnsi(text));
}

}  // namespace

std::u16string LeseRegKey(std::u16string_view key, std::u16string_view name) {
  auto value = platform::SettingsStore::User().Read(ThroughAnsi(key), ThroughAnsi(name));
  return value ? ThroughAnsi(*value) : std::u16string();
}

bool SchreibeRegKey(std::u16string_view key, std::u16string_view name, std::u16string_view value) {
  return platform::SettingsStore::User().Write(ThroughAnsi(key), ThroughAnsi(name), ThroughAnsi(value));
}

bool IsFirstRun() { return LeseRegKey(kRegistryKey, reg::AusgewaehlteDatenbank).empty(); }

bool WriteFirstRunValues() {
  std::vector<platform::SettingsStore::NamedValue> values;
  for (const auto& v : kFirstRunValues) values.emplace_back(v.name, v.value);
  return platform::SettingsStore::User().Write(kRegistryKey, values);
}

int64_t LeseRegInteger(std::u16string_view name, int64_t fallback) {
  const std::u16string text = LeseRegKey(kRegistryKey, name);
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  uint64_t value = 0;
  size_t digits = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i, ++digits) {
    if (value > (UINT64_MAX - 9) / 10) return fallback;
    value = value * 10 + (text[i] - u'0');
  }
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  if (digits == 0 || i != text.size()) return fallback;
  if (value > static_cast<uint64_t>(INT64_MAX) + (negative ? 1 : 0)) return fallback;
  return negative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
}

}  // namespace app
