#include "app/forms/drive_check.h"

#include <sys/statfs.h>

#include <QDateTime>
#include <array>
#include <cstdint>
#include <utility>

#include "app/settings/qt_text.h"
#include "platform/drives.h"
#include "platform/file.h"

namespace app {
namespace {

struct FsName {
  int64_t magic;
  const char* name;
  bool holdsFiles;
};
// statfs magic numbers (linux/magic.h).
constexpr std::array<FsName, 32> kFileSystems{{
    {0xEF53, "ext4", true},          {0x58465342, "xfs", true},       {0x9123683E, "btrfs", true},
    {0x01021994, "tmpfs", true},     {0x4D44, "vfat", true},          {0x2011BAB0, "exfat", true},
    {0x5346544E, "ntfs", true},      {0x65735546, "fuse", true},      {0x6969, "nfs", true},
    {0xFF534D42, "cifs", true},      {0xFE534D42, "smb2", true},      {0x794C7630, "overlay", true},
    {0x9660, "iso9660", true},       {0x15013346, "udf", true},       {0xF2F52010, "f2fs", true},
    {0x2FC12FC1, "zfs", true},       {0x52654973, "reiserfs", true},  {0x3153464A, "jfs", true},
    {0x73717368, "squashfs", true},  {0x858458F6, "ramfs", true},     {0x01021997, "9p", true},
    {0x9FA0, "proc", false},         {0x62656572, "sysfs", false},    {0x1CD1, "devpts", false},
    {0x27E0EB, "cgroup", false},     {0x63677270, "cgroup2", false},  {0x64626720, "debugfs", false},
    {0x73636673, "securityfs", false}, {0x6165676C, "pstore", false}, {0xCAFE4A11, "bpf", false},
    {0x74726163, "tracefs", false},  {0x19800202, "mqueue", false},
}};

std::optional<struct statfs> StatDriveRoot(char16_t driveLetter) {
  if (driveLetter >= u'a' && driveLetter <= u'z') driveLetter = char16_t(driveLetter - u'a' + u'A');
  if (driveLetter < u'A' || driveLetter > u'Z') return std::nullopt;
  auto root = platform::Drives().Root(char(driveLetter));
  if (!root) return std::nullopt;
  auto st = platform::Stat(*root);
  if (!st || !st->isDirectory) return std::nullopt;
  struct statfs fs {};
  if (statfs(root->c_str(), &fs) != 0) return std::nullopt;
  return fs;
}

}  // namespace

std::string GetDriveFileSystemName(char16_t driveLetter) {
  auto fs = StatDriveRoot(driveLetter);
  if (!fs) return {};
  const int64_t magic = int64_t(uint32_t(fs->f_type));
  for (const FsName& f : kFileSystems) {
    if (f.magic == magic) return f.name;
  }
  return "unknown";
}

bool DriveHasRealFileSystem(char16_t driveLetter) {
  auto fs = StatDriveRoot(driveLetter);
  if (!fs) return false;
  const int64_t magic = int64_t(uint32_t(fs->f_type));
  for (const FsName& f : kFileSystems) {
    if (f.magic == magic) return f.holdsFiles;
  }
  // A file system we do not know by number still holds files when it reports blocks.
  return fs->f_blocks > 0;
}

std::optional<std::u16string> DlgGetFileTimesLocal(std::u16string_view fileName) {
  auto st = platform::Stat(platform::PosixPath(fileName));
  if (!st || st->isDirectory) return std::nullopt;
  const QDateTime local = QDateTime::fromSecsSinceEpoch(st->mtimeSeconds).toLocalTime();
  return FromQ(local.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
}

}  // namespace app
