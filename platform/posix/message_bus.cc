#include <dirent.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/posix/posix_services.h"

namespace platform {
namespace {

// Registered message ids lie in the range RegisterWindowMessage uses on Windows.
constexpr uint32_t kFirstId = 0xC000;
constexpr uint32_t kIdCount = 0x4000;

struct Wire {
  uint32_t id;
  uint32_t reserved;
  uint64_t wParam;
  int64_t lParam;
};

uint32_t IdOfName(const std::string& name) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (unsigned char c : name) {
    h ^= c;
    h *= 16777619u;
  }
  return kFirstId + h % kIdCount;
}

bool FillAddress(const std::string& path, sockaddr_un* addr) {
  std::memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  if (path.size() >= sizeof addr->sun_path) return false;
  std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
  return true;
}

class SocketListener : public BroadcastListener {
 public:
  SocketListener(int fd, int wake, std::string path, uint32_t id,
                 std::function<void(const BroadcastMessage&)> handler)
      : fd_(fd), wake_(wake), path_(std::move(path)), id_(id), handler_(std::move(handler)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~SocketListener() override {
    uint64_t one = 1;
    (void)!write(wake_, &one, sizeof one);
    thread_.join();
    unlink(path_.c_str());
    close(fd_);
    close(wake_);
  }

 private:
  void Run() {
    for (;;) {
      pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents) return;
      Wire w{};
      ssize_t n = recv(fd_, &w, sizeof w, 0);
      if (n != static_cast<ssize_t>(sizeof w) || w.id != id_) continue;
      handler_(BroadcastMessage{w.id, w.wParam, w.lParam});
    }
  }

  int fd_;
  int wake_;
  std::string path_;
  uint32_t id_;
  std::function<void(const BroadcastMessage&)> handler_;
  std::thread thread_;
};

}  // namespace

uint32_t PosixMessageBus::Register(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) return 0;
  std::string runtime = Sys().locations->RuntimeDir();
  if (runtime.empty()) return 0;  // no safe place to meet other copies
  std::string folder = runtime + "/" + name;
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return 0;
  uint32_t id = IdOfName(name);
  std::lock_guard<std::mutex> lock(mutex_);
  names_[id] = name;
  return id;
}

std::string PosixMessageBus::FolderOf(uint32_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = names_.find(id);
  if (it == names_.end()) return {};
  std::string runtime = Sys().locations->RuntimeDir();
  return runtime.empty() ? std::string() : runtime + "/" + it->second;
}

void PosixMessageBus::Broadcast(uint32_t id, uint64_t wParam, int64_t lParam) {
  std::string folder = FolderOf(id);
  if (folder.empty()) return;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  Wire w{id, 0, wParam, lParam};
  while (fd >= 0) {
    dirent* e = readdir(dir);
    if (!e) break;
    std::string name = e->d_name;
    if (name.size() < 5 || name.compare(name.size() - 5, 5, ".sock") != 0) continue;
    std::string path = folder + "/" + name;
    sockaddr_un addr;
    if (!FillAddress(path, &addr)) continue;
    if (sendto(fd, &w, sizeof w, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&addr), sizeof addr) <
            0 &&
        errno == ECONNREFUSED) {
      unlink(path.c_str());  // its process is gone
    }
  }
  if (fd >= 0) close(fd);
  closedir(dir);
}

std::unique_ptr<BroadcastListener> PosixMessageBus::Listen(
    uint32_t id, std::function<void(const BroadcastMessage&)> handler) {
  std::string folder = FolderOf(id);
  if (folder.empty()) return nullptr;
  static std::atomic<unsigned> counter{0};
  std::string path =
      folder + "/" + std::to_string(getpid()) + "." + std::to_string(counter++) + ".sock";
  sockaddr_un addr;
  if (!FillAddress(path, &addr)) {
    Debug("broadcast socket path too long(" + path + ")");
    return nullptr;
  }
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  unlink(path.c_str());
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return nullptr;
  }
  int wake = eventfd(0, EFD_CLOEXEC);
  if (wake < 0) {
    unlink(path.c_str());
    close(fd);
    return nullptr;
  }
  return std::make_unique<SocketListener>(fd, wake, path, id, std::move(handler));
}

}  // namespace platform
