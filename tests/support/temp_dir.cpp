#include "tests/support/temp_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

TempDrive::TempDrive(char letter) : letter_(letter), previous_(platform::Drives()) {
  std::string pattern = (std::filesystem::temp_directory_path() / "quarry-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  platform::DriveMap map = previous_;
  map.Set(letter_, root_);
  platform::SetDrivesForTesting(map);
}

TempDrive::~TempDrive() {
  platform::SetDrivesForTesting(previous_);
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

std::u16string TempDrive::Drive(std::u16string_view relative) const {
  std::u16string out;
  out.push_back(static_cast<char16_t>(letter_));
  out += u":\\";
  return out + std::u16string(relative);
}

std::string TempDrive::Posix(std::string_view relative) const {
  return relative.empty() ? root_ : root_ + "/" + std::string(relative);
}

void TempDrive::WriteFile(std::string_view relative, std::string_view bytes) const {
  const std::filesystem::path path(Posix(relative));
  std::filesystem::create_directories(path.parent_path());
  std::ofstream f(path, std::ios::binary);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write test file");
}

std::string TempDrive::ReadFile(std::string_view relative) const {
  std::ifstream f(Posix(relative), std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace testsupport
