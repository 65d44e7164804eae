#pragma once
// The clipboard as the programs use it: open, empty, put text in one or more formats,
// close. Without a GUI a process-wide in-memory clipboard stands in, so engines and tests
// behave as with a real one; the GUI installs one over the desktop's clipboard.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace platform {

enum class ClipFormat : uint32_t { Text = 1, OemText = 7, UnicodeText = 13 };

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual bool Open() = 0;  // false while another holder has it open
  virtual bool Empty() = 0;
  virtual void SetBytes(ClipFormat format, std::string bytes) = 0;
  virtual void SetUnicodeText(std::u16string text) = 0;
  virtual void Close() = 0;
};

class MemoryClipboard : public Clipboard {
 public:
  bool Open() override;
  bool Empty() override;
  void SetBytes(ClipFormat format, std::string bytes) override;
  void SetUnicodeText(std::u16string text) override;
  void Close() override { open_ = false; }

  bool busy = false;  // tests make Open fail with it
  std::map<ClipFormat, std::string> bytes;
  std::u16string unicodeText;
  bool hasUnicodeText = false;

 private:
  bool open_ = false;
};

// The process-wide clipboard (a MemoryClipboard until one is installed).
Clipboard& TheClipboard();
std::shared_ptr<Clipboard> SetClipboard(std::shared_ptr<Clipboard> clipboard);

}  // namespace platform
