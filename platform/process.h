#pragma once
// Starting and watching other programs. Programs are started with an argument list
// through posix_spawn, never through a shell, so no text of a path or a search ever
// becomes a command. "RunAs" starts without elevation (there is none to ask for here);
// documents, folders and URLs go to the desktop's handler through xdg-open.
//
// Every child started here is reaped the moment it ends, by a thread that waits for
// exactly that child (never for anyone else's), so a finished child never lingers as a
// zombie; its exit is kept for a later WaitForProcess.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

struct StartResult {
  int64_t pid = 0;  // > 0 on success
  int error = 0;    // errno of the failure (ENOENT: no such program), 0 on success
  bool Ok() const { return pid > 0; }
};

// `program` with "/" is a path, otherwise it is looked up on PATH. args do not include
// the program itself. An empty workingDir keeps the current directory.
StartResult StartProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workingDir = {});

// What a start may give the child beyond its arguments.
struct StartOptions {
  std::string workingDir;  // empty: the current directory
  // Open descriptors the child keeps, as its descriptors 3, 4, ... in this order; every
  // other one beyond the standard three is closed. A lock held through one stays held
  // as long as any process keeps it.
  std::vector<int> passFiles;
  // Variables set in the child's environment, replacing ours of the same name.
  std::vector<std::pair<std::string, std::string>> environment;
};
StartResult StartProgram(const std::string& program, const std::vector<std::string>& args,
                         const StartOptions& options);

// The executable file a bare program name stands for on PATH; empty when none.
std::string FindOnPath(const std::string& name);

// Opens a document, folder or URL with the desktop's default handler (xdg-open).
StartResult OpenWithDesktop(const std::string& pathOrUrl);

// The program side of ShellExecute. verb: "open", "runas" (any case) or empty; file: a
// drive-form path, a URL, or a bare program name (looked up on PATH, also without a
// trailing ".exe"). An executable file is started with the arguments in the folder;
// anything else goes to the desktop's handler. parameters follow the Windows
// command-line rules (blanks separate, double quotes group, backslashes escape quotes).
StartResult ShellExecute(std::u16string_view verb, std::u16string_view file,
                         std::u16string_view parameters = {}, std::u16string_view folder = {});
std::vector<std::u16string> SplitCommandLine(std::u16string_view parameters);

struct ProcessExit {
  bool exited = false;  // false: ended by a signal
  int code = 0;         // exit status, or the signal number
};
// Waits for a process, calling ProcessMessages() about every 10 ms. nullopt: still
// running after timeoutMs (negative: no limit). A process that is not our child can only
// be watched until it is gone; its exit is then reported as {true, 0}.
std::optional<ProcessExit> WaitForProcess(int64_t pid, int64_t timeoutMs = -1);
// Reaps the children started here that have ended; true when `pid` is still running.
bool IsProcessAlive(int64_t pid);

// True when a running process's executable file name, or its whole executable path,
// equals `name` ignoring case. Ended processes not yet reaped (zombies) do not count.
bool IsProcessRunning(std::u16string_view name);

// Administrator rights: the effective user is root.
bool IsUserAdmin();

// The running program's own file (for starting it again); empty when unknown.
std::string OwnExecutablePath();

}  // namespace platform
