#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "platform/posix/posix_services.h"

namespace platform {
namespace {

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

void PosixDiagnosticLog::Write(const std::string& line) {
  if (GetEnv("DOWNLOADER_DEBUG") == "1") WriteAll(2, line + "\n");
  std::string path = Sys().locations->TempDir() + "/downloader.log";
  // Never through a link, and never into a file another user put there.
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
    close(fd);
    return;
  }
  char stamp[32];
  time_t now = time(nullptr);
  struct tm tmNow {};
  localtime_r(&now, &tmNow);
  strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tmNow);
  // One write per line, so lines of concurrent processes never interleave.
  WriteAll(fd, std::string(stamp) + " [" + std::to_string(getpid()) + "] " + line + "\n");
  close(fd);
}

}  // namespace platform
