#include "platform/settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

#include "platform/escaped_text.h"
#include "platform/file.h"

namespace platform {
namespace {

constexpr std::string_view kNameReserved = "[]=;#";

struct Section {
  std::u16string key;
  std::vector<SettingsStore::NamedValue> values;
};

std::u16string NormalizeKey(std::u16string_view key) {
  std::u16string out;
  size_t i = 0;
  while (i < key.size()) {
    while (i < key.size() && key[i] == u'\\') ++i;
    size_t end = i;
    while (end < key.size() && key[end] != u'\\') ++end;
    if (end > i) {
      if (!out.empty()) out += u'\\';
      out.append(key.substr(i, end - i));
    }
    i = end;
  }
  return out;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  return a == b || FoldCase(a) == FoldCase(b);
}

std::vector<Section> Parse(std::string_view text) {
  std::vector<Section> sections;
  Section* current = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      if (close == std::string_view::npos) {
        current = nullptr;
        continue;
      }
      const std::u16string key = NormalizeKey(UnescapeLine(line.substr(1, close - 1)));
      current = nullptr;
      for (auto& s : sections)
        if (SameName(s.key, key)) current = &s;
      if (!current) current = &sections.emplace_back(Section{key, {}});
      continue;
    }
    const size_t eq = line.find('=');
    if (!current || eq == std::string_view::npos) continue;
    std::u16string name = UnescapeLine(line.substr(0, eq));
    std::u16string value = UnescapeLine(line.substr(eq + 1));
    bool replaced = false;
    for (auto& v : current->values) {
      if (SameName(v.first, name)) {
        v.second = std::move(value);
        replaced = true;
        break;
      }
    }
    if (!replaced) current->values.emplace_back(std::move(name), std::move(value));
  }
  return sections;
}

std::string Serialize(const std::vector<Section>& sections) {
  std::string out = "; Quarry-HTML settings. \"%\" + two hex digits stands for a reserved character.\n";
  for (const auto& s : sections) {
    out += "\n[" + EscapeLine(s.key, kNameReserved) + "]\n";
    for (const auto& [name, value] : s.values)
      out += EscapeLine(name, kNameReserved) + "=" + EscapeLine(value) + "\n";
  }
  return out;
}

// nullopt: the file exists but cannot be read (a rewrite would lose its contents).
std::optional<std::vector<Section>> Load(const std::string& path) {
  auto bytes = ReadWholeFile(path);
  if (!bytes) {
    if (LastError() == ENOENT) return std::vector<Section>{};
    return std::nullopt;
  }
  return Parse(*bytes);
}

const Section* FindSection(const std::vector<Section>& sections, std::u16string_view key) {
  const std::u16string normalized = NormalizeKey(key);
  for (const auto& s : sections)
    if (SameName(s.key, normalized)) return &s;
  return nullptr;
}

std::optional<SettingsFailure> Failure(std::string file) {
  return SettingsFailure{std::move(file), LastError()};
}

std::optional<SettingsFailure> MakeParents(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      SetLastError(errno);
      return Failure(folder);
    }
  }
  return std::nullopt;
}

// The file a symbolic link at `path` leads to, through any chain of links, even when
// that file does not exist yet; `path` itself when it is no link.
std::optional<std::string> FollowLinks(std::string path) {
  constexpr int kMaxLinks = 40;  // as the kernel's own limit
  for (int i = 0; i < kMaxLinks; ++i) {
    const auto st = Stat(path, false);
    if (!st || !st->isSymlink) return path;
    std::string target(static_cast<size_t>(st->size > 0 ? st->size : 255) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size()) {
      SetLastError(n < 0 ? errno : ENAMETOOLONG);
      return std::nullopt;
    }
    target.resize(static_cast<size_t>(n));
    if (target.empty()) {
      SetLastError(ENOENT);
      return std::nullopt;
    }
    const size_t slash = path.rfind('/');
    path = target[0] == '/' || slash == std::string::npos ? target : path.substr(0, slash + 1) + target;
  }
  SetLastError(ELOOP);
  return std::nullopt;
}

