#include "platform/job_chain.h"

#include <fcntl.h>

#include <cstdlib>

#include "platform/codepage.h"

namespace platform::chain {
namespace {

std::optional<int64_t> Number(std::string_view text) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  return std::strtoll(std::string(text).c_str(), nullptr, 10);
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  while (true) {
    const size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

}  // namespace

std::u16string JobFolder(std::u16string_view dbFolder, std::u16string_view dbName) {
  std::u16string folder(dbFolder);
  if (folder.empty() || folder.back() != u'\\') folder += u'\\';
  return folder + u"Temp\\" + std::u16string(kJobsFolderName) + u"\\" + std::u16string(dbName) + u"\\";
}

std::u16string ResultFile(std::u16string_view tempFolder, std::u16string_view dbName) {
  return std::u16string(tempFolder) + std::u16string(dbName) + u"_Ergebnis.txt";
}
std::u16string CancelFile(std::u16string_view tempFolder, std::u16string_view dbName) {
  return std::u16string(tempFolder) + std::u16string(dbName) + u"_Abbruch.txt";
}
std::u16string LockFile(std::u16string_view tempFolder, std::u16string_view dbName) {
  return std::u16string(tempFolder) + std::u16string(dbName) + u"_Kette.lock";
}

std::string ResultBytes(const Result& result) {
  const char* word = result.outcome == Outcome::Finished    ? "Fertig"
                     : result.outcome == Outcome::Cancelled ? "Abgebrochen"
                                                            : "Fehler";
  return std::string(word) + "\r\n" + WideToPosixUtf8(result.text);
}

std::optional<Result> ParseResult(std::string_view bytes) {
  const size_t end = bytes.find("\r\n");
  const std::string_view word = bytes.substr(0, end);
  Result result;
  if (word == "Fertig") {
    result.outcome = Outcome::Finished;
  } else if (word == "Abgebrochen") {
    result.outcome = Outcome::Cancelled;
  } else if (word == "Fehler") {
    result.outcome = Outcome::Failed;
  } else {
    return std::nullopt;
  }
  if (end != std::string_view::npos) result.text = PosixUtf8ToWide(bytes.substr(end + 2)).value_or(u"");
  return result;
}

std::string FormatHandle(const WindowHandle& handle) {
  return std::to_string(handle.pid) + ":" + std::to_string(handle.listener) + ":" + std::to_string(handle.window);
}

std::optional<WindowHandle> ParseHandle(std::string_view text) {
  const std::vector<std::string_view> parts = Split(text, ':');
  if (parts.size() != 3) return std::nullopt;
  const auto pid = Number(parts[0]), listener = Number(parts[1]), window = Number(parts[2]);
  if (!pid || !listener || !window || *listener > UINT32_MAX || *window > UINT32_MAX) return std::nullopt;
  WindowHandle handle{*pid, static_cast<uint32_t>(*listener), static_cast<uint32_t>(*window)};
  if (!handle) return std::nullopt;
  return handle;
}

Inheritance TakeInheritance() {
  Inheritance inherited;
  if (const char* files = std::getenv(kFilesVariable)) {
    for (const std::string_view part : Split(files, ',')) {
      const std::optional<int64_t> fd = Number(part);
      // Only a descriptor that is really open here: a variable copied into another
      // program's environment by hand must not make it close or lock anything.
      if (!fd || *fd < 3 || *fd > 1024 || ::fcntl(static_cast<int>(*fd), F_GETFD) < 0) {
        inherited.files.clear();
        break;
      }
      inherited.files.push_back(static_cast<int>(*fd));
    }
  }
  for (const int fd : inherited.files) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  if (const char* predecessor = std::getenv(kPredecessorVariable)) inherited.predecessor = ParseHandle(predecessor);
  ::unsetenv(kFilesVariable);
  ::unsetenv(kPredecessorVariable);
  return inherited;
}

std::string FilesText(size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text += (i ? "," : "") + std::to_string(3 + i);
  return text;
}

}  // namespace platform::chain
