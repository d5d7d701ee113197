#include "bench/bench_util.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

extern char** environ;

double TimeSeconds(const std::function<void()>& fn) {
  auto start = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double BestOf(int n, const std::function<void()>& fn) {
  double best = 1e30;
  for (int i = 0; i < n; ++i) best = std::min(best, TimeSeconds(fn));
  return best;
}

bool MakeBigFile(const std::string& path, uint64_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::vector<uint64_t> block(1 << 17);  // 1 MiB
  std::mt19937_64 rng(801);
  for (uint64_t& v : block) v = rng();
  for (uint64_t done = 0; done < size;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(size - done, block.size() * 8));
    block[done / 8 % block.size()] ^= done;  // no two blocks alike
    if (write(fd, block.data(), n) != static_cast<ssize_t>(n)) {
      close(fd);
      return false;
    }
    done += n;
  }
  return close(fd) == 0;
}

int RunCommand(const std::vector<std::string>& args, const std::string& stdoutPath) {
  std::vector<char*> argv;
  std::vector<std::string> copy = args;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t pid;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunInChild(const std::function<int()>& fn, long* maxRssKiB, double* seconds) {
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) _exit(fn());
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  *maxRssKiB = usage.ru_maxrss;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string MakeTempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string tmpl = std::string(tmp ? tmp : "/tmp") + "/downloader-bench-XXXXXX";
  return mkdtemp(tmpl.data()) ? tmpl : std::string();
}

namespace {

pid_t StartFileServer(const std::string& serverProgram, const std::string& root,
                      const std::string& log) {
  pid_t pid = fork();
  if (pid == 0) {
    if (!freopen(log.c_str(), "w", stdout)) _exit(126);
    execl(serverProgram.c_str(), "assistant-server", "--port", "0", "--root", root.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

int ReadServerPort(const std::string& log) {
  for (int i = 0; i < 200; ++i) {
    std::ifstream in(log);
    std::string word;
    int port = 0;
    if (in >> word >> port && word == "port") return port;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return 0;
}

}  // namespace

bool ServeBigFile(const std::string& serverProgram, const std::string& dir, uint64_t size,
                  pid_t* server, std::string* url) {
  const std::string release = dir + "/release";
  std::filesystem::create_directories(release);
  if (!MakeBigFile(release + "/big.bin", size)) {
    std::fprintf(stderr, "cannot make the test file\n");
    return false;
  }
  *server = StartFileServer(serverProgram, release, dir + "/server.log");
  int port = ReadServerPort(dir + "/server.log");
  if (port == 0) {
    std::fprintf(stderr, "assistant-server did not start\n");
    StopServer(*server);
    return false;
  }
  *url = "http://127.0.0.1:" + std::to_string(port) + "/big.bin";
  return true;
}

void StopServer(pid_t server) {
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
}
