#include "app/index/write_to_stream.h"

#include <string>

#include "platform/drives.h"
#include "platform/file.h"
#include "textlib/errors.h"
#include "textlib/io/cptextstream.h"
#include "textlib/io/unistrings.h"

namespace app {

bool WriteToStream(std::u16string_view text, std::u16string_view fileName, uint32_t codePage) {
  const std::u16string temp = std::u16string(fileName) + u".schreiben";
  bool written = false;
  try {
    textlib::TUniFileStream file(temp, textlib::fmCreate);
    textlib::TCpTextStream stream(file, textlib::TCpAccessMode::Write, 0, codePage);
    written = stream.WriteText(text);
  } catch (const textlib::Exception&) {
    written = false;
  }
  const std::string tempPath = platform::PosixPath(temp);
  if (written && platform::RenameFile(tempPath, platform::PosixPath(fileName))) return true;
  platform::RemoveFile(tempPath);
  return false;
}

}  // namespace app
