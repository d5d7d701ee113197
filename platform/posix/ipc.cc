// The pipe is a FIFO named after the pipe's last component in the runtime
// folder's "pipe/"; the events are POSIX named semaphores open to every user.
#include <fcntl.h>
#include <poll.h>
#include <semaphore.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/posix/posix_services.h"

namespace platform {
namespace {

std::string LastComponent(const std::string& name) {
  size_t sep = name.rfind('\\');
  return sep == std::string::npos ? name : name.substr(sep + 1);
}

std::string FifoPath(const std::string& pipeName) {
  std::string runtime = Sys().locations->RuntimeDir();
  if (runtime.empty()) return {};
  MakeFolders(runtime + "/pipe", 0700);
  return runtime + "/pipe/" + LastComponent(pipeName);
}

// "Global\Name" as a semaphore name. In a sandbox the root's hash is added,
// so that sandboxes never share events.
std::string SemaphoreName(const std::string& name) {
  std::string sem = "/";
  for (char c : name) sem += c == '\\' || c == '/' ? '.' : c;
  std::string root = GetEnv("DOWNLOADER_ROOT");
  if (!root.empty()) {
    uint32_t h = 2166136261u;  // FNV-1a
    for (unsigned char c : root) h = (h ^ c) * 16777619u;
    char tag[16];
    std::snprintf(tag, sizeof tag, "@%08x", h);
    sem += tag;
  }
  return sem;
}

class FifoWriter : public PipeWriter {
 public:
  explicit FifoWriter(int fd) : fd_(fd) {}
  ~FifoWriter() override { close(fd_); }
  long long Write(const void* data, size_t size) override { return write(fd_, data, size); }

 private:
  int fd_;
};

class FifoReader : public PipeReader {
 public:
  FifoReader(int fd, int keepOpen) : fd_(fd), keepOpen_(keepOpen) {}
  ~FifoReader() override {
    close(fd_);
    close(keepOpen_);
  }
  long long Read(void* data, size_t size, int timeoutMs) override {
    pollfd p{fd_, POLLIN, 0};
    int r = poll(&p, 1, timeoutMs);
    if (r < 0) return errno == EINTR ? 0 : -1;
    if (r == 0) return 0;
    ssize_t n = read(fd_, data, size);
    return n < 0 && errno == EAGAIN ? 0 : n;
  }

 private:
  int fd_;
  int keepOpen_;  // our own writer, so that the pipe never reads as ended
};

class Semaphore : public NamedEvent {
 public:
  explicit Semaphore(sem_t* sem) : sem_(sem) {}
  ~Semaphore() override { sem_close(sem_); }
  bool Signal() override {
    // Auto-reset: a second signal before anyone waits changes nothing.
    int value = 0;
    if (sem_getvalue(sem_, &value) == 0 && value > 0) return true;
    return sem_post(sem_) == 0;
  }
  bool TryTake() { return sem_trywait(sem_) == 0; }

 private:
  sem_t* sem_;
};

}  // namespace

std::unique_ptr<PipeWriter> PosixIpc::OpenPipe(const std::string& pipeName) {
  std::string path = FifoPath(pipeName);
  if (path.empty()) return nullptr;
  // Without a reader the open fails at once (ENXIO) instead of waiting.
  int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<FifoWriter>(fd);
}

std::unique_ptr<PipeReader> PosixIpc::ServePipe(const std::string& pipeName) {
  std::string path = FifoPath(pipeName);
  if (path.empty()) return nullptr;
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0 && !S_ISFIFO(st.st_mode)) unlink(path.c_str());
  if (mkfifo(path.c_str(), 0600) != 0 && errno != EEXIST) return nullptr;
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return nullptr;
  int keep = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  if (keep < 0) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<FifoReader>(fd, keep);
}

std::unique_ptr<NamedEvent> PosixIpc::CreateEvent(const std::string& name) {
  const std::string semName = SemaphoreName(name);
  sem_t* sem = sem_open(semName.c_str(), O_CREAT | O_EXCL, 0666, 0);
  if (sem != SEM_FAILED) {
    // Open to every user whatever the umask, as a null DACL is on Windows.
    chmod(("/dev/shm/sem." + semName.substr(1)).c_str(), 0666);
  } else if (errno == EEXIST) {
    sem = sem_open(semName.c_str(), 0);
  }
  if (sem == SEM_FAILED) return nullptr;
  return std::make_unique<Semaphore>(sem);
}

int PosixIpc::WaitForAny(const std::vector<NamedEvent*>& events, uint32_t timeoutMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    for (size_t i = 0; i < events.size(); ++i) {
      auto* sem = dynamic_cast<Semaphore*>(events[i]);
      if (!sem) return -1;
      if (sem->TryTake()) return static_cast<int>(i);
    }
    if (std::chrono::steady_clock::now() >= until) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace platform
