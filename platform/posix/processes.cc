#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/posix/posix_services.h"

extern char** environ;

namespace platform {
namespace {

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The executable's base name of a process: the file /proc/<pid>/exe names
// (a replaced file shows as "name (deleted)"), else the kernel's short name.
std::string ExeNameOf(long pid) {
  char link[4096];
  std::string proc = "/proc/" + std::to_string(pid);
  ssize_t n = readlink((proc + "/exe").c_str(), link, sizeof link - 1);
  if (n > 0) {
    std::string path(link, static_cast<size_t>(n));
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() &&
        path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
      path.resize(path.size() - deleted.size());
    return BaseName(path);
  }
  std::ifstream comm(proc + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// True while /proc shows the process and it is not a zombie.
bool Alive(long pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return false;
  size_t close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z' &&
         text[close + 2] != 'X';
}

}  // namespace

std::vector<ProcessEntry> PosixProcesses::List() {
  std::vector<ProcessEntry> list;
  DIR* dir = opendir("/proc");
  if (!dir) return list;
  while (dirent* e = readdir(dir)) {
    char* end = nullptr;
    long pid = std::strtol(e->d_name, &end, 10);
    if (pid <= 0 || *end != '\0' || !Alive(pid)) continue;
    std::string name = ExeNameOf(pid);
    if (!name.empty()) list.push_back({pid, name});
  }
  closedir(dir);
  std::sort(list.begin(), list.end(),
            [](const ProcessEntry& a, const ProcessEntry& b) { return a.id < b.id; });
  return list;
}

bool PosixProcesses::Terminate(int64_t id, uint32_t) {
  // SIGKILL cannot carry an exit code; the process ends as killed.
  return id > 0 && kill(static_cast<pid_t>(id), SIGKILL) == 0;
}

void PosixProcesses::WaitForExit(int64_t id) {
  if (id <= 0) return;
  // A pidfd becomes readable when the process ends, whoever its parent is.
  int fd = static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(id), 0));
  if (fd >= 0) {
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
    close(fd);
    return;
  }
  while (Alive(static_cast<long>(id))) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

bool PosixProcesses::Start(const std::string& program, const std::string& parameters, ShowMode show,
                           bool waitForExit) {
  std::vector<std::string> args = SplitWindowsCommandLine(parameters);
  args.insert(args.begin(), program);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // Shown or hidden reaches the program as an environment variable.
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "DOWNLOADER_SHOW=", 16) != 0) env.push_back(*e);
  }
  env.push_back(std::string("DOWNLOADER_SHOW=") + (show == ShowMode::Shown ? "shown" : "hidden"));
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd : {0, 1, 2})
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  // A session of its own: the program outlives this one and its terminal.
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  int rc = program.find('/') == std::string::npos
               ? posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data())
               : posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    Debug("program cannot be started(" + program + "): " + std::strerror(rc));
    return false;
  }
  if (waitForExit) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
  }
  // Reaped in the background, so that no ended program stays a zombie.
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

std::string PosixProcesses::OwnExecutablePath() {
  char link[4096];
  ssize_t n = readlink("/proc/self/exe", link, sizeof link - 1);
  return n > 0 ? std::string(link, static_cast<size_t>(n)) : std::string();
}

void PosixClock::SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace platform
