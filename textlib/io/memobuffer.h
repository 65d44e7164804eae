#pragma once
// The text of a memo or rich edit without a window: the indexer's log, the result-page
// buffer and the extractor's text buffer keep their lines here, and the visible widgets
// show it. Lines behave as the class library's memo lines do (an empty last line is not
// counted, appending to a text without a final break adds CR LF first), and callers
// always see CR LF, also in rich-edit mode, whose text keeps CR alone between paragraphs.
// There is no line-length limit: one very long line never stops a run.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "textlib/io/unistrings.h"
#include "textlib/wide/widestr.h"

namespace textlib {

class TMemoBuffer;

// The Lines of a memo.
class TUniMemoStrings : public TUniStrings {
 public:
  TUniMemoStrings(TMemoBuffer& memo, bool richEditMode, TTextLineBreakStyle style);

  std::u16string Get(int index) const override;
  int GetCount() const override;
  std::u16string GetTextStr() const override;
  void Put(int index, const std::u16string& s) override;
  // Sets the text only when it differs from what the memo holds.
  void SetTextStr(std::u16string_view text) override;
  void Clear() override;
  void Delete(int index) override;
  // Raises EOutOfResources "Zeile kann nicht eingefügt werden" when the memo refuses
  // the text (its maximum length); the memo is then unchanged.
  void Insert(int index, const std::u16string& s) override;

  bool RichEditMode() const { return richEditMode_; }
  TTextLineBreakStyle LineBreakStyle() const { return style_; }

 protected:
  TMemoBuffer& memo_;

 private:
  bool richEditMode_;
  TTextLineBreakStyle style_;
};

// The Lines of a rich edit; loading and saving use the wide list file format.
class TUniRichEditStrings : public TUniMemoStrings {
 public:
  TUniRichEditStrings(TMemoBuffer& memo, TTextLineBreakStyle style)
      : TUniMemoStrings(memo, true, style) {}
};

class TMemoBuffer {
 public:
  enum class Kind { Memo, RichEdit };
  explicit TMemoBuffer(Kind kind = Kind::Memo);
  TMemoBuffer(const TMemoBuffer&) = delete;
  TMemoBuffer& operator=(const TMemoBuffer&) = delete;

  TUniMemoStrings& Lines() { return *adapter_; }
  const TUniMemoStrings& Lines() const { return *adapter_; }

  // The wide text as callers see it (CR LF breaks).
  std::u16string Text() const;
  void SetText(std::u16string_view text);
  // 0: no limit. Inserting past it is refused.
  int64_t MaxLength() const { return maxLength_; }
  void SetMaxLength(int64_t value) { maxLength_ = value; }
  bool IsRichEdit() const { return kind_ == Kind::RichEdit; }
  // Bumped by every change of the text; lets a view know when to redraw.
  uint64_t ChangeCount() const { return changes_; }

  // The control's own operations, in its own line-break form (CR LF for a memo, CR for
  // a rich edit) and character positions.
  std::u16string ControlText() const;
  void SetControlText(std::u16string_view text);
  int ControlLineCount() const { return static_cast<int>(lines_.size()); }
  // A line of the control without its break; empty past the last line.
  std::u16string ControlLine(int line) const;
  // Position of the first character of a line; -1 past the last line.
  int64_t LineIndex(int line) const;
  // Length of the line holding a position, without its break.
  int64_t LineLength(int64_t position) const;
  int64_t TextLength() const { return length_; }
  // Replaces [start, end) by text; false (and nothing changed) when the maximum length
  // would be passed and enforceLimit is set.
  bool Replace(int64_t start, int64_t end, std::u16string_view text, bool enforceLimit = false);

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
