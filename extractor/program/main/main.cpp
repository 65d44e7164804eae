// Gleaner LIST STORE: extracts the text of the web archives and mails of LIST into STORE.
// Gleaner restart: a later process of the same job (started by the previous one).
#include <unistd.h>

#include <QApplication>

#include "extractor/program/gleaner_form.h"
#include "platform/window_directory.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // A temporary title without the program's name while the notice looks for another
  // Gleaner, so this process never finds itself.
  QApplication::setApplicationName(QStringLiteral("Extraktor"));
  const extractor::GleanerArguments arguments = extractor::GleanerArguments::FromArgv(argc, argv);

  // Registered before the notice goes out: a predecessor that ends on it leaves no moment
  // in which no extractor window is registered.
  platform::WindowListener listener;
  if (listener.Valid()) listener.AddWindow(u"Gleaner", std::string(platform::kExtractorWindowClass));
  const platform::WindowDirectory directory;
  if (extractor::SendStartupNotice(directory, arguments, static_cast<int64_t>(getpid()))) QCoreApplication::processEvents();
  QApplication::setApplicationName(QStringLiteral("Gleaner"));

  extractor::TForm1 form(arguments, listener.Valid() ? &listener : nullptr);
  form.show();
  const int status = app.exec();
  return status != 0 ? status : form.ExitCode();
}
