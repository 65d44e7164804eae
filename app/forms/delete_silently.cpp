#include "app/forms/delete_silently.h"

#include <fnmatch.h>

#include <string>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"

namespace app {
namespace {

bool RemoveTree(const std::string& path) {
  auto st = platform::Stat(path, false);
  if (!st) return true;
  if (!st->isDirectory) return platform::RemoveFile(path);
  bool ok = true;
  if (auto entries = platform::ListDirectory(path)) {
    for (const auto& e : *entries) ok = RemoveTree(path + "/" + e.name) && ok;
  }
  return platform::RemoveDirectory(path) && ok;
}

}  // namespace

bool DeleteSilently(std::u16string_view mask) {
  const size_t slash = mask.rfind(u'\\');
  if (slash == std::u16string_view::npos) return false;
  const std::string folder = platform::PosixPath(mask.substr(0, slash + 1));
  const std::string pattern = platform::WideToPosixUtf8(mask.substr(slash + 1));
  if (folder.empty()) return false;
  auto entries = platform::ListDirectory(folder);
  if (!entries) return false;
  const bool all = pattern == "*.*" || pattern == "*";
  bool ok = true;
  for (const auto& e : *entries) {
    if (!all && fnmatch(pattern.c_str(), e.name.c_str(), FNM_CASEFOLD) != 0) continue;
    ok = RemoveTree(folder + (folder.back() == '/' ? "" : "/") + e.name) && ok;
  }
  return ok;
}

}  // namespace app
