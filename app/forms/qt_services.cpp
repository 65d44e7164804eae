#include "app/forms/qt_services.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <memory>
#include <vector>

#include "app/settings/qt_text.h"
#include "platform/clipboard.h"
#include "platform/codepage.h"
#include "platform/messagebox.h"
#include "platform/pump.h"

namespace app {
namespace {

class QtMessageBoxSink : public platform::MessageBoxSink {
 public:
  platform::MsgResult Show(const std::u16string& text, const std::u16string& caption,
                           uint32_t flags) override {
    using platform::MsgResult;
    QMessageBox box(QApplication::activeWindow());
    box.setText(ToQ(text));
    box.setWindowTitle(ToQ(caption));
    switch (flags & 0xF0) {
      case platform::mb::IconError: box.setIcon(QMessageBox::Critical); break;
      case platform::mb::IconQuestion: box.setIcon(QMessageBox::Question); break;
      case platform::mb::IconWarning: box.setIcon(QMessageBox::Warning); break;
      case platform::mb::IconInformation: box.setIcon(QMessageBox::Information); break;
      default: break;
    }
    struct Choice {
      const char16_t* label;
      MsgResult result;
      QMessageBox::ButtonRole role;
    };
    std::vector<Choice> choices;
    switch (flags & 0xF) {
      case platform::mb::OkCancel:
        choices = {{u"OK", MsgResult::Ok, QMessageBox::AcceptRole},
                   {u"Abbrechen", MsgResult::Cancel, QMessageBox::RejectRole}};
        break;
      case platform::mb::YesNoCancel:
        choices = {{u"Ja", MsgResult::Yes, QMessageBox::YesRole},
                   {u"Nein", MsgResult::No, QMessageBox::NoRole},
                   {u"Abbrechen", MsgResult::Cancel, QMessageBox::RejectRole}};
        break;
      case platform::mb::YesNo:
        choices = {{u"Ja", MsgResult::Yes, QMessageBox::YesRole},
                   {u"Nein", MsgResult::No, QMessageBox::NoRole}};
        break;
      default: choices = {{u"OK", MsgResult::Ok, QMessageBox::AcceptRole}}; break;
    }
    size_t defaultIndex = (flags & platform::mb::DefButton3) ? 2 : (flags & platform::mb::DefButton2) ? 1 : 0;
    std::vector<QAbstractButton*> buttons;
    for (size_t i = 0; i < choices.size(); ++i) {
      QPushButton* b = box.addButton(ToQ(choices[i].label), choices[i].role);
      buttons.push_back(b);
      if (i == defaultIndex) box.setDefaultButton(b);
    }
    box.setEscapeButton(buttons.back());
    box.exec();
    for (size_t i = 0; i < buttons.size(); ++i) {
      if (box.clickedButton() == buttons[i]) return choices[i].result;
    }
    return choices.back().result;
  }
};

class QtClipboard : public platform::Clipboard {
 public:
  bool Open() override {
    pending_.clear();
    return true;
  }
  bool Empty() override {
    pending_.clear();
    QGuiApplication::clipboard()->clear();
    return true;
  }
  void SetBytes(platform::ClipFormat format, std::string bytes) override {
    // Only the text forms matter to the desktop; 8-bit text is taken as code page 1252
    // only when no Unicode text is given.
    if (format == platform::ClipFormat::Text && pending_.isEmpty()) pending_ = ToQ(platform::AnsiToWide(bytes));
  }
  void SetUnicodeText(std::u16string text) override {
    pending_ = ToQ(text);
    unicodeSet_ = true;
  }
  void Close() override {
    if (!pending_.isEmpty() || unicodeSet_) QGuiApplication::clipboard()->setText(pending_);
    pending_.clear();
    unicodeSet_ = false;
  }

 private:
  QString pending_;
  bool unicodeSet_ = false;
};

}  // namespace

void InstallGuiMessageBoxSink() { platform::SetMessageBoxSink(std::make_shared<QtMessageBoxSink>()); }

void InstallGuiPumpHook() {
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  platform::SetPumpHook([clock] {
    if (clock->elapsed() < 5) return;
    clock->restart();
    QCoreApplication::processEvents();
  });
}

void InstallGuiClipboard() { platform::SetClipboard(std::make_shared<QtClipboard>()); }

void SetApplicationNames() { QCoreApplication::setApplicationName(QStringLiteral("Quarry-HTML")); }

QTranslator* InstallQtGermanTranslation(const QString& folder) {
  auto* translator = new QTranslator(QCoreApplication::instance());
  const QString from = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
  if (!translator->load(QStringLiteral("qtbase_de"), from) || !QCoreApplication::installTranslator(translator)) {
    delete translator;
    return nullptr;
  }
  return translator;
}

}  // namespace app
