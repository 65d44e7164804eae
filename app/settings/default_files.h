#pragma once
// The configuration files a fresh installation ships in its base folder: the web panel's
// topics and addresses and the new-database dialog's extension choices. They are written
// only where the file is missing, so a user's own lists are never replaced.
#include <span>
#include <string>
#include <string_view>

namespace app {

// The default extension pattern of the new-database dialog.
inline constexpr char16_t kDefaultPattern[] = u"*.htm *.html";

struct DefaultFile {
  const char16_t* name;    // in the base folder
  std::string_view bytes;  // 8-bit text (code page 1252), lines ended by CR LF
};
std::span<const DefaultFile> DefaultFiles();

// Writes every shipped file that does not exist in the base folder (drive form, ends
// with "\"); anything already there, even a link or a folder, stays. Returns the names
// it could not write.
std::u16string InstallDefaultFiles(const std::u16string& baseFolder);

}  // namespace app
