#pragma once
// A temporary drive T: holding the base folder, a settings file and a window directory of
// its own, a recording message sink, and the program's windows created as the program
// creates them.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QStringList>
#include <filesystem>
#include <memory>
#include <string>

#include "app/forms/main_form.h"
#include "app/forms/ok_bottom_dlg.h"
#include "app/forms/other_forms.h"
#include "app/settings/program_state.h"
#include "search/forms/such_form.h"
#include "app/settings/registry.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"

namespace formstest {

struct Windows {
  app::ProgramState state;
  std::unique_ptr<app::TMainForm_QY_HTML> main;
  std::unique_ptr<app::THinweisForm> notice;
  std::unique_ptr<app::TOKBottomDlg> dialog;
  std::unique_ptr<app::TEinstellform> settings;
  std::unique_ptr<search::TSuchForm> search;

  explicit Windows(const QStringList& arguments) {
    main = std::make_unique<app::TMainForm_QY_HTML>(state, arguments);
    dialog = std::make_unique<app::TOKBottomDlg>(state);
    settings = std::make_unique<app::TEinstellform>(state);
    notice = std::make_unique<app::THinweisForm>();
    search = std::make_unique<search::TSuchForm>(state);
    dialog->SetNotice(notice.get());
    main->SetForms(dialog.get(), settings.get(), search.get());
  }
  ~Windows() {
    // The main window refers to all of them.
    main.reset();
  }
};

// Labels and check boxes need their size hint's width; a push or tool button its text.
inline void ExpectEveryTextFits(QWidget& window, const char* state) {
  for (QLabel* label : window.findChildren<QLabel*>()) {
    if (label->text().isEmpty()) continue;
    EXPECT_LE(label->sizeHint().width(), label->width()) << state << ": " << label->objectName().toStdString();
    EXPECT_GE(QFontInfo(label->font()).pixelSize(), 9) << label->objectName().toStdString();
  }
  for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    if (button->text().isEmpty()) continue;
    const QString text = QString(button->text()).remove(QLatin1Char('&'));
    const int needed = qobject_cast<QCheckBox*>(button) ? button->sizeHint().width()
                                                         : button->fontMetrics().horizontalAdvance(text) + 4;
    EXPECT_LE(needed, button->width()) << state << ": " << button->objectName().toStdString();
  }
}

class FormsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    oldCwd_ = std::filesystem::current_path();
    std::filesystem::create_directories(drive_.Posix("base"));
    setenv("QUARRY_SETTINGS", drive_.Posix("registry.ini").c_str(), 1);
    setenv("QUARRY_RUNTIME_DIR", drive_.Posix("runtime").c_str(), 1);
    std::filesystem::current_path(drive_.Posix("base"));
  }
  void TearDown() override {
    std::filesystem::current_path(oldCwd_);
    unsetenv("QUARRY_SETTINGS");
    unsetenv("QUARRY_RUNTIME_DIR");
  }

  // Started without a parameter: the base folder is the current directory, T:\base\.
  std::unique_ptr<Windows> Start(QStringList arguments = {QStringLiteral("QUARRY_HTML")}) {
    return std::make_unique<Windows>(arguments);
  }
  static std::u16string Reg(std::u16string_view name) { return app::LeseRegKey(app::kRegistryKey, name); }
  static void SetReg(std::u16string_view name, std::u16string_view value) {
    app::SchreibeRegKey(app::kRegistryKey, name, value);
  }
  std::vector<std::u16string> BoxTexts() {
    std::vector<std::u16string> texts;
    for (const auto& b : sink_->Boxes()) texts.push_back(b.text);
    return texts;
  }

  testsupport::TempDrive drive_;
  testsupport::ScopedRecordingSink sink_;
  std::filesystem::path oldCwd_;
};

}  // namespace formstest
