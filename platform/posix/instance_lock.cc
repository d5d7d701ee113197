#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/posix/posix_services.h"

namespace platform {

bool PosixInstanceLock::Acquire(const std::string& name) {
  std::string path = Sys().locations->RuntimeDir() + "/" + name;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    Debug("lock file cannot be opened(" + path + ")");
    // Without a lock file nothing can be shared; let this copy run.
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
