#include "tests/pty_session.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

PtySession::~PtySession() {
  if (pid_ > 0 && status_ < 0) {
    kill(pid_, SIGKILL);
    Wait(5000);
  }
  stopping_ = true;
  if (reader_.joinable()) reader_.join();
  if (master_ >= 0) close(master_);
}

bool PtySession::Start(const std::string& program, const std::vector<std::string>& args,
                       const std::string& cwd, const std::map<std::string, std::string>& env) {
  // Everything the child needs is made before the fork: between fork and
  // exec a threaded process may only make async-signal-safe calls.
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    if (!env.count(entry.substr(0, entry.find('=')))) environment.push_back(entry);
  }
  for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  struct winsize size {};
  size.ws_row = 40;
  size.ws_col = static_cast<unsigned short>(columns);
  pid_ = forkpty(&master_, nullptr, nullptr, &size);
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(126);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  reader_ = std::thread([this] { Reader(); });
  return true;
}

void PtySession::Reader() {
  char buffer[4096];
  while (!stopping_) {
    // Programs the session started may keep the terminal open after it
    // ended: the reader stops when asked, not only at the end of input.
    struct pollfd p {
      master_, POLLIN, 0
    };
    if (poll(&p, 1, 100) <= 0) continue;
    ssize_t n = read(master_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    // EIO once the program and its children have closed the terminal.
    if (n <= 0) {
      ended_ = true;
      return;
    }
    output_.append(buffer, static_cast<size_t>(n));
  }
}

bool PtySession::WaitFor(const std::string& text, int timeoutMs) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    // Once the program has ended, what it wrote is read within a moment.
    if (Wait(0) >= 0) {
      auto grace = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
      if (grace < until) until = grace;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      size_t at = output_.find(text, mark_);
      if (at != std::string::npos) {
        mark_ = at + text.size();
        return true;
      }
      if (ended_) return false;
    }
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void PtySession::Type(const std::string& line) {
  std::string keys = line + "\r";
  ssize_t n = write(master_, keys.data(), keys.size());
  (void)n;
}

int PtySession::Wait(int timeoutMs) {
  if (status_ >= 0) return status_;
  if (pid_ <= 0) return -1;
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int st = 0;
    if (waitpid(pid_, &st, WNOHANG) == pid_) {
      status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
      return status_;
    }
    if (std::chrono::steady_clock::now() >= until) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void PtySession::Kill(int signal) {
  if (pid_ > 0 && status_ < 0) kill(pid_, signal);
}

std::string PtySession::Screen() {
  std::lock_guard<std::mutex> lock(mutex_);
  return output_;
}
