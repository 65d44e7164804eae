#pragma once
// Virtual drive letters. Inside the program every path keeps its drive form
// ("C:\home\anna\a.htm"), because the stored formats are built on it; only this map
// turns a drive form into a POSIX path and back. Default: C: = "/". QUARRY_DRIVES
// ("C=/;T=/tmp/quarry-test") adds or replaces letters.
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class DriveMap {
 public:
  DriveMap();  // C: = "/" only
  // Parses "X=/root;Y=/other". Entries that are not a letter, "=" and an absolute path
  // are ignored.
  void AddFromText(std::string_view text);
  void Set(char letter, std::string root);
  std::optional<std::string> Root(char letter) const;
  const std::map<char, std::string>& Roots() const { return roots_; }

  // "X:\a\b" -> "<root of X>/a/b". A path without a drive ("a\b") stays relative with
  // "/" separators. nullopt: unknown drive.
  std::optional<std::string> ToPosix(std::u16string_view drivePath) const;
  // Absolute POSIX path -> drive form by the longest matching root. nullopt when no
  // root matches, the path is not UTF-8, or a name holds "\" (no drive form exists).
  std::optional<std::u16string> ToDrive(std::string_view posixPath) const;

 private:
  std::map<char, std::string> roots_;
};

// The process-wide map: the default plus QUARRY_DRIVES, read on first use.
const DriveMap& Drives();
// Tests replace the process-wide map.
void SetDrivesForTesting(const DriveMap& map);

// Shorthands over Drives(); an unknown drive gives an empty string (which opens nothing).
std::string PosixPath(std::u16string_view drivePath);
std::optional<std::u16string> DrivePath(std::string_view posixPath);

}  // namespace platform