// Read, change and rewrite under an exclusive lock on a sibling file (the settings file
// itself is replaced by each write, so it cannot carry the lock). nullopt: saved, or
// nothing to change.
std::optional<SettingsFailure> Modify(const std::string& path,
                                      const std::function<bool(std::vector<Section>&)>& change) {
  if (auto failure = MakeParents(path)) return failure;
  const std::string lockPath = path + ".lock";
  const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock < 0) {
    SetLastError(errno);
    return Failure(lockPath);
  }
  while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
  }
  std::optional<SettingsFailure> failure;
  if (auto sections = Load(path)) {
    if (change(*sections)) {
      const auto target = FollowLinks(path);
      if (!target) failure = Failure(path);
      else if (!WriteFileAtomically(*target, Serialize(*sections))) failure = Failure(*target);
    }
  } else {
    failure = Failure(path);
  }
  const int saved = LastError();
  ::close(lock);  // releases the lock
  SetLastError(saved);
  return failure;
}

}  // namespace

std::string SettingsFailure::Text() const { return file + ": " + SystemErrorText(error); }

std::string SettingsFilePath() {
  if (const char* explicitPath = std::getenv("QUARRY_SETTINGS"); explicitPath && *explicitPath)
    return explicitPath;
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
    config = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      const passwd* pw = ::getpwuid(::getuid());
      home = pw && pw->pw_dir ? pw->pw_dir : "/tmp";
    }
    config = std::string(home) + "/.config";
  }
  return config + "/Tolvane/Quarry-HTML/registry.ini";
}

std::optional<std::u16string> SettingsStore::Read(std::u16string_view key,
                                                  std::u16string_view name) const {
  auto sections = Load(path_);
  if (!sections) return std::nullopt;
  if (const Section* s = FindSection(*sections, key))
    for (const auto& v : s->values)
      if (SameName(v.first, name)) return v.second;
  return std::nullopt;
}

bool SettingsStore::KeyExists(std::u16string_view key) const {
  auto sections = Load(path_);
  return sections && FindSection(*sections, key);
}

std::vector<std::u16string> SettingsStore::ValueNames(std::u16string_view key) const {
  std::vector<std::u16string> names;
  if (auto sections = Load(path_))
    if (const Section* s = FindSection(*sections, key))
      for (const auto& v : s->values) names.push_back(v.first);
  return names;
}

bool SettingsStore::Write(std::u16string_view key, std::u16string_view name,
                          std::u16string_view value) {
  return Write(key, {NamedValue(std::u16string(name), std::u16string(value))});
}

bool SettingsStore::Write(std::u16string_view key, const std::vector<NamedValue>& values) {
  lastFailure_ = Modify(path_, [&](std::vector<Section>& sections) {
    Section* section = const_cast<Section*>(FindSection(sections, key));
    if (!section) section = &sections.emplace_back(Section{NormalizeKey(key), {}});
    for (const auto& [name, value] : values) {
      bool replaced = false;
      for (auto& v : section->values) {
        if (SameName(v.first, name)) {
          v.second = value;
          replaced = true;
          break;
        }
      }
      if (!replaced) section->values.emplace_back(name, value);
    }
    return true;
  });
  return !lastFailure_;
}

bool SettingsStore::Delete(std::u16string_view key, std::u16string_view name) {
  bool found = false;
  lastFailure_ = Modify(path_, [&](std::vector<Section>& sections) {
    Section* section = const_cast<Section*>(FindSection(sections, key));
    if (!section) return false;
    for (auto it = section->values.begin(); it != section->values.end(); ++it) {
      if (SameName(it->first, name)) {
        section->values.erase(it);
        found = true;
        return true;
      }
    }
    return false;
  });
  return found && !lastFailure_;
}

}  // namespace platform
