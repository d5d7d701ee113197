#include "ui/console/console_progress_sink.h"

#include <unistd.h>

#include "platform/text.h"

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 40;

}  // namespace

ConsoleProgressSink::ConsoleProgressSink(FILE* out) : out_(out), terminal_(isatty(fileno(out))) {}

ConsoleProgressSink::~ConsoleProgressSink() { Flush(); }

std::string ConsoleProgressSink::Bar(uint32_t pos, uint32_t upper, int width) {
  int filled = upper == 0 ? 0 : static_cast<int>(static_cast<double>(width) / upper * pos);
  if (filled > width) filled = width;
  if (filled < 0) filled = 0;
  return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
}

void ConsoleProgressSink::Draw(bool force) {
  auto now = std::chrono::steady_clock::now();
  if (!force && drawn_ && now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  if (!terminal_) return;  // status lines are printed as they change
  if (drawn_) std::fputs("\x1b[3A", out_);
  // The texts name files from the server: shown with control characters escaped.
  std::fprintf(out_, "\x1b[2K%s\n\x1b[2K当前文件 %s %s\n\x1b[2K全部进度 %s %s\n",
               platform::EscapeControlText(status_).c_str(),
               Bar(current_.pos, current_.upper, kBarWidth).c_str(),
               platform::EscapeControlText(current_.percent).c_str(),
               Bar(total_.pos, total_.upper, kBarWidth).c_str(),
               platform::EscapeControlText(total_.percent).c_str());
  std::fflush(out_);
  drawn_ = true;
}

void ConsoleProgressSink::SetStatusText(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  status_ = text;
  if (!terminal_) {
    std::fprintf(out_, "%s\n", platform::EscapeControlText(text).c_str());
    std::fflush(out_);
  }
  Draw(true);
}

void ConsoleProgressSink::SetCurrentRange(uint32_t upper) {
  std::lock_guard<std::mutex> lock(mutex_);
  current_.upper = upper;
}

void ConsoleProgressSink::SetCurrentPos(uint32_t pos) {
  std::lock_guard<std::mutex> lock(mutex_);
  current_.pos = pos;
}

void ConsoleProgressSink::SetCurrentPercent(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  current_.percent = text;
  Draw(current_.pos == current_.upper);
}

void ConsoleProgressSink::SetTotalRange(uint32_t upper) {
  std::lock_guard<std::mutex> lock(mutex_);
  total_.upper = upper;
}

void ConsoleProgressSink::SetTotalPos(uint32_t pos) {
  std::lock_guard<std::mutex> lock(mutex_);
  total_.pos = pos;
  Draw(false);
}

void ConsoleProgressSink::SetTotalPercent(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  total_.percent = text;
  Draw(true);
}

void ConsoleProgressSink::SetCancelCaption(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  cancelCaption_ = text;
  if (!terminal_) std::fprintf(out_, "[%s]\n", platform::EscapeControlText(text).c_str());
  Draw(true);
}

void ConsoleProgressSink::SetWorkerFinished() {
  workerFinished_ = true;
  Flush();
}

std::string ConsoleProgressSink::statusText() {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}

void ConsoleProgressSink::Flush() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (drawn_) Draw(true);
}
