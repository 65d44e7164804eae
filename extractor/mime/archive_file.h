#pragma once
// Where an archive of the job list lies and how large it is. Paths come in drive form
// ("C:\a\b.mht"), as POSIX paths or as file:// URLs; the size is the 64-bit size of exactly
// that file (no pattern matching of "*", "?" or "[" in its name).
#include <cstdint>
#include <string>
#include <string_view>

namespace extractor {

// The POSIX path of a drive-form path, a POSIX path or a file:// URL (percent-decoded);
// empty when there is none (unknown drive, another scheme).
std::string ArchivePosixPath(std::u16string_view pathOrUrl);

// The size of the regular file at the path (symbolic links followed); -1 when there is no
// such file or it is a folder or something else.
int64_t ArchiveFileSize(std::u16string_view pathOrUrl);

}  // namespace extractor
