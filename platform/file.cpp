#include "platform/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {
thread_local int tLastError = 0;

int Fail() {
  tLastError = errno;
  return -1;
}
}  // namespace

int LastError() { return tLastError; }
void SetLastError(int code) { tLastError = code; }

std::string SystemErrorText(int code) {
  char buffer[256];
  // GNU strerror_r returns the text, which may or may not be the buffer.
  return strerror_r(code, buffer, sizeof buffer);
}

NativeFile::~NativeFile() { Close(); }

NativeFile& NativeFile::operator=(NativeFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.Release();
  }
  return *this;
}

int NativeFile::Release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

void NativeFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

NativeFile NativeFile::Open(const std::string& path, FileAccess access) {
  int flags = access == FileAccess::Read ? O_RDONLY : access == FileAccess::Write ? O_WRONLY : O_RDWR;
  int fd = path.empty() ? (errno = ENOENT, -1) : ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) Fail();
  return NativeFile(fd);
}

NativeFile NativeFile::Create(const std::string& path) {
  int fd = path.empty() ? (errno = ENOENT, -1)
                        : ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) Fail();
  return NativeFile(fd);
}

int64_t NativeFile::Read(void* buffer, int64_t count) {
  auto* p = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail();
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t NativeFile::Write(const void* buffer, int64_t count) {
  const auto* p = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail();
    }
    if (n == 0) {
      errno = ENOSPC;
      return Fail();
    }
    done += n;
  }
  return done;
}

int64_t NativeFile::Seek(int64_t offset, SeekOrigin origin) {
  int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
  return r < 0 ? Fail() : static_cast<int64_t>(r);
}

int64_t NativeFile::Size() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return Fail();
  return static_cast<int64_t>(st.st_size);
}

bool NativeFile::Truncate(int64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return Fail(), false;
  return true;
}

std::optional<FileStat> Stat(const std::string& path, bool followLinks) {
  struct stat st;
  int r = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
  if (path.empty() || r != 0) {
    tLastError = path.empty() ? ENOENT : errno;
    return std::nullopt;
  }
  FileStat s;
  s.isDirectory = S_ISDIR(st.st_mode);
  s.isRegular = S_ISREG(st.st_mode);
  s.isSymlink = S_ISLNK(st.st_mode);
  s.readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  s.size = static_cast<int64_t>(st.st_size);
  s.mtimeSeconds = static_cast<int64_t>(st.st_mtim.tv_sec);
  s.mtimeNanos = static_cast<int64_t>(st.st_mtim.tv_nsec);
  s.mode = st.st_mode;
  return s;
}

bool SetModificationTime(const std::string& path, int64_t seconds, int64_t nanos) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(seconds);
  times[1].tv_nsec = static_cast<long>(nanos);
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return Fail(), false;
  return true;
}

bool SetPermissions(const std::string& path, uint32_t mode) {
  if (::chmod(path.c_str(), static_cast<mode_t>(mode)) != 0) return Fail(), false;
  return true;
}

std::optional<std::vector<DirEntry>> ListDirectory(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) {
    Fail();
    return std::nullopt;
  }
  std::vector<DirEntry> entries;
  while (const dirent* e = ::readdir(dir)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    DirEntry entry;
    entry.name = e->d_name;
    switch (e->d_type) {
      case DT_REG: entry.type = DirEntry::Type::File; break;
      case DT_DIR: entry.type = DirEntry::Type::Directory; break;
      case DT_LNK: entry.type = DirEntry::Type::Symlink; break;
      case DT_UNKNOWN: entry.type = DirEntry::Type::Unknown; break;
      default: entry.type = DirEntry::Type::Other; break;
    }
    entries.push_back(std::move(entry));
  }
  ::closedir(dir);
  return entries;
}

bool MakeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) != 0) return Fail(), false;
  return true;
}

bool RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0) return Fail(), false;
  return true;
}

bool RemoveDirectory(const std::string& path) {
  if (::rmdir(path.c_str()) != 0) return Fail(), false;
  return true;
}

bool RenameFile(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return Fail(), false;
  return true;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  NativeFile f = NativeFile::Open(path, FileAccess::Read);
  if (!f.Valid()) return std::nullopt;
  std::string data;
  char buffer[65536];
  while (true) {
    int64_t n = f.Read(buffer, sizeof buffer);
    if (n < 0) return std::nullopt;
    data.append(buffer, static_cast<size_t>(n));
    if (n < static_cast<int64_t>(sizeof buffer)) break;
  }
  return data;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
  const std::string temp = path + ".tmp" + std::to_string(::getpid());
  {
    NativeFile f = NativeFile::Create(temp);
    if (!f.Valid()) return false;
    if (f.Write(bytes.data(), static_cast<int64_t>(bytes.size())) < 0 || ::fsync(f.Fd()) != 0) {
      int saved = errno;
      f.Close();
      ::unlink(temp.c_str());
      tLastError = saved;
      return false;
    }
  }
  if (!RenameFile(temp, path)) {
    int saved = tLastError;
    ::unlink(temp.c_str());
    tLastError = saved;
    return false;
  }
  return true;
}

}  // namespace platform
