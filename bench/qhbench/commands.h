#pragma once
// The commands of qh-bench, one file each. Each returns the exit status: 0 on success,
// non-zero with a message on stderr otherwise.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qhbench {

// The drive form of an existing file or folder given by a POSIX path, relative or not;
// nullopt with a message on stderr when it does not exist or lies on no drive.
std::optional<std::u16string> DriveFormOf(const std::string& posixPath);

// Writes the text to stdout as UTF-8 in slices of 1 M units, never cutting a surrogate
// pair, so a large text is never held twice.
void WriteUtf8InSlices(std::u16string_view text);

int Html2Text(const std::vector<std::string>& args);
int Index(const std::vector<std::string>& args);
int Search(const std::vector<std::string>& args);
int Find(const std::vector<std::string>& args);
int View(const std::vector<std::string>& args);
int Mht2Text(const std::vector<std::string>& args);
int WordLists(const std::vector<std::string>& args);

}  // namespace qhbench
