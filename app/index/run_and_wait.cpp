#include "app/index/run_and_wait.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/pump.h"

extern char** environ;

namespace app {

int RunAndWait(const ProcessCommand& command, int /*showMode*/, int* exitCode) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(command.program.c_str()));
  for (const std::string& arg : command.args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, command.program.c_str(), nullptr, nullptr, argv.data(), environ);
  if (error != 0) return error;
  int status = 0;
  bool known = true;
  while (true) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) {
      // The child's end cannot be learnt: never report it as a clean exit.
      known = false;
      break;
    }
    platform::ProcessMessages();
    // A millisecond's rest between polls: without it the wait would take a whole core
    // from the program it waits for.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (exitCode) {
    if (!known) {
      *exitCode = -1;
    } else if (WIFEXITED(status)) {
      *exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
      *exitCode = 128 + WTERMSIG(status);
    } else {
      *exitCode = -1;
    }
  }
  return 0;
}

}  // namespace app
