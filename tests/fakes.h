// Fakes of platform services shared by the tests.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// Thrown by FakeExit instead of ending the test process.
struct ExitCalled {
  int code;
  bool immediate;
};

class FakeExit : public platform::ProcessExit {
 public:
  [[noreturn]] void Immediate(int code) override { throw ExitCalled{code, true}; }
  [[noreturn]] void Normal(int code) override { throw ExitCalled{code, false}; }
};

class RecordingLog : public platform::DiagnosticLog {
 public:
  void Write(const std::string& line) override { lines.push_back(line); }
  std::vector<std::string> lines;
};

// Swaps services in for the lifetime of the object.
class ScopedServices {
 public:
  ScopedServices() : saved_(platform::Sys()) {}
  ~ScopedServices() { platform::Sys() = saved_; }

 private:
  platform::Services saved_;
};
