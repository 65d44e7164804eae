#include "app/forms/delete_silently.h"

#include <fnmatch.h>

#include <string>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/job_chain.h"

namespace app {

bool DeleteSilently(std::u16string_view mask) {
  const size_t slash = mask.rfind(u'\\');
  if (slash == std::u16string_view::npos) return false;
  const std::string folder = platform::PosixPath(mask.substr(0, slash + 1));
  const std::string pattern = platform::WideToPosixUtf8(mask.substr(slash + 1));
  // A "Temp" swapped for a link to another folder would otherwise be emptied there.
  if (folder.empty() || !platform::IsRealDirectory(folder)) return false;
  if (pattern == "*.*" || pattern == "*") return platform::RemoveTreeContentsNoFollow(folder);
  auto entries = platform::ListDirectory(folder);
  if (!entries) return false;
  bool ok = true;
  for (const auto& e : *entries) {
    if (fnmatch(pattern.c_str(), e.name.c_str(), FNM_CASEFOLD) != 0) continue;
    ok = platform::RemoveTreeNoFollow(folder + (folder.back() == '/' ? "" : "/") + e.name) && ok;
  }
  return ok;
}

bool EmptyTempFolder(std::u16string_view dbFolder) {
  const std::string folder = platform::PosixPath(std::u16string(dbFolder) + u"Temp\\");
  if (folder.empty() || !platform::IsRealDirectory(folder)) return false;
  const auto entries = platform::ListDirectory(folder);
  if (!entries) return false;
  const std::string jobs = platform::WideToPosixUtf8(platform::chain::kJobsFolderName);
  bool ok = true;
  for (const auto& e : *entries) {
    const std::string path = folder + (folder.back() == '/' ? "" : "/") + e.name;
    if (e.name == jobs && platform::IsRealDirectory(path)) continue;
    ok = platform::RemoveTreeNoFollow(path) && ok;
  }
  return ok;
}

}  // namespace app
