#include "app/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

TFolderLock::TFolderLock(const std::string& aLockFile) {
  fd_ = ::open(aLockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) return;
  held_ = ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
  busy_ = !held_ && errno == EWOULDBLOCK;
}

TFolderLock::~TFolderLock() {
  if (fd_ >= 0) ::close(fd_);
}
