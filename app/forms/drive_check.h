#pragma once
// What the new-database dialog asks of a drive and of a file, without widgets.
#include <optional>
#include <string>
#include <string_view>

namespace app {

// The file system type of the drive's mapped root ("ext4", "tmpfs", ...); empty when the
// drive is not mapped or its root is no folder.
std::string GetDriveFileSystemName(char16_t driveLetter);
// The drive can be indexed: its mapped root exists and lies on a file system that holds
// files (not a pseudo file system such as proc or sysfs).
bool DriveHasRealFileSystem(char16_t driveLetter);

// The last write time of a drive-form file as local date and time, daylight saving
// included, in the German short date and long time form "dd.mm.yyyy hh:mm:ss"; nullopt
// when the file cannot be read.
std::optional<std::u16string> DlgGetFileTimesLocal(std::u16string_view fileName);

}  // namespace app
