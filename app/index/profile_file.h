#pragma once
// A profile (INI) file read whole, as the configuration files of the program are written:
// "[section]" lines, "key=value" lines, ";" comment lines. Section and key names match
// ignoring case and the first occurrence wins, as with the platform's profile functions;
// values are trimmed and lose one pair of enclosing quotes. Unlike the platform's reader,
// a value is never cut to a buffer's length: an address cut short would open the wrong page.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// The file's text: a byte-order mark decides (UTF-8, UTF-16 LE or BE); without one,
// well-formed UTF-8 that holds a multibyte sequence is UTF-8 and anything else code page
// 1252, the platform's ANSI code page for these files.
std::u16string DecodeProfileText(std::string_view bytes);

class ProfileFile {
 public:
  ProfileFile() = default;
  // nullopt when the file (drive form) cannot be read: missing, a folder, unreadable.
  static std::optional<ProfileFile> Load(std::u16string_view path);
  static ProfileFile FromBytes(std::string_view bytes);
  static ProfileFile FromText(std::u16string_view text);

  // The value of `key` in `section`, or `fallback` when either is missing. Sections of
  // the same name count as one, in file order.
  std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                            std::u16string_view fallback = {}) const;
  bool HasSection(std::u16string_view section) const;

 private:
  struct Entry {
    std::u16string section, key;  // folded for matching
    std::u16string value;
  };
  std::vector<std::u16string> sections_;  // folded, every "[...]" line in order
  std::vector<Entry> entries_;
};

}  // namespace app
