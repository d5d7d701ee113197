// A program run in a pseudo-terminal, driven as a user would: wait for a
// text to appear on the screen, type a line, read everything shown.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class PtySession {
 public:
  PtySession() = default;
  ~PtySession();
  PtySession(const PtySession&) = delete;
  PtySession& operator=(const PtySession&) = delete;

  // Starts program with args in cwd, with extra environment variables, on a
  // new terminal of columns × 40.
  bool Start(const std::string& program, const std::vector<std::string>& args,
             const std::string& cwd, const std::map<std::string, std::string>& env);
  // Waits until text appears in what was shown after the last text waited
  // for; false when the time is up or the program has ended without it.
  bool WaitFor(const std::string& text, int timeoutMs = 20000);
  // Types a line (the keys, then Enter).
  void Type(const std::string& line);
  // Exit code once ended, waiting at most timeoutMs; -1 while it runs.
  int Wait(int timeoutMs);
  void Kill(int signal);
  // Everything the program has shown, escape sequences included.
  std::string Screen();

  int columns = 120;

 private:
  void Reader();

  pid_t pid_ = -1;
  int master_ = -1;
  int status_ = -1;
  std::mutex mutex_;
  std::string output_;
  size_t mark_ = 0;
  bool ended_ = false;
  std::atomic<bool> stopping_{false};
  std::thread reader_;
};
