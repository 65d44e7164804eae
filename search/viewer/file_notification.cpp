#include "search/viewer/file_notification.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QFileSystemWatcher>

#include "platform/drives.h"

namespace search {

namespace {

QString ToQString(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

int64_t Nanos(const struct statx_timestamp& t) { return t.tv_sec * 1000000000LL + t.tv_nsec; }

}  // namespace

TFileNotification::TFileNotification(QObject* parent) : QObject(parent) {
  timer_.setSingleShot(true);
  timer_.setInterval(100);
  connect(&timer_, &QTimer::timeout, this, [this] {
    RearmFile();
    emit Changed();
  });
}

TFileNotification::~TFileNotification() { Stop(); }

void TFileNotification::SetDirectory(const std::u16string& directory) {
  if (directory == directory_) return;
  directory_ = directory;
  fileName_.clear();
}

void TFileNotification::SetFileName(const std::u16string& fileName) {
  if (fileName == fileName_) return;
  fileName_ = fileName;
  directory_.clear();
}

TFileNotification::Snapshot TFileNotification::Take(const std::string& path) {
  Snapshot s;
  struct statx st {};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &st) != 0) return s;
  s.exists = true;
  s.mode = st.stx_mode;
  s.size = static_cast<int64_t>(st.stx_size);
  s.writeNs = Nanos(st.stx_mtime);
  s.accessNs = Nanos(st.stx_atime);
  s.changeNs = (st.stx_mask & STATX_BTIME) ? Nanos(st.stx_btime) : Nanos(st.stx_ctime);
  s.device = (static_cast<uint64_t>(st.stx_dev_major) << 32) | st.stx_dev_minor;
  s.inode = st.stx_ino;
  return s;
}

bool TFileNotification::Differs(const Snapshot& now) const {
  const Snapshot& was = snapshot_;
  if (now.exists != was.exists) return true;
  if (!now.exists) return false;
  // A file replaced by a rename is another file even with the same size and time; the
  // viewer still reads the old one until it reloads.
  if (now.inode != was.inode || now.device != was.device) return true;
  if ((Options & foNotifyAttributes) && now.mode != was.mode) return true;
  if ((Options & foNotifySize) && now.size != was.size) return true;
  if ((Options & foNotifyLastWrite) && now.writeNs != was.writeNs) return true;
  if ((Options & foNotifyLastAccess) && now.accessNs != was.accessNs) return true;
  if ((Options & foNotifyCreation) && now.changeNs != was.changeNs) return true;
  return false;
}

void TFileNotification::Start() {
  if (active_) return;
  active_ = true;
  watcher_ = new QFileSystemWatcher(this);
  connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this] { OnNotice(); });
  connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { OnNotice(); });
  if (!fileName_.empty()) {
    filePath_ = platform::PosixPath(fileName_);
    const QString file = ToQString(filePath_);
    watcher_->addPath(QFileInfo(file).absolutePath());
    snapshot_ = Take(filePath_);
    if (snapshot_.exists) watcher_->addPath(file);
    watchedInode_ = snapshot_.inode;
  } else {
    filePath_.clear();
    const QString folder = ToQString(platform::PosixPath(directory_));
    watcher_->addPath(folder);
    if (Subtree) AddSubfolders(folder);
  }
}

void TFileNotification::Stop() {
  if (!active_) return;
  active_ = false;
  timer_.stop();
  delete watcher_;
  watcher_ = nullptr;
}

void TFileNotification::AddSubfolders(const QString& folder) {
  QDirIterator it(folder, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDirIterator::Subdirectories);
  QStringList folders;
  while (it.hasNext()) folders << it.next();
  if (!folders.isEmpty()) watcher_->addPaths(folders);
}

void TFileNotification::OnNotice() {
  if (!active_) return;
  if (filePath_.empty()) {
    if (Subtree) AddSubfolders(ToQString(platform::PosixPath(directory_)));  // new subfolders
    timer_.start();
    return;
  }
  const Snapshot now = Take(filePath_);
  if (Differs(now)) {
    snapshot_ = now;
    timer_.start();
  }
  RearmFile();
}

void TFileNotification::RearmFile() {
  if (!active_ || filePath_.empty() || !watcher_) return;
  const QString file = ToQString(filePath_);
  const Snapshot now = Take(filePath_);
  const bool watched = watcher_->files().contains(file);
  // After a rename over the file the watch is still on the old inode: watch the name anew.
  if (watched && (!now.exists || now.inode != watchedInode_)) watcher_->removePath(file);
  if (now.exists && (!watched || now.inode != watchedInode_)) {
    watcher_->addPath(file);
    watchedInode_ = now.inode;
  }
}

}  // namespace search
