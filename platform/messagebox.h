#pragma once
// Every message box of the programs goes through one process-wide sink. The GUI installs
// a sink that shows a dialog; tests install one that records and answers from a script.
// Without a sink nothing is shown and the default button's answer is returned.
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Buttons and icons, combined as flags (the values of the Windows constants).
namespace mb {
inline constexpr uint32_t Ok = 0x0, OkCancel = 0x1, YesNoCancel = 0x3, YesNo = 0x4;
inline constexpr uint32_t IconError = 0x10, IconQuestion = 0x20, IconWarning = 0x30,
                          IconInformation = 0x40;
inline constexpr uint32_t DefButton2 = 0x100, DefButton3 = 0x200;
}  // namespace mb

// Answers.
enum class MsgResult : int { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

class MessageBoxSink {
 public:
  virtual ~MessageBoxSink() = default;
  virtual MsgResult Show(const std::u16string& text, const std::u16string& caption,
                         uint32_t flags) = 0;
};

// Returns the previous sink. Passing nullptr removes the sink.
std::shared_ptr<MessageBoxSink> SetMessageBoxSink(std::shared_ptr<MessageBoxSink> sink);
MsgResult ShowMessageBox(const std::u16string& text, const std::u16string& caption,
                         uint32_t flags = mb::Ok);
// The answer of the default button of a flag combination.
MsgResult DefaultAnswer(uint32_t flags);

}  // namespace platform
