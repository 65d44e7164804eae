#pragma once
// Small services of the viewer family beside the encoding table: file tests by wide
// (drive-form) name, byte-order-mark tests on an open file, hex text, the clipboard
// copies and the viewer's message boxes.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "platform/messagebox.h"
#include "search/engine/viewer_encoding.h"

namespace search {

// Texts of the viewer family; "%s" stands for the file name.
inline constexpr char16_t kMsgCannotOpenFile[] = u"Cannot open file: \"%s\"";
inline constexpr char16_t kMsgCannotReadFile[] = u"Cannot read file: \"%s\"";
inline constexpr char16_t kMsgCannotReadStream[] = u"Cannot read stream";
inline constexpr char16_t kMsgCannotCopyToClipboard[] = u"Cannot copy data to Clipboard";
// Plain text substitution of the first "%s" (no format routine: a "%" in a name stays).
std::u16string SubstituteFileName(std::u16string_view message, std::u16string_view fileName);

// Whether the name exists, and whether it is a folder.
bool FileExistsInfo(const std::u16string& fileName, bool& isDirectory);
bool FileExistsNotDirectory(const std::u16string& fileName);
// Opened for reading; an invalid file on failure.
platform::NativeFile OpenFileShared(const std::u16string& fileName);
// -1 when the size cannot be read.
int64_t FileSizeOfHandle(const platform::NativeFile& file);
// The first two bytes are FF FE or FE FF / the first three EF BB BF (read at offset 0).
bool IsFileUnicode(const platform::NativeFile& file);
bool IsFileUTF8(const platform::NativeFile& file);

// "41 42 43" for "ABC".
std::string StrToHexBytes(std::string_view bytes);

bool CopyToClipboardW(const std::u16string& text, bool open);
bool CopyToClipboardEncoded(std::string_view text, TViewerEncoding encoding);
bool CopyWideTextToClipboard(const std::u16string& text);

// Message boxes of the viewer family. Switched off, they answer "cancel" unseen; this
// system never switches them off.
inline bool MessageBoxesEnabled = true;
inline constexpr uint32_t kMbSetForeground = 0x10000;
platform::MsgResult MsgBox(const std::u16string& text, const std::u16string& caption, uint32_t flags);
void MsgError(const std::u16string& text);

// While one lives, the viewer's error boxes of this thread are counted, not shown: a
// worker thread may show no box, and leaves a file that had an error to the calling
// thread, where the same work shows them.
class ViewerErrorsHeld {
 public:
  explicit ViewerErrorsHeld(bool hold = true);
  ~ViewerErrorsHeld();
  ViewerErrorsHeld(const ViewerErrorsHeld&) = delete;
  ViewerErrorsHeld& operator=(const ViewerErrorsHeld&) = delete;
  bool Any() const { return count_ > 0; }

 private:
  int count_ = 0;
  int* outer_ = nullptr;
  bool hold_;
};

}  // namespace search
