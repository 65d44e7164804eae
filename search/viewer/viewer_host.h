#pragma once
// What the viewer asks of the window that holds it: the memo laid over the viewer, which
// gets a copy of every drawn text line decoded by the kind of the shown document, the
// window's quiet and document-kind flags, and its search box. The search window
// implements it; without a host the viewer only draws.
#include <cstdint>
#include <string>

#include "search/engine/viewer_layout.h"

namespace search {

class TViewerHost {
 public:
  virtual ~TViewerHost() = default;

  // Set while the window drives the hidden viewer: nothing is drawn or mirrored then.
  virtual bool QuietFlag() const = 0;
  // The kind of the shown document; the memo gets each line decoded by it.
  virtual TViewerDocKind DocKind() const = 0;

  virtual void ClearMemo() = 0;
  // One mirrored line, already decoded; the window sets its MemoFilled flag and keeps the
  // memo as high as the viewer.
  virtual void AppendMemoLine(const std::u16string& line, int viewerHeight) = 0;
  // After the line modes' draw: the window drops a trailing break and starts its title timer.
  virtual void MemoDrawn() = 0;
  // The offset of the first shown line of the last line-mode draw.
  virtual void SetFirstShownOffset(int64_t offset) = 0;
  // The memo's width beside the viewer's vertical bar: withBar narrows it to leave the bar
  // free, else it covers the viewer entirely.
  virtual void FitMemoWidth(bool withBar, int viewerWidth) = 0;
  // The mouse moved over the viewer: the overlay is shown again.
  virtual void ShowMemoOverlay() = 0;
  // "Text in Suchleiste links übertragen".
  virtual void SetSearchBoxText(const std::u16string& text) = 0;
};

}  // namespace search
