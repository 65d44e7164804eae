#include "search/engine/viewer_services.h"

#include <unistd.h>

#include "platform/clipboard.h"
#include "platform/codepage.h"
#include "platform/drives.h"

namespace search {

std::u16string SubstituteFileName(std::u16string_view message, std::u16string_view fileName) {
  std::u16string out(message);
  const size_t at = out.find(u"%s");
  if (at != std::u16string::npos) out.replace(at, 2, fileName);
  return out;
}

bool FileExistsInfo(const std::u16string& fileName, bool& isDirectory) {
  isDirectory = false;
  auto st = platform::Stat(platform::PosixPath(fileName));
  if (!st) return false;
  isDirectory = st->isDirectory;
  return true;
}

bool FileExistsNotDirectory(const std::u16string& fileName) {
  bool isDirectory = false;
  return FileExistsInfo(fileName, isDirectory) && !isDirectory;
}

platform::NativeFile OpenFileShared(const std::u16string& fileName) {
  const std::string path = platform::PosixPath(fileName);
  auto st = platform::Stat(path);
  if (st && st->isDirectory) return platform::NativeFile();  // folders are no files to read
  return platform::NativeFile::Open(path, platform::FileAccess::Read);
}

int64_t FileSizeOfHandle(const platform::NativeFile& file) { return file.Valid() ? file.Size() : -1; }

namespace {
bool StartsWith(const platform::NativeFile& file, std::string_view mark) {
  if (!file.Valid()) return false;
  char buffer[4] = {};
  const ssize_t n = ::pread(file.Fd(), buffer, mark.size(), 0);
  return n == static_cast<ssize_t>(mark.size()) && std::string_view(buffer, mark.size()) == mark;
}
}  // namespace

bool IsFileUnicode(const platform::NativeFile& file) {
  return StartsWith(file, "\xFF\xFE") || StartsWith(file, "\xFE\xFF");
}

bool IsFileUTF8(const platform::NativeFile& file) { return StartsWith(file, "\xEF\xBB\xBF"); }

std::string StrToHexBytes(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (unsigned char b : bytes) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

bool CopyToClipboardW(const std::u16string& text, bool open) {
  if (text.empty()) return true;
  platform::Clipboard& clipboard = platform::TheClipboard();
  if (open) {
    if (!clipboard.Open()) return false;
    if (!clipboard.Empty()) {
      clipboard.Close();
      return false;
    }
  }
  clipboard.SetUnicodeText(text);
  if (open) clipboard.Close();
  return true;
}

bool CopyToClipboardEncoded(std::string_view text, TViewerEncoding encoding) {
  if (text.empty()) return true;
  platform::Clipboard& clipboard = platform::TheClipboard();
  if (!clipboard.Open()) return false;
  if (!clipboard.Empty()) {
    clipboard.Close();
    return false;
  }
  if (encoding == vEncANSI) {
    clipboard.SetBytes(platform::ClipFormat::Text, std::string(text));
  } else if (encoding == vEncOEM) {
    clipboard.SetBytes(platform::ClipFormat::OemText, std::string(text));
  } else {
    clipboard.SetBytes(platform::ClipFormat::Text, platform::WideToAnsi(CodepageStringToWide(text, encoding)));
  }
  clipboard.SetUnicodeText(CodepageStringToWide(text, encoding));
  clipboard.Close();
  return true;
}

bool CopyWideTextToClipboard(const std::u16string& text) { return CopyToClipboardW(text, true); }

platform::MsgResult MsgBox(const std::u16string& text, const std::u16string& caption, uint32_t flags) {
  if (!MessageBoxesEnabled) return platform::MsgResult::Cancel;
  return platform::ShowMessageBox(text, caption, flags | kMbSetForeground);
}

namespace {
thread_local int* heldErrors = nullptr;
}  // namespace

ViewerErrorsHeld::ViewerErrorsHeld(bool hold) : hold_(hold) {
  if (!hold_) return;
  outer_ = heldErrors;
  heldErrors = &count_;
}

ViewerErrorsHeld::~ViewerErrorsHeld() {
  if (hold_) heldErrors = outer_;
}

void MsgError(const std::u16string& text) {
  if (heldErrors) {
    ++*heldErrors;
    return;
  }
  MsgBox(text, u"Viewer", platform::mb::IconError);
}

}  // namespace search
