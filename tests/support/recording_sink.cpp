#include "tests/support/recording_sink.h"

namespace testsupport {

platform::MsgResult RecordingSink::Show(const std::u16string& text, const std::u16string& caption,
                                        uint32_t flags) {
  boxes_.push_back({text, caption, flags});
  if (answers_.empty()) return platform::DefaultAnswer(flags);
  platform::MsgResult r = answers_.front();
  answers_.pop_front();
  return r;
}

ScopedRecordingSink::ScopedRecordingSink()
    : sink_(std::make_shared<RecordingSink>()), previous_(platform::SetMessageBoxSink(sink_)) {}

ScopedRecordingSink::~ScopedRecordingSink() { platform::SetMessageBoxSink(previous_); }

}  // namespace testsupport
