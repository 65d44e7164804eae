#pragma once
// The search window. This holds its frame and what the main window asks of it (fonts,
// colours, size, the suggestion list); the search run, browsing and the web panel are
// its own handlers and come with them.
#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "app/forms/program_state.h"

namespace Ui {
class TSuchForm;
}

namespace app {

class TSuchForm : public QDialog {
  Q_OBJECT
 public:
  TSuchForm(ProgramState& state, QWidget* parent = nullptr);
  ~TSuchForm() override;

  // Font size of the viewer and of its memo overlay.
  void SetViewerFontSize(int pointSize);
  int ViewerFontSize() const;
  // The panels and the tool bar take the main window's colour; the window and Panel2
  // the stored colour.
  void SetPanelColor(const QColor& color);
  void SetBackgroundColor(const QColor& color);
  void SetHintColor(const QColor& color);
  void SetMemoHintsShown(bool on);
  bool MemoHintsShown() const { return memoHints_; }
  // The last size event was a minimise: the main window then keeps the stored size.
  bool SearchWindowMinimized() const { return searchWindowMinimized_; }
  // Replaces the suggestion list by a history file (wide list, byte-order mark sniffed);
  // a missing or unreadable file leaves the list empty.
  void LoadSuggestions(std::u16string_view fileName);
  int SuggestionCount() const;

  // What the main window's list and hand-off need of this window.
  // Closes the viewer's document and empties the memo overlay.
  void CloseViewerDocument();
  // Label8 and Label2 emptied, "Sortierte Liste" disabled.
  void ResetBrowsingView();
  void ClearSuggestions();
  void SetSuggestionsColor(const QColor& color);
  void HideSuggestions();
  std::vector<std::u16string> Suggestions() const;
  void SetSuggestions(const std::vector<std::u16string>& lines);
  std::u16string SearchText() const;  // UniEdit2
  void SetSearchText(std::u16string_view text);
  void ClearInDocumentSearch();  // UniEdit1
  std::u16string PositionCaption() const;  // Label8
  void SetPositionCaption(std::u16string_view text);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  ProgramState& state_;
  std::unique_ptr<Ui::TSuchForm> ui;
  bool memoHints_ = true;
  bool searchWindowMinimized_ = false;
};

}  // namespace app
