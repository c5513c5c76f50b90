// TFolderLock: an exclusive hold on the working folders through a lock file beside them, so that
// two runs of the program (or a run and the window) never use them at once. The system drops the
// hold with the file handle, also when the process dies.
#pragma once

#include <string>

class TFolderLock {
 public:
  explicit TFolderLock(const std::string& aLockFile);
  ~TFolderLock();
  TFolderLock(const TFolderLock&) = delete;
  TFolderLock& operator=(const TFolderLock&) = delete;
  bool Held() const { return held_; }
  // Another process holds the folders (rather than the lock file being out of reach).
  bool Busy() const { return busy_; }

 private:
  int fd_ = -1;
  bool held_ = false;
  bool busy_ = false;
};
