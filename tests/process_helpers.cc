#include "tests/process_helpers.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

Sandbox::Sandbox() {
  char tmpl[] = "/tmp/downloader-sandbox-XXXXXX";
  base_ = mkdtemp(tmpl);
  root_ = base_ + "/root";
  cwd_ = base_ + "/cwd";
  std::filesystem::create_directories(root_);
  std::filesystem::create_directories(cwd_);
}

Sandbox::~Sandbox() {
  std::error_code ec;
  std::filesystem::remove_all(base_, ec);
}

void Sandbox::WriteFile(const std::string& name, const std::string& content) const {
  std::ofstream(cwd_ + "/" + name, std::ios::binary) << content;
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && status_ < 0) {
    kill(pid_, SIGKILL);
    Wait(5000);
  }
  if (input_ >= 0) close(input_);
  if (!outputPath_.empty()) unlink(outputPath_.c_str());
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const std::string& cwd, const std::map<std::string, std::string>& env) {
  // A started object may be started again: what the earlier run left goes.
  status_ = -1;
  if (input_ >= 0) close(input_);
  input_ = -1;
  if (!outputPath_.empty()) unlink(outputPath_.c_str());
  int in[2];
  if (pipe2(in, O_CLOEXEC) != 0) return false;
  char tmpl[] = "/tmp/downloader-child-out-XXXXXX";
  int out = mkstemp(tmpl);
  outputPath_ = tmpl;

  std::map<std::string, std::string> all;
  for (char** e = environ; *e; ++e) {
    std::string kv = *e;
    size_t eq = kv.find('=');
    if (eq != std::string::npos) all[kv.substr(0, eq)] = kv.substr(eq + 1);
  }
  for (const auto& [k, v] : env) all[k] = v;
  std::vector<std::string> envText;
  for (const auto& [k, v] : all) envText.push_back(k + "=" + v);
  std::vector<char*> envp, argv;
  for (auto& s : envText) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string prog = program;
  argv.push_back(prog.data());
  std::vector<std::string> argsCopy = args;
  for (auto& a : argsCopy) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, out, 2);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out);
  input_ = in[1];
  return rc == 0;
}

void ChildProcess::Send(const std::string& text) {
  if (input_ >= 0) (void)!write(input_, text.data(), text.size());
}

void ChildProcess::CloseInput() {
  if (input_ >= 0) close(input_);
  input_ = -1;
}

int ChildProcess::Wait(int timeoutMs) {
  if (status_ >= 0) return status_;
  // Never started: waitpid(-1) would reap (or report) some other child.
  if (pid_ <= 0) return -1;
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int st = 0;
    pid_t r = waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
      status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
      return status_;
    }
    if (std::chrono::steady_clock::now() >= until) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool ChildProcess::Running() { return pid_ > 0 && Wait(0) < 0; }

void ChildProcess::Kill(int signal) {
  if (pid_ > 0 && status_ < 0) kill(pid_, signal);
}

std::string ChildProcess::Output() const { return ReadFileText(outputPath_); }

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::string BinPath(const std::string& name) { return std::string(TEST_BIN_DIR) + "/" + name; }

int CountSockets(const std::string& folder) {
  int count = 0;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return 0;
  while (dirent* e = readdir(dir)) {
    std::string n = e->d_name;
    if (n.size() > 5 && n.compare(n.size() - 5, 5, ".sock") == 0) ++count;
  }
  closedir(dir);
  return count;
}

int StartAssistantServer(ChildProcess& server, const std::vector<std::string>& args) {
  std::vector<std::string> all = args;
  all.push_back("--port");
  all.push_back("0");
  if (!server.Start(BinPath("assistant-server"), all, "/", {})) return 0;
  int port = 0;
  WaitUntil(
      [&] {
        std::string out = server.Output();
        size_t at = out.find("port ");
        if (at == std::string::npos || out.find('\n', at) == std::string::npos) return false;
        port = std::atoi(out.c_str() + at + 5);
        return true;
      },
      20000);
  return port;
}

void InFolder(const std::string& dir, const std::function<void()>& fn) {
  std::string saved = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  fn();
  std::filesystem::current_path(saved);
}

void ScopedEnv::Set(const char* name, const char* value) {
  const char* old = std::getenv(name);
  saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
  if (value) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    if (it->second) {
      setenv(it->first.c_str(), it->second->c_str(), 1);
    } else {
      unsetenv(it->first.c_str());
    }
  }
}

void InstallStandIns(const std::string& folder, const std::vector<std::string>& names) {
  std::filesystem::create_directories(folder);
  for (const std::string& name : names) {
    std::filesystem::copy_file(BinPath("assistant-standin"), folder + "/" + name,
                               std::filesystem::copy_options::overwrite_existing);
  }
}

std::vector<std::string> StandInLog(const std::string& folder, const std::string& name) {
  std::vector<std::string> lines;
  std::istringstream in(ReadFileText(folder + "/" + name + ".log"));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}
