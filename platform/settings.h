#pragma once
// The settings store that stands in for the registry below HKEY_CURRENT_USER: one text
// file, keys as sections, every value a string. Every read reads the file afresh, so two
// programs see each other's changes; every change rewrites the whole file through a
// temporary sibling under a lock, so a crash never loses settings and two writers never
// drop each other's values. Key and value names compare ignoring case, as in the
// registry; the case of the first write is kept.
//
//   [Software\Tolvane\Quarry-HTML]
//   Farbe=clHighlight
//
// Names and values are UTF-8; "%", control characters (so line breaks) and in names
// also "[", "]", "=", ";" and "#" are written as "%" + two hex digits.
//
// A rewrite keeps the file's permission bits, and when the file is a symbolic link (kept
// in a folder of dotfiles, say) the link stays and its target is rewritten. A change that
// cannot be saved is never lost without a word: the call returns false and LastFailure()
// says which file failed and why.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// QUARRY_SETTINGS when set, else $XDG_CONFIG_HOME (default ~/.config) +
// "/Tolvane/Quarry-HTML/registry.ini".
std::string SettingsFilePath();

// Why a change was not saved: the file (or folder) that failed and the system's error.
struct SettingsFailure {
  std::string file;
  int error = 0;
  // "<file>: <system's reason>", to be shown in a message.
  std::string Text() const;
};

class SettingsStore {
 public:
  using NamedValue = std::pair<std::u16string, std::u16string>;

  explicit SettingsStore(std::string path) : path_(std::move(path)) {}
  // The store at SettingsFilePath() as the environment names it now.
  static SettingsStore User() { return SettingsStore(SettingsFilePath()); }
  const std::string& Path() const { return path_; }

  // Keys are paths such as "Software\Tolvane\Quarry-HTML\"; leading, trailing and doubled
  // "\" do not matter. nullopt: no such key or value, or the file cannot be read.
  std::optional<std::u16string> Read(std::u16string_view key, std::u16string_view name) const;
  bool KeyExists(std::u16string_view key) const;
  // Names of the key's values in the order they were first written.
  std::vector<std::u16string> ValueNames(std::u16string_view key) const;

  // Creates the key (and the file's folder) as needed. false: the file could not be read
  // or written; the file is then unchanged and LastFailure() says why.
  bool Write(std::u16string_view key, std::u16string_view name, std::u16string_view value);
  // Several values in one rewrite, in the given order.
  bool Write(std::u16string_view key, const std::vector<NamedValue>& values);
  // false when the value did not exist (LastFailure() empty) or the file could not be
  // written (LastFailure() says why).
  bool Delete(std::u16string_view key, std::u16string_view name);

  // Why the last Write or Delete of this store failed; empty after one that succeeded.
  const std::optional<SettingsFailure>& LastFailure() const { return lastFailure_; }

 private:
  std::string path_;
  std::optional<SettingsFailure> lastFailure_;
};

}  // namespace platform
