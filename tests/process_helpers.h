// Starting the real programs in a sandbox, for end-to-end tests.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// A fresh sandbox root and current folder below a new temporary folder,
// removed when the object goes.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  const std::string& root() const { return root_; }
  const std::string& cwd() const { return cwd_; }
  void WriteFile(const std::string& relativeToCwd, const std::string& content) const;

 private:
  std::string base_;
  std::string root_;
  std::string cwd_;
};

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts program with args, in cwd, with the extra environment variables
  // (added to this process's environment). Standard input is a pipe kept
  // open until CloseInput; output goes to a file readable with Output().
  bool Start(const std::string& program, const std::vector<std::string>& args,
             const std::string& cwd, const std::map<std::string, std::string>& env);
  void Send(const std::string& text);
  void CloseInput();
  // Exit code once ended, waiting at most timeoutMs; -1 while it still runs,
  // 128 + signal when killed by one.
  int Wait(int timeoutMs);
  bool Running();
  void Kill(int signal);
  std::string Output() const;
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int status_ = -1;
  std::string outputPath_;
};

// Sets environment variables for the object's lifetime (a null value unsets).
class ScopedEnv {
 public:
  ScopedEnv() = default;
  ScopedEnv(const char* name, const std::string& value) { Set(name, value.c_str()); }
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  void Set(const char* name, const char* value);

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Copies the assistant stand-in into folder under each of the names.
void InstallStandIns(const std::string& folder, const std::vector<std::string>& names);
// Lines of a stand-in's log ("<name>.log" beside it).
std::vector<std::string> StandInLog(const std::string& folder, const std::string& name);

// Polls until the condition holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs);
std::string BinPath(const std::string& name);
// Number of files ending in ".sock" in a folder.
int CountSockets(const std::string& folder);

// Starts assistant-server with the arguments (plus --port 0) and returns
// the port it listens on, or 0.
int StartAssistantServer(ChildProcess& server, const std::vector<std::string>& args);

// A whole file's bytes (empty when it cannot be read).
std::string ReadFileText(const std::string& path);

// Runs fn with the current folder switched to dir.
void InFolder(const std::string& dir, const std::function<void()>& fn);
