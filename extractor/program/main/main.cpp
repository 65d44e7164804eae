// Gleaner LIST STORE: extracts the text of the web archives and mails of LIST into STORE.
// Gleaner restart: a later process of the same job (started by the previous one).
#include <unistd.h>

#include <QApplication>

#include "extractor/program/gleaner_form.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/job_chain.h"
#include "platform/window_directory.h"
#include "widgets/uni_application.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The wide application object from the start: it shows every hint as plain text in its
  // own hint window, and its title is the window the other programs look for.
  widgets::TUniApplication& application = widgets::UniApplication();
  application.SetTitle(u"Gleaner");
  const extractor::GleanerArguments arguments = extractor::GleanerArguments::FromArgv(argc, argv);

  // Registered before the notice goes out: a predecessor that ends on it leaves no moment
  // in which no extractor window is registered. The notice passes over this process's own
  // windows, so the title needs no temporary form without the program's name.
  extractor::GleanerContext context;
  context.chain = platform::chain::TakeInheritance();
  platform::WindowListener listener;
  if (listener.Valid() && application.AttachWindow(listener, platform::kExtractorWindowClass)) {
    context.self = application.Window();
  } else {
    const platform::FolderCheck& folder = listener.FolderStatus();
    const std::string why = folder.trust != platform::FolderTrust::Trusted
                                ? folder.Text()
                                : "Das Fenster kann im Ordner \"" + folder.folder + "\" nicht angemeldet werden: " +
                                      platform::SystemErrorText(platform::LastError());
    context.refusal = platform::PosixUtf8ToWide(why).value_or(u"Der Fensterordner kann nicht verwendet werden.");
  }
  const platform::WindowDirectory directory;
  if (extractor::SendStartupNotice(directory, arguments, context.chain.predecessor)) QCoreApplication::processEvents();

  extractor::TForm1 form(arguments, listener.Valid() ? &listener : nullptr, std::move(context));
  form.show();
  const int status = app.exec();
  // The registration ends with the listener, before the application object.
  application.DetachWindow();
  return status != 0 ? status : form.ExitCode();
}
