#include "platform/drives.h"

#include <cstdlib>
#include <mutex>

#include "platform/codepage.h"

namespace platform {
namespace {

char UpperLetter(char c) {
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  return (c >= 'A' && c <= 'Z') ? c : '\0';
}

std::string NormalizeRoot(std::string root) {
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

std::mutex& DrivesMutex() {
  static std::mutex m;
  return m;
}

DriveMap*& DrivesInstance() {
  static DriveMap* instance = nullptr;
  return instance;
}

}  // namespace

DriveMap::DriveMap() : roots_{{'C', std::string(1, '/')}} {}

void DriveMap::Set(char letter, std::string root) {
  char l = UpperLetter(letter);
  if (l && !root.empty() && root.front() == '/') roots_[l] = NormalizeRoot(std::move(root));
}

void DriveMap::AddFromText(std::string_view text) {
  while (!text.empty()) {
    size_t end = text.find(';');
    std::string_view entry = text.substr(0, end);
    if (entry.size() >= 3 && entry[1] == '=') Set(entry[0], std::string(entry.substr(2)));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

std::optional<std::string> DriveMap::Root(char letter) const {
  auto it = roots_.find(UpperLetter(letter));
  if (it == roots_.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> DriveMap::ToPosix(std::u16string_view path) const {
  std::string result;
  std::u16string_view rest = path;
  if (path.size() >= 2 && path[1] == u':' && path[0] < 0x80) {
    auto root = Root(static_cast<char>(path[0]));
    if (!root) return std::nullopt;
    result = *root;
    rest = path.substr(2);
    while (!rest.empty() && (rest.front() == u'\\' || rest.front() == u'/')) rest.remove_prefix(1);
    if (rest.empty()) return result;
    if (result.back() != '/') result.push_back('/');
  }
  std::string tail = WideToPosixUtf8(rest);
  for (char& c : tail)
    if (c == '\\') c = '/';
  if (result.empty()) return tail;
  // As on a real drive, ".." never climbs above the drive's root.
  std::string joined = result.substr(0, result.size() - 1);
  size_t start = 0;
  while (start <= tail.size()) {
    size_t end = tail.find('/', start);
    if (end == std::string::npos) end = tail.size();
    std::string_view name(tail.data() + start, end - start);
    if (name == "..") {
      if (joined.size() > result.size() - 1) joined.erase(joined.rfind('/'));
    } else if (!name.empty() && name != ".") {
      joined += '/';
      joined += name;
    }
    start = end + 1;
  }
  if (joined.empty()) return std::string("/");
  if (!tail.empty() && tail.back() == '/') joined += '/';
  return joined;
}

std::optional<std::u16string> DriveMap::ToDrive(std::string_view posix) const {
  if (posix.empty() || posix.front() != '/') return std::nullopt;
  const std::pair<const char, std::string>* best = nullptr;
  for (const auto& entry : roots_) {
    const std::string& root = entry.second;
    bool matches = root == "/" ||
                   (posix.substr(0, root.size()) == root &&
                    (posix.size() == root.size() || posix[root.size()] == '/'));
    if (matches && (!best || root.size() > best->second.size())) best = &entry;
  }
  if (!best) return std::nullopt;
  std::string_view rest = posix.substr(best->second == "/" ? 0 : best->second.size());
  if (rest.find('\\') != std::string_view::npos) return std::nullopt;
  auto wide = PosixUtf8ToWide(rest);
  if (!wide) return std::nullopt;
  while (!wide->empty() && wide->front() == u'/') wide->erase(0, 1);
  for (char16_t& c : *wide)
    if (c == u'/') c = u'\\';
  std::u16string out;
  out.push_back(static_cast<char16_t>(best->first));
  out += u":\\";
  return out + *wide;
}

const DriveMap& Drives() {
  std::lock_guard lock(DrivesMutex());
  DriveMap*& instance = DrivesInstance();
  if (!instance) {
    instance = new DriveMap();  // lives until the process ends
    if (const char* text = std::getenv("QUARRY_DRIVES")) instance->AddFromText(text);
  }
  return *instance;
}

void SetDrivesForTesting(const DriveMap& map) {
  std::lock_guard lock(DrivesMutex());
  DriveMap*& instance = DrivesInstance();
  delete instance;
  instance = new DriveMap(map);
}

std::string PosixPath(std::u16string_view drivePath) {
  return Drives().ToPosix(drivePath).value_or(std::string());
}

std::optional<std::u16string> DrivePath(std::string_view posixPath) {
  return Drives().ToDrive(posixPath);
}

}  // namespace platform
