#pragma once
// The viewer's file watch: a folder, or one file, watched through QFileSystemWatcher on
// the GUI thread (no worker thread). Every notice only (re)starts a 100 ms timer, so a
// burst of writes gives one Changed event. A single file is watched together with its
// folder: a file replaced by a rename drops the watch on the old file, and the folder's
// notice brings the new one into the watch again.
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <string>

class QFileSystemWatcher;

namespace search {

enum TFileNotifyOption : uint32_t {
  foNotifyFilename = 1,
  foNotifyDirname = 2,
  foNotifyAttributes = 4,
  foNotifySize = 8,
  foNotifyLastWrite = 16,
  foNotifyLastAccess = 32,
  foNotifyCreation = 64,
  foNotifySecurity = 256,
};
using TFileNotifyOptions = uint32_t;

class TFileNotification : public QObject {
  Q_OBJECT

 public:
  explicit TFileNotification(QObject* parent = nullptr);
  ~TFileNotification() override;

  // Drive-form names; setting one to a new value clears the other.
  const std::u16string& Directory() const { return directory_; }
  void SetDirectory(const std::u16string& directory);
  const std::u16string& FileName() const { return fileName_; }
  void SetFileName(const std::u16string& fileName);
  bool Subtree = false;
  TFileNotifyOptions Options = foNotifyFilename | foNotifyDirname | foNotifyLastWrite;

  void Start();
  void Stop();
  bool Active() const { return active_; }
  void SetActive(bool active) { active ? Start() : Stop(); }

  // The coalescing timer (for tests: whether a Changed event is due).
  const QTimer& Timer() const { return timer_; }

 signals:
  // On the GUI thread, 100 ms after the last notice of a burst.
  void Changed();

 private:
  struct Snapshot {
    bool exists = false;
    uint32_t mode = 0;
    int64_t size = 0;
    int64_t writeNs = 0, accessNs = 0, changeNs = 0;
    uint64_t device = 0, inode = 0;
  };
  static Snapshot Take(const std::string& path);
  bool Differs(const Snapshot& now) const;
  void OnNotice();
  // Watches the file again after it was replaced or created anew.
  void RearmFile();
  void AddSubfolders(const QString& folder);

  std::u16string directory_, fileName_;
  bool active_ = false;
  QTimer timer_;
  QFileSystemWatcher* watcher_ = nullptr;
  std::string filePath_;  // POSIX path in file mode, else empty
  Snapshot snapshot_;
  uint64_t watchedInode_ = 0;
};

}  // namespace search
