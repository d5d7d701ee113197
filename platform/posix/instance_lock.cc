#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/posix_services.h"

namespace platform {

bool PosixInstanceLock::Acquire(const std::string& name) {
  std::string dir = Sys().locations->RuntimeDir();
  if (dir.empty()) {
    // No safe runtime folder: without one nothing can be shared safely, and
    // start-up has already refused to go on; let this copy run.
    return true;
  }
  std::string path = dir + "/" + name;
  // Not through a link: a link named like the lock would make us create
  // files wherever it points.
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    Debug("lock file cannot be opened(" + path + "): " + std::strerror(errno));
    return true;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return false;
  }
  // Deliberately kept open: the lock lives as long as the process.
  return true;
}

}  // namespace platform
