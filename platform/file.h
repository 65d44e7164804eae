#pragma once
// Native file access on POSIX paths with 64-bit sizes and offsets. Reads and writes are
// retried when interrupted or partial, so a short count only ever means end of file or
// failure. Failures leave their errno in LastError() (the thread's "last error").
#include <cstdint>
#include <optional>
#include <string>
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
  // Creates or truncates the file, opened for reading and writing.
  static NativeFile Create(const std::string& path);

  bool Valid() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  int Release();
  void Close();

  // Bytes read (less than count only at end of file), or -1.
  int64_t Read(void* buffer, int64_t count);
  // Bytes written (all of them), or -1.
  int64_t Write(const void* buffer, int64_t count);
  // New position, or -1.
  int64_t Seek(int64_t offset, SeekOrigin origin);
  int64_t Size() const;
  bool Truncate(int64_t size);

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

// Whole-file helpers. WriteFileAtomically writes a temporary sibling and renames it over
// the target, so a crash or a full disk never leaves a half-written file in its place.
std::optional<std::string> ReadWholeFile(const std::string& path);
bool WriteFileAtomically(const std::string& path, const std::string& bytes);

}  // namespace platform
