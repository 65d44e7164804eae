#pragma once
// The settings window: browser, colours, viewer font and the two check boxes.
#include <QColor>
#include <QDialog>
#include <QPixmap>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/settings/program_state.h"
#include "widgets/palette.h"

namespace search {
class TSuchForm;
}
namespace Ui {
class TEinstellform;
}  // namespace Ui

class QLabel;

namespace app {

// What the settings window changes in the program's other windows. The program's
// implementation (ProgramWindows) works on the real windows; tests record the calls.
class EinstellHost {
 public:
  virtual ~EinstellHost() = default;
  // The window colour of the main window, its Panel1 (Image1 then transparent), the search
  // window (Panel2 too; its side panels and tool bar take the main window's colour) and
  // the new-database dialog.
  virtual void SetWindowColor(const QColor& color) = 0;
  // The font colour of the controls the first paint colours in those windows.
  virtual void SetHintColor(const QColor& color) = 0;
  // The main window gets the size and is centred on the screen.
  virtual void SetMainWindowSize(int width, int height) = 0;
  virtual void SetSearchWindowSize(int width, int height) = 0;
  // The main window's width grows by one and shrinks again, so it lays itself out anew.
  virtual void RelayoutMainWindow() = 0;
  virtual bool SearchWindowVisible() const = 0;
  // Font size of the search window's viewer and memo overlay.
  virtual int ViewerFontSize() const = 0;
  virtual void SetViewerFontSize(int pointSize) = 0;
  // The short hint at the mouse cursor in the search window's viewer.
  virtual void SetViewerHintsShown(bool on) = 0;
};

class TMainForm_QY_HTML;
class TOKBottomDlg;
using search::TSuchForm;

// The settings window "Einstellungen": colours, the viewer font, two search options and
// the browser of the result pages. Every change is written at once; a write that fails is
// reported as the settings layer words it.
class TEinstellform : public QDialog {
  Q_OBJECT
 public:
  // The browser pictures in the order of the window (and of the current-browser match).
  enum class Browser { Standard, InternetExplorer, Edge, Chrome, Opera, Safari, Firefox };
  static constexpr int kBrowserCount = 7;

  // Looks the browsers up at once (program start), as the window shows them.
  TEinstellform(ProgramState& state, QWidget* parent = nullptr);
  ~TEinstellform() override;

  // The program's windows that the settings reach; without them only this window and the
  // settings change.
  void SetWindows(TMainForm_QY_HTML* main, TOKBottomDlg* dialog, TSuchForm* search);
  void SetHost(EinstellHost* host) { host_ = host; }

  // The window colour chosen in ColorDialog1: the colour, or nothing when the dialog was
  // cancelled. A Qt colour dialog by default; tests script it so nothing blocks.
  std::function<std::optional<QColor>(const QColor& initial)> ColorDialog1;
  // Shows the search window's controls for building the sorted lists (after the user said
  // yes to "Sortierte Listen erstellen"); the search window sets it.
  std::function<void()> ShowSortControls;

  // Set by the main window's first paint.
  void SetBackgroundColor(const QColor& color);
  // Font colour of the check boxes and Label1..Label5.
  void SetHintColor(const QColor& color);
  void SetCopySearchText(bool on);
  bool CopySearchText() const;
  void SetShortHintInViewer(bool on);
  bool ShortHintInViewer() const;

  // A window colour was chosen in this program run.
  bool ColorChanged() const { return colorChanged_; }

  // Browser pictures. The key a picture writes ("standard", "internet explorer", "edge",
  // "chrome", "opera", "safari", "firefox"), its hint, and whether it can be chosen (its
  // hint is not empty).
  static std::u16string_view BrowserKey(Browser b);
  static std::u16string_view BrowserHint(Browser b);
  bool BrowserSelectable(Browser b) const;
  QLabel* BrowserImage(Browser b) const;
  QLabel* CurrentBrowserImage() const;
  // The picture each browser is shown with, and the placeholder of one not installed.
  static QPixmap BrowserPicture(Browser b);
  static QPixmap PlaceholderPicture();
  // The browsers that can exist on this platform and the programs, looked up on PATH,
  // whose presence shows them: Internet Explorer and Safari never do.
  static std::vector<std::string> BrowserPrograms(Browser b);
  // Whether a program is installed; PATH look-up by default.
  static bool ProgramOnPath(const std::string& name);

  // Shows the installed browsers' pictures and marks the current choice.
  void PruefeWelcheBrowserInstalliert();
  // A click on a browser picture: nothing for a placeholder; otherwise it becomes the
  // current picture and `Browser` is written.
  void BrowserImageClick(Browser b);

  // Handlers.
  void FarbenAendernButtonClick();
  void HinweistexteFarbenAendernButtonClick();
  void Button1Click();  // "Standard wieder herstellen"
  void SpeedButton1Click();  // viewer font larger
  void SpeedButton2Click();  // viewer font smaller
  void SortierungAnzeigenBitBtnClick();
  void OkButtonClick();
  void AbbruchButtonClick();
  // Enables the sort and font buttons exactly when the search window is visible.
  void FormPaint();

  Ui::TEinstellform& Form() { return *ui; }

 public slots:
  // Closing without OK: the check boxes show again what is stored.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyWindowColor(const QColor& color);
  void ApplyHintColor(const QColor& color);
  // Writes the values in one rewrite; a failure is shown.
  void Write(const std::vector<std::pair<std::u16string_view, std::u16string>>& values);

  ProgramState& state_;
  std::unique_ptr<Ui::TEinstellform> ui;
  std::unique_ptr<EinstellHost> ownHost_;
  EinstellHost* host_ = nullptr;
  std::array<bool, kBrowserCount> selectable_{};
  bool colorChanged_ = false;
  // The window colour when this opening's first colour was chosen, so Cancel returns to it.
  std::optional<std::string> colorBeforeChoice_;
  bool copySearchTextShown_ = true, shortHintShown_ = true;  // as stored when opened
};

using widgets::SetWidgetBackground;
using widgets::SetWidgetTextColor;

}  // namespace app
