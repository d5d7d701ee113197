// Progress in a terminal: the status line and two bars (current file, whole
// job) with their percentages, redrawn in place. Without a terminal only
// the status lines are printed, one per change.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "app/progress_sink.h"

class ConsoleProgressSink : public ProgressSink {
 public:
  explicit ConsoleProgressSink(FILE* out = stdout);
  ~ConsoleProgressSink() override;

  void SetStatusText(const std::string& text) override;
  void SetCurrentRange(uint32_t upper) override;
  void SetCurrentPos(uint32_t pos) override;
  void SetCurrentPercent(const std::string& text) override;
  void SetTotalRange(uint32_t upper) override;
  void SetTotalPos(uint32_t pos) override;
  void SetTotalPercent(const std::string& text) override;
  void SetCancelCaption(const std::string& text) override;
  void SetWorkerFinished() override;

  // Draws the last state now (used before the program ends).
  void Flush();
  bool workerFinished() const { return workerFinished_; }
  std::string statusText();

  // One bar as text: "[#####.....]" of the given width.
  static std::string Bar(uint32_t pos, uint32_t upper, int width);

 private:
  struct BarState {
    uint32_t upper = 0;
    uint32_t pos = 0;
    std::string percent = "0%";
  };
  void Draw(bool force);

  FILE* out_;
  bool terminal_;
  std::mutex mutex_;
  std::string status_;
  std::string cancelCaption_ = "取消";
  BarState current_, total_;
  bool drawn_ = false;
  std::atomic<bool> workerFinished_{false};
  std::chrono::steady_clock::time_point lastDraw_{};
};
