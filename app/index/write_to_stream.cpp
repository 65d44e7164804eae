#include "app/index/write_to_stream.h"

#include <optional>
#include <string>

#include "platform/drives.h"
#include "platform/file.h"
#include "textlib/errors.h"
#include "textlib/io/cptextstream.h"
#include "textlib/stream.h"

namespace app {

bool WriteToStream(std::u16string_view text, std::u16string_view fileName, uint32_t codePage) {
  // An exclusive temporary beside the file, never a fixed or guessable name a link could
  // have been planted at; it takes the file's place only when complete.
  // A link at the name stays and names the new file.
  const std::string posix = platform::PosixPath(fileName);
  const std::optional<std::string> link = posix.empty() ? std::optional<std::string>(posix) : platform::LinkTargetForSave(posix);
  if (!link) return false;
  const std::string& target = *link;
  std::string temp;
  platform::NativeFile file = platform::CreateExclusiveTemp(target, &temp);
  if (!file.Valid()) return false;
  bool written = false;
  int error = 0;
  {
    textlib::THandleStream stream(std::move(file));
    try {
      textlib::TCpTextStream writer(stream, textlib::TCpAccessMode::Write, 0, codePage);
      written = writer.WriteText(text);
    } catch (const textlib::Exception&) {
      written = false;
    }
    error = platform::LastError();
    if (written) return platform::CommitTempFile(stream.File(), temp, target);
  }
  platform::RemoveFile(temp);
  platform::SetLastError(error);
  return false;
}

}  // namespace app
