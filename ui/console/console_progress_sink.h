// Progress in a terminal: the status line, two bars (current file, whole
// job) with their percentages and the page's button, redrawn in place at
// most ten times a second. When the output is not a terminal, plain lines
// are printed instead: one per status, per whole-job percentage and per
// button caption, and the current file's percentage at most every two
// seconds.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "app/progress_sink.h"

class ConsoleProgressDisplay {
 public:
  explicit ConsoleProgressDisplay(FILE* out = stdout);
  ~ConsoleProgressDisplay();
  ConsoleProgressDisplay(const ConsoleProgressDisplay&) = delete;
  ConsoleProgressDisplay& operator=(const ConsoleProgressDisplay&) = delete;

  void SetStatus(const std::string& text);
  void SetCurrent(uint32_t upper, uint32_t pos);
  void SetCurrentPercent(const std::string& text);
  void SetTotal(uint32_t upper, uint32_t pos);
  void SetTotalPercent(const std::string& text);
  // The button line ("1) 取消"); empty shows none.
  void SetButton(const std::string& text);

  // Stops drawing while something else writes to the terminal (a question);
  // Resume draws a fresh block below what was written.
  void Suspend();
  void Resume();
  // Draws the last state now.
  void Flush();

  // One bar as text: "[#####.....]" of the given width.
  static std::string Bar(uint32_t pos, uint32_t upper, int width);

 private:
  struct BarState {
    uint32_t upper = 0;
    uint32_t pos = 0;
    std::string percent = "0%";
  };
  void DrawLocked();
  void Line(const std::string& text);
  void Ticker();

  FILE* out_;
  bool terminal_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::string status_;
  std::string button_;
  BarState current_, total_;
  int drawnLines_ = 0;
  bool dirty_ = false;
  int suspended_ = 0;
  bool stopping_ = false;
  std::chrono::steady_clock::time_point lastCurrentLine_{};
  std::string lastCurrentPrinted_;
  std::thread ticker_;
};

// A sink that shows the job on a ConsoleProgressDisplay (for tools that
// fetch outside the wizard).
class ConsoleProgressSink : public ProgressSink {
 public:
  explicit ConsoleProgressSink(FILE* out = stdout) : display_(out) {}

  void SetStatusText(const std::string& text) override { display_.SetStatus(text); }
  void SetCurrentRange(uint32_t upper) override;
  void SetCurrentPos(uint32_t pos) override;
  void SetCurrentPercent(const std::string& text) override { display_.SetCurrentPercent(text); }
  void SetTotalRange(uint32_t upper) override;
  void SetTotalPos(uint32_t pos) override;
  void SetTotalPercent(const std::string& text) override { display_.SetTotalPercent(text); }
  void SetCancelCaption(const std::string& text) override { display_.SetButton("[" + text + "]"); }
  void SetWorkerFinished() override { display_.Flush(); }

 private:
  ConsoleProgressDisplay display_;
  uint32_t currentUpper_ = 0, currentPos_ = 0, totalUpper_ = 0, totalPos_ = 0;
};
