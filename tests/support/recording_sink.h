#pragma once
// A message-box sink for tests: records every box and answers from a script, so no test
// ever waits on a dialog.
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/messagebox.h"

namespace testsupport {

class RecordingSink : public platform::MessageBoxSink {
 public:
  struct Box {
    std::u16string text, caption;
    uint32_t flags;
  };
  platform::MsgResult Show(const std::u16string& text, const std::u16string& caption,
                           uint32_t flags) override;
  void Answer(platform::MsgResult result) { answers_.push_back(result); }
  const std::vector<Box>& Boxes() const { return boxes_; }
  void Clear() { boxes_.clear(); }

 private:
  std::vector<Box> boxes_;
  std::deque<platform::MsgResult> answers_;
};

// Installs a recording sink for the scope's lifetime.
class ScopedRecordingSink {
 public:
  ScopedRecordingSink();
  ~ScopedRecordingSink();
  RecordingSink& operator*() { return *sink_; }
  RecordingSink* operator->() { return sink_.get(); }

 private:
  std::shared_ptr<RecordingSink> sink_;
  std::shared_ptr<platform::MessageBoxSink> previous_;
};

}  // namespace testsupport
