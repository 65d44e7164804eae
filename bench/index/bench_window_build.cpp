// The program's own build in its real windows, for comparison with `qh-bench index` on the
// same pages: the main window and its dialogs as the program makes them, the dialog
// answered with the database's name, folder and extensions, the time of the build printed.
// Run it under a display (xvfb-run), in a base folder whose Datenbank holds the drive list.
//
//   bench_window_build BASE NAME FOLDER "EXTENSIONS"
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

#include "app/forms/main_form.h"
#include "app/forms/ok_bottom_dlg.h"
#include "app/forms/other_forms.h"
#include "app/forms/qt_services.h"
#include "app/settings/program_state.h"
#include "platform/codepage.h"
#include "platform/messagebox.h"
#include "search/forms/such_form.h"
#include "ui_main_form.h"
#include "widgets/uni_application.h"
#include "widgets/wide_control.h"

namespace {

class StderrSink : public platform::MessageBoxSink {
 public:
  platform::MsgResult Show(const std::u16string& text, const std::u16string&, uint32_t flags) override {
    std::fprintf(stderr, "%s\n", platform::WideToPosixUtf8(text).c_str());
    return platform::DefaultAnswer(flags);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: bench_window_build BASE NAME FOLDER \"EXTENSIONS\"\n");
    return 2;
  }
  if (chdir(argv[1]) != 0) {
    std::fprintf(stderr, "bench_window_build: cannot enter %s\n", argv[1]);
    return 1;
  }
  QApplication application(argc, argv);
  app::SetApplicationNames();
  widgets::UniApplication().SetTitle(u"Quarry-HTML");
  platform::SetMessageBoxSink(std::make_shared<StderrSink>());
  app::InstallGuiPumpHook();

  app::ProgramState state;
  app::TMainForm_QY_HTML mainForm(state, {QStringLiteral("QUARRY_HTML")});
  app::TOKBottomDlg dialog(state, &mainForm);
  app::TEinstellform settings(state, &mainForm);
  app::THinweisForm notice(&mainForm);
  search::TSuchForm search(state, &mainForm);
  dialog.SetNotice(&notice);
  mainForm.SetForms(&dialog, &settings, &search);
  mainForm.show();
  QElapsedTimer shown;
  shown.start();
  while (shown.elapsed() < 500) QCoreApplication::processEvents();

  const std::u16string name = platform::PosixUtf8ToWide(argv[2]).value_or(u"");
  const std::u16string folder = platform::PosixUtf8ToWide(argv[3]).value_or(u"");
  const std::u16string extensions = platform::PosixUtf8ToWide(argv[4]).value_or(u"");
  mainForm.ShowNewDatabaseDialog = [&](app::TOKBottomDlg& d) {
    d.SetNameField(name);
    d.SetFolderField(folder);
    d.SetExtensionField(extensions);
    state.BuildMasterList = false;
    return true;
  };
  QElapsedTimer build;
  build.start();
  mainForm.NeuErstellenBtnClick();
  const double seconds = static_cast<double>(build.elapsed()) / 1000.0;
  std::printf("%.3f s  %s\n", seconds,
              platform::WideToPosixUtf8(widgets::WideControlGetText(*mainForm.Form().Label1)).c_str());
  return 0;
}
