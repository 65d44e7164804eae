#pragma once
// Starting another program of ours (the file-list builder, the extractor) and waiting for
// it while the interface stays alive. No shell is involved: the program and its arguments
// are passed as a list, so names with blanks or quotation marks need no quoting.
#include <string>
#include <vector>

namespace app {

struct ProcessCommand {
  std::string program;            // POSIX path of the executable
  std::vector<std::string> args;  // the arguments after the program name, UTF-8
};

inline constexpr int SW_SHOW = 5;

// Starts the program in the current folder with the current environment and waits for
// its end, processing pending messages meanwhile. Returns 0, or the platform's error code
// when the process could not be created. exitCode (optional) receives the program's exit
// status (128 + signal number when a signal ended it, -1 when its end cannot be learnt).
// A program that replaces itself by successors (the extractor) has ended only when its
// caller sees so; the status is that of the first process. The show mode has no meaning here.
int RunAndWait(const ProcessCommand& command, int showMode = SW_SHOW, int* exitCode = nullptr);

}  // namespace app
