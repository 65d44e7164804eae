#pragma once
// Native file access on POSIX paths with 64-bit sizes and offsets. Reads and writes are
// retried when interrupted or partial, so a short count only ever means end of file or
// failure. Failures leave their errno in LastError() (the thread's "last error").
//
// Every write, rename and sync passes one fault hook (at the end of this header), so that
// tests can make any of them fail, or kill the process at an exact byte, on any machine.
#include <cerrno>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

int LastError();
void SetLastError(int code);
std::string SystemErrorText(int code);

enum class FileAccess { Read, Write, ReadWrite };
enum class SeekOrigin { Begin, Current, End };

class NativeFile {
 public:
  NativeFile() = default;
  explicit NativeFile(int fd) : fd_(fd) {}
  ~NativeFile();
  NativeFile(NativeFile&& other) noexcept : fd_(other.Release()) {}
  NativeFile& operator=(NativeFile&& other) noexcept;
  NativeFile(const NativeFile&) = delete;
  NativeFile& operator=(const NativeFile&) = delete;

  static NativeFile Open(const std::string& path, FileAccess access);
  // For reading, only when the path (links followed) names a regular file: a FIFO or a
  // device swapped in after a look at the path is refused (EINVAL; a folder EISDIR)
  // without waiting on it.
  static NativeFile OpenRegularForReading(const std::string& path);
  // Creates or truncates the file, opened for reading and writing.
  static NativeFile Create(const std::string& path);

  bool Valid() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  int Release();
  // false (LastError set) when the system reports a failure on closing, such as a
  // delayed write error; the descriptor is released either way.
  bool Close();

  // Bytes read (less than count only at end of file), or -1.
  int64_t Read(void* buffer, int64_t count);
  // Bytes written (all of them), or -1.
  int64_t Write(const void* buffer, int64_t count);
  // New position, or -1.
  int64_t Seek(int64_t offset, SeekOrigin origin);
  int64_t Size() const;
  bool Truncate(int64_t size);
  // Flushes the file's data to the disk (fsync).
  bool Sync();

 private:
  int fd_ = -1;
};

struct FileStat {
  bool isDirectory = false;
  bool isRegular = false;
  bool isSymlink = false;
  bool readOnly = false;
  int64_t size = 0;
  int64_t mtimeSeconds = 0;  // since the Unix epoch
  int64_t mtimeNanos = 0;
  uint32_t mode = 0;
};

// lstat when followLinks is false.
std::optional<FileStat> Stat(const std::string& path, bool followLinks = true);
bool SetModificationTime(const std::string& path, int64_t seconds, int64_t nanos = 0);
bool SetPermissions(const std::string& path, uint32_t mode);

struct DirEntry {
  enum class Type { File, Directory, Symlink, Other, Unknown };
  std::string name;
  Type type = Type::Unknown;
};
// Entries other than "." and "..", in the order the file system gives; nullopt on failure.
std::optional<std::vector<DirEntry>> ListDirectory(const std::string& path);

bool MakeDirectory(const std::string& path);
bool RemoveFile(const std::string& path);
bool RemoveDirectory(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);
// Flushes a folder's entries (a rename or a new name in it) to the disk. A file system
// that cannot sync folders counts as done.
bool SyncDirectory(const std::string& path);

// A real folder: lstat says directory, so a symbolic link to one is not.
bool IsRealDirectory(const std::string& path);
// Removes everything inside `folder` and leaves it empty, never following a symbolic
// link: a link is removed, not what it points to, and subfolders are opened relative to
// their parent without following links, so a link swapped in meanwhile is removed too.
// `folder` itself must be a real folder; a link there is refused (ELOOP or ENOTDIR).
// Keeps going after a failure; false then, with the first failure in LastError().
bool RemoveTreeContentsNoFollow(const std::string& folder);
// Removes `path` the same way: a file or link is unlinked, a real folder emptied and removed.
bool RemoveTreeNoFollow(const std::string& path);

// Creates a new temporary file beside `targetPath` for writing its replacement, opened for
// reading and writing. Its name is the target's + ".tmp" + pid + "-" + a random suffix,
// created with O_CREAT|O_EXCL|O_NOFOLLOW (a new name is tried when one exists), so a file
// or symbolic link planted at any name can never receive the write. It gets the
// permission bits of an existing regular target (a rewrite keeps them), else `mode` less
// the umask. An invalid file on failure.
NativeFile CreateExclusiveTemp(const std::string& targetPath, std::string* tempPath,
                               uint32_t mode = 0666);
// Removes the temporaries of `targetPath` (CreateExclusiveTemp's names) whose process is
// gone: what a killed writer of that file left. Those of running processes, and anything
// that is no regular file, stay. The number removed.
int RemoveStaleTemporaries(const std::string& targetPath);
// Puts a finished temporary in place of `targetPath`: syncs and closes `file`, renames
// `tempPath` over the target and syncs the folder. When any step before the rename
// fails, the temporary is removed and the target is untouched; when only the last sync
// of the folder fails, the new contents are in place but may not survive a power cut.
// false on any failure, with the system's reason in LastError().
// Unsynced skips both syncs: for files that need not outlive a power cut (result pages),
// which are still never seen half-written.
enum class Durability { Synced, Unsynced };
bool CommitTempFile(NativeFile& file, const std::string& tempPath, const std::string& targetPath,
                    Durability durability = Durability::Synced);
// The same for a temporary whose writer has closed it already (a stream that owns the
// descriptor): it is opened again, without following a link, to be synced.
bool CommitTempFile(const std::string& tempPath, const std::string& targetPath);

