// Other processes: the process list, terminating, waiting, starting
// programs as the Windows shell does, and sleeping.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct ProcessEntry {
  int64_t id = 0;       // never 0: the id 0 stands for no process
  std::string exeName;  // executable file name without folder
};

enum class ShowMode { Shown, Hidden };

class Processes {
 public:
  virtual ~Processes() = default;
  // A snapshot of the running processes, in the platform's order.
  virtual std::vector<ProcessEntry> List() = 0;
  // Ends a process at once. exitCode is the code it ends with where the
  // system lets the caller choose. False when the process cannot be opened
  // (gone, or another user's).
  virtual bool Terminate(int64_t id, uint32_t exitCode) = 0;
  // Returns when the process has ended (at once when there is none).
  virtual void WaitForExit(int64_t id) = 0;
  // Starts a program with a parameter text, split into arguments as a
  // Windows command line is (" -t" gives the one argument "-t"), with no
  // working folder of its own. A program without a folder is looked up in
  // PATH. With waitForExit, returns once the started process has ended. False
  // when it cannot be started.
  virtual bool Start(const std::string& program, const std::string& parameters, ShowMode show,
                     bool waitForExit) = 0;
  // The full path of this program's own executable.
  virtual std::string OwnExecutablePath() = 0;
};

// Sleeping, behind a service so that tests need not wait for real.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual void SleepMs(uint32_t ms) = 0;
};

// The arguments of a Windows command line, split by the rules of
// CommandLineToArgvW: blanks separate, double quotes group, backslashes
// escape a quote only before one.
std::vector<std::string> SplitWindowsCommandLine(const std::string& text);

}  // namespace platform
