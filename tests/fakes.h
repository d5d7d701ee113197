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

#include "app/progress_sink.h"

// Records every sink call as a line "Name(value)".
class RecordingSink : public ProgressSink {
 public:
  void SetStatusText(const std::string& t) override { calls.push_back("SetStatusText(" + t + ")"); }
  void SetCurrentRange(uint32_t u) override {
    Add("SetCurrentRange", u);
    currentRange = u;
  }
  void SetCurrentPos(uint32_t p) override {
    Add("SetCurrentPos", p);
    positions.push_back(p);
  }
  void SetCurrentPercent(const std::string& t) override {
    calls.push_back("SetCurrentPercent(" + t + ")");
    percents.push_back(t);
  }
  void SetTotalRange(uint32_t u) override { Add("SetTotalRange", u); }
  void SetTotalPos(uint32_t p) override { Add("SetTotalPos", p); }
  void SetTotalPercent(const std::string& t) override {
    calls.push_back("SetTotalPercent(" + t + ")");
  }
  void SetCancelCaption(const std::string& t) override {
    calls.push_back("SetCancelCaption(" + t + ")");
  }
  void SetWorkerFinished() override { calls.push_back("SetWorkerFinished()"); }

  std::vector<std::string> calls;
  std::vector<uint32_t> positions;
  std::vector<std::string> percents;
  uint32_t currentRange = 0;

 private:
  void Add(const char* name, uint32_t v) {
    calls.push_back(std::string(name) + "(" + std::to_string(v) + ")");
  }
};

using platform::MessageIcon;

// Records sleeps instead of sleeping.
class FakeClock : public platform::Clock {
 public:
  void SleepMs(uint32_t ms) override { sleeps.push_back(ms); }
  std::vector<uint32_t> sleeps;
};

// Records messages and answers questions with a fixed answer.
class RecordingFrontEnd : public platform::Dialogs {
 public:
  struct Message {
    std::string text, caption;
    MessageIcon icon;
  };
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override {
    messages.push_back({text, caption, icon});
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    messages.push_back({text, caption, MessageIcon::Question});
    return answer;
  }
  std::vector<Message> messages;
  bool answer = true;
};
