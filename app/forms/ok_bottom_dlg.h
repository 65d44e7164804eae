#pragma once
// The new-database dialog and the notice that asks whether a drive's existing master
// file list is to be built anew. The create and update driver fills the dialog, shows it
// modally and reads its fields, HistoryName, BuildMasterList and PathListOnly.
#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/settings/program_state.h"

class QMenu;

namespace Ui {
class TOKBottomDlg;
class THinweisForm;
}  // namespace Ui

namespace app {

// The text with every "/", "\", "*", "?", double quote, "<", ">", "|", ":" and "^"
// removed, on its 8-bit form (characters outside the ANSI code page become "?" and go
// too); shows "Sie haben ungültige Zeichen eingegeben!" when something was removed.
std::u16string FilterDatabaseName(std::u16string_view text);

// The notice's text for drive X and the list's date.
std::u16string MasterListNoticeText(char16_t driveLetter, std::u16string_view date);

// The most UTF-8 bytes a database name may have in the "Datenbank\" folder `dbFolder`
// (drive form): the name plus its longest file suffix plus the longest temporary
// sibling ending must fit the file system's name limit there.
int64_t MaxDatabaseNameBytes(std::u16string_view dbFolder);

// The index-mode texts: caption of the check box and of Label7.
struct IndexModeTexts {
  std::u16string_view checkBox, label;
};
IndexModeTexts IndexModeText(bool withDatabase);

class THinweisForm : public QDialog {
  Q_OBJECT
 public:
  explicit THinweisForm(QWidget* parent = nullptr);
  ~THinweisForm() override;
  void SetNotice(std::u16string_view text);
  std::u16string Notice() const;

 private:
  std::unique_ptr<Ui::THinweisForm> ui;
};

class TOKBottomDlg : public QDialog {
  Q_OBJECT
 public:
  TOKBottomDlg(ProgramState& state, QWidget* parent = nullptr);
  ~TOKBottomDlg() override;
  // Showing ends with the name field's text unselected.
  void setVisible(bool visible) override;
  // The notice window is created after this one and asks about an existing master list.
  void SetNotice(THinweisForm* notice) { notice_ = notice; }

  Ui::TOKBottomDlg& Form() { return *ui; }

  // What the dialog needs of the main window: the database names (for the duplicate
  // check) and a pause that serves events.
  std::function<std::vector<std::u16string>()> DatabaseNames;
  std::function<void(int milliseconds)> Pause;
  // The folder browser: a chosen folder in drive form, nullopt when none was chosen.
  // Default: a Qt folder dialog.
  std::function<std::optional<std::u16string>(std::u16string_view caption, std::u16string_view root)> BrowseForFolder;

  // BrowseForFolderDialog over the default browser: a root that is a drive-form folder
  // starts there, anything else ("desktop") at the desktop.
  static std::optional<std::u16string> BrowseForFolderDialog(QWidget* owner, std::u16string_view caption,
                                                             std::u16string_view root);
  // Restores a minimised window and raises it; whether it is now the active window.
  static bool ForceWindowToFront(QWidget* window);

  std::u16string BrowseRoot;      // kept for the program's life
  std::u16string MasterListDate;  // date shown in the notice

  // The master file list of drive X below a folder.
  static std::u16string MasterListPath(std::u16string_view folder, char16_t driveLetter);

  void SetBackgroundColor(const QColor& color);
  void SetHintColor(const QColor& color);
  // The extension choices from "AuswahlEndungen.txt" (8-bit lines); sorted.
  void LoadPatternChoices(std::u16string_view fileName);
  QMenu* DateingabePopupMenu1() const { return popup_; }

  // The fields the create and update driver fills and reads.
  std::u16string NameField() const;  // Edit1
  void SetNameField(std::u16string_view text);
  std::u16string FolderField() const;  // Edit2
  void SetFolderField(std::u16string_view text);
  std::u16string ExtensionField() const;  // Edit3
  void SetExtensionField(std::u16string_view text);
  std::vector<std::u16string> PatternChoices() const;  // ComboBox1
  void AddPatternChoice(std::u16string_view pattern);
  void HideImage();  // Image1

 public slots:
  void OKBtnClick();
  // A failed check: Cancel as the result, the dialog still open.
  void Refuse();
  void OrdnerwaehlenButtonClick();
  void PfadAusZwischenablageClick();
  void AuswahlMitOhneIndizierungClick();
  void Edit1Change();
  void Edit2Change();
  void Button1Click();
  void BitBtn2Click();
  void ComboBox1Select(int index);

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Shows the notice for drive X; true when the user answered "Ja".
  bool AskRebuildMasterList(char16_t driveLetter);
  void ChooseFolder();
  // Image1 over the explanation of the file-list program: the list of drive X is kept.
  void ShowKeptListPicture(char16_t driveLetter);
  void FitTexts();

  ProgramState& state_;
  THinweisForm* notice_ = nullptr;
  std::unique_ptr<Ui::TOKBottomDlg> ui;
  QMenu* popup_ = nullptr;
  bool filtering_ = false;
};

}  // namespace app