// Where a save of `path` that keeps symbolic links writes: `path` itself, or the file a
// link there names (relative links resolved from their own folder, a chain followed to its
// end, which need not exist yet). nullopt (ELOOP) for a chain that does not end. Only the
// last name is followed; a temporary beside the result and a rename over it then replace
// the file and leave the link in place.
std::optional<std::string> LinkTargetForSave(const std::string& path);

// Whole-file helpers. WriteFileAtomically writes an exclusive temporary beside the target
// and commits it as above, so a crash or a full disk never leaves a half-written file in
// its place. A symbolic link at the target is replaced, not followed.
std::optional<std::string> ReadWholeFile(const std::string& path);
bool WriteFileAtomically(const std::string& path, const std::string& bytes,
                         Durability durability = Durability::Synced);

// Rewrites a regular file that exists, in place: truncated, then written. Its inode is
// kept, which spares the file system finding a new one (hundreds of result pages per
// search). false for a missing file, a link or anything else that is no regular file,
// and on a write failure (the file may then be cut short).
bool OverwriteExistingFile(const std::string& path, const std::string& bytes);
// Cuts a regular file (not a link) to length 0.
bool TruncateRegularFile(const std::string& path);
// Reads up to `count` bytes at `offset` of an open file into `to` with pread, without a
// seek, until the count or the end of the file; the bytes read, or -1 on an error.
int64_t ReadFullyAt(int fd, char* to, int64_t count, int64_t offset);

// An advisory lock on a lock file (created when missing, never through a link), held
// while the object lives. Exclusive for a writer, shared for readers; never waits.
// A lock is only taken on the file that is at the path at that moment: a holder may
// remove the file when it lets go (RemoveFileOnRelease), and whoever opened it before
// finds the name gone or new and tries again, so no two hold "the" lock on two files.
class FileLock {
 public:
  enum class Kind { Shared, Exclusive };
  // nullopt when another process holds a lock that excludes this one (LastError() is
  // EWOULDBLOCK) or the file cannot be opened.
  static std::optional<FileLock> Try(const std::string& path, Kind kind);
  FileLock(FileLock&& other) noexcept : file_(std::move(other.file_)), removePath_(std::move(other.removePath_)) {}
  FileLock& operator=(FileLock&& other) noexcept;
  ~FileLock();
  // The lock file's descriptor, for passing the lock on to a child process.
  int Fd() const { return file_.Fd(); }
  // Removes the lock file when this lock is released, unless another lock on it is
  // still held (by a process this lock was passed to, or a reader).
  void RemoveFileOnRelease(std::string path) { removePath_ = std::move(path); }

 private:
  explicit FileLock(NativeFile file) : file_(std::move(file)) {}
  void Release();
  NativeFile file_;
  std::string removePath_;
};

// ---- Fault injection, for tests ----
// NativeFile::Write, RenameFile and the syncs (NativeFile::Sync, SyncDirectory, so also
// those of CommitTempFile and WriteFileAtomically) each pass one process-wide hook. Disarmed
// it costs one relaxed atomic load. Armed, it counts those calls from the moment of arming
// and fails the chosen ones before they touch the disk, reporting as a real failure does
// (errno and LastError set, nothing written). A test runs once with an empty plan to learn
// the counts, then fails each call in turn to reach every failure path.
//
// The environment variable QUARRY_FAULT arms a plan when a program starts, so that a child
// process can be failed or killed too; it is then removed from the environment, so the
// programs that child starts run unharmed. Its syntax is items separated by ",":
//   write:17:ENOSPC      the 17th write fails with ENOSPC (op: write, rename or sync;
//                        error: a name such as EIO, EDQUOT, EROFS, or a number)
//   sync:2+:EIO          the 2nd sync and every later one fail
//   kill-after-bytes:N   SIGKILL once N bytes in all have been written (the write that
//                        reaches N writes only up to N)
//   counts:PATH          at a normal exit, write the counters to PATH (which holds no
//                        ",") as lines "writes N", "renames N", "syncs N", "bytes N"
enum class FaultOp { Write, Rename, Sync };

struct FaultRule {
  FaultOp op = FaultOp::Write;
  int64_t nth = 1;        // 1: the first such call after arming
  int error = EIO;
  bool andLater = false;  // also every such call after the nth
  bool operator==(const FaultRule&) const = default;
};

struct FaultPlan {
  std::vector<FaultRule> rules;
  int64_t killAfterBytes = -1;  // < 0: never
  std::string countsFile;       // empty: none
  bool operator==(const FaultPlan&) const = default;
};

struct FaultCounts {
  int64_t writes = 0;
  int64_t renames = 0;
  int64_t syncs = 0;
  int64_t bytes = 0;  // bytes that writes passed to the system
  bool operator==(const FaultCounts&) const = default;
};

// Replaces any plan; the counters restart at zero.
void ArmFaults(FaultPlan plan);
// Stops failing and counting; the counters keep their values.
void DisarmFaults();
FaultCounts FaultCounters();
// A plan in QUARRY_FAULT's syntax; nullopt when the text is not understood.
std::optional<FaultPlan> ParseFaultPlan(std::string_view text);

// Arms a plan for a scope (a test), disarming at its end.
class ScopedFaults {
 public:
  explicit ScopedFaults(FaultPlan plan = {}) { ArmFaults(std::move(plan)); }
  ~ScopedFaults() { DisarmFaults(); }
  ScopedFaults(const ScopedFaults&) = delete;
  ScopedFaults& operator=(const ScopedFaults&) = delete;
};

// Replaces the random part of CreateExclusiveTemp's names, so that a test can plant a
// file or link at the very name that will be tried next; nullptr restores randomness.
void SetTempSuffixSourceForTesting(std::function<std::string()> source);

}  // namespace platform
