// The one channel through which the install steps show what they do. The
// progress page implements it; every call takes effect, in order, before it
// returns.
#pragma once

#include <cstdint>
#include <string>

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetStatusText(const std::string& text) = 0;
  // Ranges run from 0 to the given upper bound.
  virtual void SetCurrentRange(uint32_t upper) = 0;
  virtual void SetCurrentPos(uint32_t pos) = 0;
  virtual void SetCurrentPercent(const std::string& text) = 0;
  virtual void SetTotalRange(uint32_t upper) = 0;
  virtual void SetTotalPos(uint32_t pos) = 0;
  virtual void SetTotalPercent(const std::string& text) = 0;
  virtual void SetCancelCaption(const std::string& text) = 0;
  // The worker has ended: Cancel now closes without asking.
  virtual void SetWorkerFinished() = 0;
};

// "%.2lf%%" of pos * 100 / range.
std::string FormatPercent(double pos, double range);
