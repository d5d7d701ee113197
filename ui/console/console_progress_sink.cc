#include "ui/console/console_progress_sink.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "platform/text.h"

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr auto kPlainCurrentInterval = std::chrono::seconds(2);
constexpr int kBarWidth = 40;

// Texts name files from the server: shown with control characters escaped.
std::string Shown(const std::string& text) { return platform::EscapeControlText(text); }

// The columns of the terminal (80 when it does not say).
int Columns(FILE* out) {
  struct winsize size {};
  if (ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

// The longest start of a UTF-8 text that fits in columns cells (wide East
// Asian characters take two): a line that wrapped would break the redraw
// in place.
std::string FitColumns(const std::string& text, int columns) {
  int used = 0;
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    uint32_t cp = c;
    if (len > 1 && i + len <= text.size()) {
      cp = c & (0x3F >> (len - 1));
      for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (text[i + k] & 0x3F);
    }
    int cells = cp >= 0x1100 ? 2 : 1;
    if (used + cells > columns) break;
    used += cells;
    i += len;
  }
  return text.substr(0, i);
}

}  // namespace

ConsoleProgressDisplay::ConsoleProgressDisplay(FILE* out)
    : out_(out), terminal_(isatty(fileno(out))) {
  if (terminal_) ticker_ = std::thread([this] { Ticker(); });
}

ConsoleProgressDisplay::~ConsoleProgressDisplay() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
  }
  if (ticker_.joinable()) ticker_.join();
  Flush();
}

std::string ConsoleProgressDisplay::Bar(uint32_t pos, uint32_t upper, int width) {
  int filled = upper == 0 ? 0 : static_cast<int>(static_cast<double>(width) / upper * pos);
  if (filled > width) filled = width;
  if (filled < 0) filled = 0;
  return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
}

void ConsoleProgressDisplay::Ticker() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    if (dirty_ && !suspended_) DrawLocked();
    wake_.wait_for(lock, kRedrawInterval);
  }
}

void ConsoleProgressDisplay::DrawLocked() {
  dirty_ = false;
  if (!terminal_) return;
  const int columns = Columns(out_) - 1;
  // "当前进度 [" + bar + "] 100.00%": the bar gets what the terminal leaves.
  const int barWidth = std::max(4, std::min(kBarWidth, columns - 22));
  auto line = [&](const std::string& text) { return "\x1b[2K" + FitColumns(text, columns) + "\n"; };
  std::string block;
  // From the start of the line: typed keys not yet sent stay out of it.
  block += "\r";
  if (drawnLines_ > 0) block += "\x1b[" + std::to_string(drawnLines_) + "A";
  block += line(Shown(status_));
  block += line("当前进度 " + Bar(current_.pos, current_.upper, barWidth) + " " +
                Shown(current_.percent));
  block +=
      line("总体进度 " + Bar(total_.pos, total_.upper, barWidth) + " " + Shown(total_.percent));
  drawnLines_ = 3;
  if (!button_.empty()) {
    block += line(Shown(button_));
    drawnLines_ = 4;
  }
  std::fputs(block.c_str(), out_);
  std::fflush(out_);
}

void ConsoleProgressDisplay::Line(const std::string& text) {
  std::fprintf(out_, "%s\n", Shown(text).c_str());
  std::fflush(out_);
}

void ConsoleProgressDisplay::SetStatus(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!terminal_ && text != status_) Line(text);
  status_ = text;
  dirty_ = true;
}

void ConsoleProgressDisplay::SetCurrent(uint32_t upper, uint32_t pos) {
  std::lock_guard<std::mutex> lock(mutex_);
  current_.upper = upper;
  current_.pos = pos;
  dirty_ = true;
}

void ConsoleProgressDisplay::SetCurrentPercent(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  current_.percent = text;
  dirty_ = true;
  if (terminal_ || text == lastCurrentPrinted_) return;
  auto now = std::chrono::steady_clock::now();
  bool complete = current_.upper != 0 && current_.pos >= current_.upper;
  if (!complete && now - lastCurrentLine_ < kPlainCurrentInterval) return;
  lastCurrentLine_ = now;
  lastCurrentPrinted_ = text;
  Line("当前进度 " + text);
}

void ConsoleProgressDisplay::SetTotal(uint32_t upper, uint32_t pos) {
  std::lock_guard<std::mutex> lock(mutex_);
  total_.upper = upper;
  total_.pos = pos;
  dirty_ = true;
}

void ConsoleProgressDisplay::SetTotalPercent(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!terminal_ && text != total_.percent) Line("总体进度 " + text);
  total_.percent = text;
  dirty_ = true;
}

void ConsoleProgressDisplay::SetButton(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!terminal_ && text != button_ && !text.empty()) Line(text);
  button_ = text;
  dirty_ = true;
}

void ConsoleProgressDisplay::Suspend() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++suspended_;
}

void ConsoleProgressDisplay::Resume() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (suspended_ > 0) --suspended_;
  drawnLines_ = 0;
  dirty_ = true;
}

void ConsoleProgressDisplay::Flush() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (terminal_ && !suspended_) DrawLocked();
}

void ConsoleProgressSink::SetCurrentRange(uint32_t upper) {
  currentUpper_ = upper;
  display_.SetCurrent(currentUpper_, currentPos_);
}

void ConsoleProgressSink::SetCurrentPos(uint32_t pos) {
  currentPos_ = pos;
  display_.SetCurrent(currentUpper_, currentPos_);
}

void ConsoleProgressSink::SetTotalRange(uint32_t upper) {
  totalUpper_ = upper;
  display_.SetTotal(totalUpper_, totalPos_);
}

void ConsoleProgressSink::SetTotalPos(uint32_t pos) {
  totalPos_ = pos;
  display_.SetTotal(totalUpper_, totalPos_);
}
