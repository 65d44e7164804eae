#pragma once
// The Lines of memos and rich edits, written once over the operations of the control that
// holds the text (TMemoControl), and that control without a window (TMemoBuffer): the
// indexer's log, the result-page buffer and the extractor's text buffer keep their lines
// there, and the visible widgets implement the same operations over their documents.
// Lines behave as the class library's memo lines do (an empty last line is not counted,
// appending to a text without a final break adds CR LF first), and callers always see
// CR LF, also in rich-edit mode, whose text keeps CR alone between paragraphs.
// There is no line-length limit: one very long line never stops a run.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "textlib/io/unistrings.h"
#include "textlib/wide/widestr.h"

namespace textlib {

// The operations of the control that holds a memo's text, in the control's own line-break
// form (CR LF for a memo, CR for a rich edit) and character positions. The Lines adapters
// work only through them, so the headless buffer and the visible widgets share one set of
// Lines rules.
class TMemoControl {
 public:
  // What the rich edit's Lines keep quiet while they set a whole text or add a list.
  enum class TNotification { Change, SelectionChange };

  TMemoControl() = default;
  virtual ~TMemoControl() = default;
  TMemoControl(const TMemoControl&) = delete;
  TMemoControl& operator=(const TMemoControl&) = delete;

  virtual std::u16string ControlText() const = 0;
  virtual void SetControlText(std::u16string_view text) = 0;
  virtual int ControlLineCount() const = 0;
  // A line of the control without its break; empty past the last line.
  virtual std::u16string ControlLine(int line) const = 0;
  // Position of the first character of a line; -1 past the last line.
  virtual int64_t LineIndex(int line) const = 0;
  // Length of the line holding a position, without its break.
  virtual int64_t LineLength(int64_t position) const = 0;
  virtual int64_t TextLength() const = 0;
  // Replaces [start, end) by text; false (and nothing changed) when the maximum length
  // would be passed and enforceLimit is set.
  virtual bool Replace(int64_t start, int64_t end, std::u16string_view text, bool enforceLimit = false) = 0;
  virtual bool IsRichEdit() const = 0;
  // 0: no limit.
  virtual int64_t MaxLength() const = 0;

  // Calls pair up (true, then false); a control without such notifications ignores them.
  virtual void SuspendNotification(TNotification /*which*/, bool /*suspended*/) {}
  // Lines.BeginUpdate/EndUpdate: a visible control may stop redrawing meanwhile.
  virtual void SetUpdateState(bool /*updating*/) {}
};

// The Lines of a memo.
class TUniMemoStrings : public TUniStrings {
 public:
  TUniMemoStrings(TMemoControl& memo, bool richEditMode, TTextLineBreakStyle style);

  std::u16string Get(int index) const override;
  int GetCount() const override;
  std::u16string GetTextStr() const override;
  void Put(int index, const std::u16string& s) override;
  // Sets the text only when it differs from what the memo holds.
  void SetTextStr(std::u16string_view text) override;
  void SetUpdateState(bool updating) override;
  void Clear() override;
  void Delete(int index) override;
  // Raises EOutOfResources "Zeile kann nicht eingefügt werden" when the memo refuses
  // the text (its maximum length); the memo is then unchanged.
  void Insert(int index, const std::u16string& s) override;

  bool RichEditMode() const { return richEditMode_; }
  TTextLineBreakStyle LineBreakStyle() const { return style_; }

 protected:
  TMemoControl& memo_;

 private:
  bool richEditMode_;
  TTextLineBreakStyle style_;
};

// The Lines of a rich edit. Setting the whole text raises no change notification and
// adding a list raises no selection-change notification. These rich edits hold plain
// text only, so loading and saving are the wide list file forms of TUniStrings.
class TUniRichEditStrings : public TUniMemoStrings {
 public:
  TUniRichEditStrings(TMemoControl& memo, TTextLineBreakStyle style)
      : TUniMemoStrings(memo, true, style) {}

  void SetTextStr(std::u16string_view text) override;
  void AddStrings(const TUniStrings& strings) override;
};

class TMemoBuffer : public TMemoControl {
 public:
  enum class Kind { Memo, RichEdit };
  explicit TMemoBuffer(Kind kind = Kind::Memo);

  TUniMemoStrings& Lines() { return *adapter_; }
  const TUniMemoStrings& Lines() const { return *adapter_; }

  // The wide text as callers see it (CR LF breaks).
  std::u16string Text() const;
  void SetText(std::u16string_view text);
  // 0: no limit. Inserting past it is refused.
  int64_t MaxLength() const override { return maxLength_; }
  void SetMaxLength(int64_t value) { maxLength_ = value; }
  bool IsRichEdit() const override { return kind_ == Kind::RichEdit; }
  // Bumped by every change of the text; lets a view know when to redraw.
  uint64_t ChangeCount() const { return changes_; }

  // The control's operations (TMemoControl).
  std::u16string ControlText() const override;
  void SetControlText(std::u16string_view text) override;
  int ControlLineCount() const override { return static_cast<int>(lines_.size()); }
  std::u16string ControlLine(int line) const override;
  int64_t LineIndex(int line) const override;
  int64_t LineLength(int64_t position) const override;
  int64_t TextLength() const override { return length_; }
  bool Replace(int64_t start, int64_t end, std::u16string_view text, bool enforceLimit = false) override;

 private:
  struct Place {
    size_t line;
    size_t offset;
  };
  Place Locate(int64_t position) const;
  size_t BreakLength() const { return kind_ == Kind::RichEdit ? 1 : 2; }
  std::vector<std::u16string> Split(std::u16string_view text) const;

  Kind kind_;
  std::vector<std::u16string> lines_{std::u16string()};
  int64_t length_ = 0;  // including the breaks
  int64_t maxLength_ = 0;
  uint64_t changes_ = 0;
  std::unique_ptr<TUniMemoStrings> adapter_;
};

}  // namespace textlib
