#pragma once
// The window directory between our own programs: how one program finds another's window
// by its title and posts it a message (the extractor's start-up notice, message 5735),
// without X11 or Wayland. Each listening process keeps, in a per-user runtime folder, a
// small file with its pid, its start time and its window titles, and one AF_UNIX
// datagram socket beside it. A look-up reads the files afresh; entries whose process has
// ended (or whose pid now belongs to another process) are removed on the way.
//
// Posting is fire and forget, as with a posted window message: the datagram is queued
// at the receiver, which reads it when its event loop gets round to it (a socket
// notifier on Fd(), or Dispatch() from the message pump).
//
// Another local user may create the folder first (it lies in /tmp without a runtime
// folder), so both sides use it only when it is a real folder of ours that nobody else
// can write, and read an entry only when it is a small regular file of ours; a folder
// they cannot trust is reported, never used.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The one message between our programs: the extractor's start-up notice, posted to the
// first window whose title contains "Gleaner"; wParam 99 when it is a restarted process.
// The main program closes (as if the user had closed it) on 5735 with 99.
inline constexpr uint32_t kNoticeMessage = 5735;
inline constexpr int64_t kNoticeRestart = 99;
// The class of the extractor's window: the notice and the main program's wait look only
// at windows of this class, so no other window whose title happens to hold "Gleaner" (the
// main window showing such a path) is taken for the extractor.
inline constexpr std::string_view kExtractorWindowClass = "TForm1.Gleaner";

struct WindowHandle {
  int64_t pid = 0;
  uint32_t listener = 0;  // which listener of that process
  uint32_t window = 0;    // which window of that listener (1, 2, ...)
  explicit operator bool() const { return pid > 0 && window > 0; }
  bool operator==(const WindowHandle&) const = default;
};

struct WindowMessage {
  uint32_t window = 0;  // the receiving window's number
  uint32_t message = 0;
  int64_t wParam = 0;
  int64_t lParam = 0;
};

// QUARRY_RUNTIME_DIR when set, else $XDG_RUNTIME_DIR + "/quarry-html", else
// "/tmp/quarry-<uid>".
std::string WindowDirectoryFolder();

// Entries larger than this are no entries of ours (a few titles take some hundred bytes).
inline constexpr int64_t kMaxWindowEntryBytes = 64 * 1024;

// Whether the directory's folder may be used.
enum class FolderTrust {
  Trusted,       // a real folder of this user that nobody else can write
  Missing,       // not there (for a look-up: no window registered yet)
  NotAFolder,    // a file, or a symbolic link
  ForeignOwner,  // another user's folder
  OpenToOthers,  // group or others may write into it
  Unusable,      // cannot be created or opened; see error
};

struct FolderCheck {
  FolderTrust trust = FolderTrust::Missing;
  std::string folder;
  int error = 0;      // errno for Missing and Unusable
  uint32_t owner = 0; // uid found, for ForeignOwner
  uint32_t mode = 0;  // permission bits found, for OpenToOthers
  bool Trusted() const { return trust == FolderTrust::Trusted; }
  // A German sentence for a message to the user (UTF-8).
  std::string Text() const;
};

// Checks the folder without changing anything.
FolderCheck CheckWindowFolder(const std::string& folder);
// Creates the folder (for this user alone) when it is missing, then checks it: what a
// program asks before work that needs its windows found.
FolderCheck PrepareWindowFolder(const std::string& folder = WindowDirectoryFolder());

class WindowDirectory {
 public:
  struct Entry {
    WindowHandle handle;
    std::u16string title;
    std::string className;  // empty when the window was registered without one
  };
  explicit WindowDirectory(std::string folder = WindowDirectoryFolder()) : folder_(std::move(folder)) {}

  // Whether the folder can be used; the look-ups find nothing in a folder that is not
  // trusted, so a caller that finds nothing may ask this to tell the user why.
  FolderCheck CheckFolder() const { return CheckWindowFolder(folder_); }

  // The windows of live processes in the order they were registered (oldest first).
  std::vector<Entry> Windows() const;
  // The first window whose title contains `text`; an empty text matches nothing.
  // ignoreCase compares upper-cased forms (as the title look-ups of the programs do).
  // A non-empty className must occur in the window's class; windows of skipPid (a
  // process's own) are passed over.
  std::optional<Entry> FindWindowContaining(std::u16string_view text, bool ignoreCase = true,
                                            std::string_view className = {}, int64_t skipPid = 0) const;
  // false when the window or its process is gone, the receiver's queue is full, or the
  // folder is not trusted (EPERM).
  bool PostMessage(const WindowHandle& window, uint32_t message, int64_t wParam, int64_t lParam) const;

 private:
  std::string folder_;
};

// This process's side: registers window titles and receives the messages posted to
// them. Unregisters when destroyed (only in the process that created it, not in a
// forked child).
class WindowListener {
 public:
  explicit WindowListener(std::string folder = WindowDirectoryFolder());
  ~WindowListener();
  WindowListener(const WindowListener&) = delete;
  WindowListener& operator=(const WindowListener&) = delete;

  // false when the folder or the socket could not be set up; see LastError(), and
  // FolderStatus() for a folder that is not to be trusted.
  bool Valid() const { return fd_ >= 0; }
  // The check of the folder made when this listener was set up (creating it if missing).
  const FolderCheck& FolderStatus() const { return folderStatus_; }
  // The new window's handle; a null handle when the directory entry could not be written.
  WindowHandle AddWindow(std::u16string title, std::string className = {});
  bool SetTitle(const WindowHandle& window, std::u16string title);
  bool RemoveWindow(const WindowHandle& window);

  // Readable when messages wait (for poll() or a socket notifier).
  int Fd() const { return fd_; }
  // The messages waiting now, without blocking.
  std::vector<WindowMessage> Receive();
  // Calls the handler for each waiting message: from a socket notifier on Fd(), or from
  // the message pump (SetPumpHook([&] { listener.Dispatch(); }) in a program without a GUI).
  void SetHandler(std::function<void(const WindowMessage&)> handler) { handler_ = std::move(handler); }
  void Dispatch();

 private:
  struct Window {
    uint32_t number;
    int64_t order;  // registration time, for the directory's order
    std::u16string title;
    std::string className;
  };
  bool WriteEntry();

  std::string folder_, base_;  // base_: folder + "/<pid>-<n>", + ".win" and ".sock"
  FolderCheck folderStatus_;
  int64_t ownerPid_ = 0;
  uint32_t number_ = 0;
  int fd_ = -1;
  uint32_t nextWindow_ = 1;
  std::vector<Window> windows_;
  std::function<void(const WindowMessage&)> handler_;
};

}  // namespace platform
