#pragma once
// The windows the program creates at start whose behaviour lives elsewhere: here they
// carry their layout and the few methods through which the main window reaches them.
#include <QDialog>
#include <QWidget>
#include <memory>

#include "app/forms/program_state.h"

namespace Ui {
class TFormTempRTF;
class TFormProgress;
class TEinstellform;
}  // namespace Ui

namespace app {

// A hidden rich-text form, created and never shown.
class TFormTempRTF : public QWidget {
  Q_OBJECT
 public:
  explicit TFormTempRTF(QWidget* parent = nullptr);
  ~TFormTempRTF() override;

 private:
  std::unique_ptr<Ui::TFormTempRTF> ui;
};

class TFormProgress : public QDialog {
  Q_OBJECT
 public:
  explicit TFormProgress(QWidget* parent = nullptr);
  ~TFormProgress() override;

 private:
  std::unique_ptr<Ui::TFormProgress> ui;
};

// The settings window.
class TEinstellform : public QDialog {
  Q_OBJECT
 public:
  TEinstellform(ProgramState& state, QWidget* parent = nullptr);
  ~TEinstellform() override;

  void SetBackgroundColor(const QColor& color);
  // Font colour of the check boxes and Label1..Label5.
  void SetHintColor(const QColor& color);
  void SetCopySearchText(bool on);
  bool CopySearchText() const;
  void SetShortHintInViewer(bool on);
  bool ShortHintInViewer() const;

 private:
  ProgramState& state_;
  std::unique_ptr<Ui::TEinstellform> ui;
};

void SetWidgetBackground(QWidget* widget, const QColor& color);
void SetWidgetTextColor(QWidget* widget, const QColor& color);

}  // namespace app
