// Manifester open X: writes the drive file list of drive X into "Datenbank" below the
// current folder, where the build run that started it looks for it.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "platform/manifester/manifester.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string message;
  int status = 1;
  try {
    status = platform::RunManifester(args, ".", &message);
  } catch (const std::exception& e) {  // out of memory or threads
    message = std::string("Manifester: ") + e.what();
  }
  if (status != 0) std::fprintf(stderr, "%s\n", message.c_str());
  return status;
}
