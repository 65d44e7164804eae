#include "app/settings/registry.h"

#include <string>
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

bool SchreibeRegKey(std::u16string_view key, std::u16string_view name, std::u16string_view value,
                    std::u16string* failure) {
  return SchreibeRegKeys(key, {{std::u16string(name), std::u16string(value)}}, failure);
}

bool SchreibeRegKeys(std::u16string_view key, const std::vector<RegistryValue>& values, std::u16string* failure) {
  std::vector<platform::SettingsStore::NamedValue> named;
  named.reserve(values.size());
  for (const auto& v : values) named.emplace_back(ThroughAnsi(v.name), ThroughAnsi(v.value));
  platform::SettingsStore store = platform::SettingsStore::User();
  if (store.Write(ThroughAnsi(key), named)) return true;
  if (failure) {
    // The store's text names a POSIX path, which need not be valid UTF-8.
    const std::string text = store.LastFailure() ? store.LastFailure()->Text() : store.Path();
    *failure = platform::PosixUtf8ToWide(text).value_or(platform::AnsiToWide(text));
  }
  return false;
}

bool IsFirstRun() { return LeseRegKey(kRegistryKey, reg::AusgewaehlteDatenbank).empty(); }

bool WriteFirstRunValues(std::u16string* failure) {
  std::vector<RegistryValue> values;
  for (const auto& v : kFirstRunValues) values.push_back({std::u16string(v.name), std::u16string(v.value)});
  return SchreibeRegKeys(kRegistryKey, values, failure);
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

int ClampViewerFontSize(int64_t pointSize) {
  if (pointSize < kViewerFontSizeMin) return kViewerFontSizeMin;
  if (pointSize > kViewerFontSizeMax) return kViewerFontSizeMax;
  return int(pointSize);
}

int LeseViewerFontSize() {
  return ClampViewerFontSize(LeseRegInteger(reg::SchriftsizeTextViewer, kViewerFontSizeDefault));
}

}  // namespace app
