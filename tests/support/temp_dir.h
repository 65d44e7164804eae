#pragma once
// A fresh temporary folder per test, mapped as drive T: for the test's lifetime.
#include <string>

#include "platform/drives.h"

namespace testsupport {

class TempDrive {
 public:
  explicit TempDrive(char letter = 'T');
  ~TempDrive();
  TempDrive(const TempDrive&) = delete;
  TempDrive& operator=(const TempDrive&) = delete;

  const std::string& Root() const { return root_; }
  // "T:\" + relative (backslashes), and the same file as a POSIX path.
  std::u16string Drive(std::u16string_view relative = u"") const;
  std::string Posix(std::string_view relative = "") const;
  // Makes the file's folders first.
  void WriteFile(std::string_view relative, std::string_view bytes) const;
  std::string ReadFile(std::string_view relative) const;

 private:
  std::string root_;
  char letter_;
  platform::DriveMap previous_;
};

}  // namespace testsupport
