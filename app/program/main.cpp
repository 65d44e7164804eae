// QUARRY_HTML: creates the windows in their fixed order and runs the event loop.
#include <QApplication>

#include "app/forms/main_form.h"
#include "app/forms/ok_bottom_dlg.h"
#include "app/forms/other_forms.h"
#include "app/settings/program_state.h"
#include "app/forms/qt_services.h"
#include "search/forms/such_form.h"
#include "app/results/browser.h"
#include "app/settings/registry.h"
#include "platform/messagebox.h"
#include "widgets/uni_application.h"

namespace {

// The browser choice as the settings window stores it.
class RegistryBrowserSetting : public app::BrowserSettingStore {
 public:
  std::u16string ReadBrowser() override { return app::LeseRegKey(app::kRegistryKey, app::reg::Browser); }
  void WriteBrowser(const std::u16string& value) override {
    if (std::u16string failure; !app::SchreibeRegKey(app::kRegistryKey, app::reg::Browser, value, &failure)) {
      platform::ShowMessageBox(u"Die Einstellungen konnten nicht gespeichert werden: " + failure, u"Quarry-HTML",
                               platform::mb::Ok | platform::mb::IconError);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  app::SetApplicationNames();
  // The wide application object from the start: it shows every hint as plain text in its
  // own hint window, and its title is what other programs see of this one.
  widgets::TUniApplication& uniApplication = widgets::UniApplication();
  uniApplication.SetTitle(u"Quarry-HTML");
  // Before the first window, so every standard dialog and button is created in German.
  app::InstallQtGermanTranslation();
  app::InstallGuiMessageBoxSink();
  app::InstallGuiPumpHook();
  app::InstallGuiClipboard();

  QStringList arguments = QApplication::arguments();
  if (!arguments.isEmpty()) arguments[0] = QApplication::applicationFilePath();

  app::ProgramState state;
  app::TMainForm_QY_HTML mainForm(state, arguments);
  app::TOKBottomDlg dialog(state, &mainForm);
  app::TFormTempRTF tempRtf;
  app::TEinstellform settings(state, &mainForm);
  app::TFormProgress progress(&mainForm);
  app::THinweisForm notice(&mainForm);
  search::TSuchForm search(state, &mainForm);
  dialog.SetNotice(&notice);
  RegistryBrowserSetting browserSetting;
  search.OpenResultPage = [&browserSetting](const std::u16string& page) {
    app::StarteInternetBrowser(page, browserSetting, app::DefaultLauncher());
  };
  mainForm.SetForms(&dialog, &settings, &search);
  // The application window stands beside the main window in the main window's registration,
  // and leaves it before that registration ends with the main window.
  if (platform::WindowListener* listener = mainForm.Listener()) uniApplication.AttachWindow(*listener);
  mainForm.show();
  const int status = application.exec();
  uniApplication.DetachWindow();
  return status;
}
