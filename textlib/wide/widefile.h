#pragma once
// Wide file functions on drive-form paths. Handles are platform::NativeFile (invalid =
// the platform's INVALID_HANDLE_VALUE), so the streams can take them over directly.
// Share modes are checked against the table but not enforced: POSIX has no such locks.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace textlib {

using platform::NativeFile;

// Attributes as the program's callers test them.
inline constexpr int32_t faInvalid = -1;
inline constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr uint32_t FILE_ATTRIBUTE_HIDDEN = 0x02;     // names beginning with "."
inline constexpr uint32_t FILE_ATTRIBUTE_SYSTEM = 0x04;     // devices, sockets, pipes
inline constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;     // a plain file, nothing else

// Access, share and creation values of WideCreateFile.
inline constexpr uint32_t GENERIC_READ = 0x80000000u;
inline constexpr uint32_t GENERIC_WRITE = 0x40000000u;
inline constexpr uint32_t FILE_SHARE_READ = 0x1;
inline constexpr uint32_t FILE_SHARE_WRITE = 0x2;
inline constexpr uint32_t CREATE_ALWAYS = 2;
inline constexpr uint32_t OPEN_EXISTING = 3;

// Open modes of WideFileOpen: access in bits 0-1, sharing in bits 4-7.
inline constexpr uint32_t fmOpenRead = 0x0000;
inline constexpr uint32_t fmOpenWrite = 0x0001;
inline constexpr uint32_t fmOpenReadWrite = 0x0002;
inline constexpr uint32_t fmShareCompat = 0x0000;
inline constexpr uint32_t fmShareExclusive = 0x0010;
inline constexpr uint32_t fmShareDenyWrite = 0x0020;
inline constexpr uint32_t fmShareDenyRead = 0x0030;
inline constexpr uint32_t fmShareDenyNone = 0x0040;

// Error codes of the find functions (errno values, as platform::LastError gives them).
int ErrorFileNotFound();
int ErrorNoMoreFiles();

// Supports CREATE_ALWAYS and OPEN_EXISTING; anything else gives an invalid handle.
// A folder never opens as a file.
NativeFile WideCreateFile(std::u16string_view name, uint32_t access, uint32_t shareMode,
                          uint32_t creationDisposition);
// Replaces or creates the file, write-only, readable by others.
NativeFile WideFileCreate(std::u16string_view name);
// The extractor's create: the file is open for reading and writing.
NativeFile WideFileCreateReadWrite(std::u16string_view name);
// An existing file by an fm* mode. A mode outside the table (access 3, sharing above
// fmShareDenyNone) gives an invalid handle.
NativeFile WideFileOpen(std::u16string_view name, uint32_t mode);

// The attributes, or faInvalid (-1) when the path does not exist.
int32_t WideFileGetAttr(std::u16string_view name);
bool WideFileExists(std::u16string_view name);
bool WideDirectoryExists(std::u16string_view name);

struct FindState;  // the open listing of one search

// The wide find data of the current entry.
struct TWin32FindDataW {
  uint32_t dwFileAttributes = 0;
  int64_t lastWriteSeconds = 0;  // since the Unix epoch
  int64_t lastWriteNanos = 0;
  int64_t nFileSize = 0;
  std::u16string cFileName;
};

struct TSearchRecW {
  TSearchRecW();
  ~TSearchRecW();
  TSearchRecW(TSearchRecW&&) noexcept;
  TSearchRecW& operator=(TSearchRecW&&) noexcept;

  int32_t Time = 0;  // DOS date (high word) and time (low word) of the last write, local
  int64_t Size = 0;
  int32_t Attr = 0;
  std::u16string Name;
  int32_t ExcludeAttr = 0;
  std::unique_ptr<FindState> FindHandle;  // empty when closed
  TWin32FindDataW FindData;
};

// path = folder + mask ("T:\dir\*.htm"). The mask matches as on Windows, case-insensitive:
// "*" any run, "?" one character, and "*.*", "name.*" and "*." also take names without
// a dot.
// 0 or an error code; a non-zero result leaves the search closed.
int WideFindFirst(std::u16string_view path, int32_t attributes, TSearchRecW& rec);
int WideFindNext(TSearchRecW& rec);
void WideFindClose(TSearchRecW& rec);

// The local time of a Unix time as DOS date and time (years clamped to 1980-2107).
int32_t UnixTimeToDosDateTime(int64_t seconds);

// Path parts of drive-form names, split at the last "\" or ":".
size_t WideLastDelimiter(std::u16string_view delimiters, std::u16string_view text);  // 1-based, 0 none
std::u16string WideExtractFilePath(std::u16string_view name);
std::u16string WideExtractFileName(std::u16string_view name);
std::u16string WideExtractFileExt(std::u16string_view name);

// The program's executable in drive form; raises the last system error when it has none.
std::u16string WideGetModuleFileName();
// The program's arguments, from main. Without this call they come from /proc/self/cmdline.
void SetWideParams(int argc, const char* const* argv);
// 0 is the executable; past the last parameter, empty. Empty arguments are skipped, as
// the Windows command-line rules cannot produce them.
std::u16string WideParamStr(int index);
int WideParamCount();

}  // namespace textlib
