#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return;
  char stamp[32];
  time_t now = time(nullptr);
  struct tm tmNow {};
  localtime_r(&now, &tmNow);
  strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tmNow);
  // One write per line, so lines of concurrent processes never interleave.
  WriteAll(fd, std::string(stamp) + " [" + std::to_string(getpid()) + "] " + line + "\n");
  close(fd);
}

void PosixProcessExit::Immediate(int code) {
  // The log is written unbuffered; flush what the front end printed. Only the
  // output streams: another thread may be blocked reading standard input
  // while holding its lock.
  fflush(stdout);
  fflush(stderr);
  _Exit(code);
}

void PosixProcessExit::Normal(int code) { std::exit(code); }

}  // namespace platform
