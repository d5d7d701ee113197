#include "ui/console/console_front_end.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <thread>

#include "platform/platform.h"
#include "ui/console/console_progress_sink.h"

namespace {

bool DecideUnattended() {
  std::string v = platform::GetEnv("DOWNLOADER_UNATTENDED");
  if (v == "1") return true;
  if (v == "0") return false;
  return !isatty(STDIN_FILENO);
}

bool IsYes(const std::string& a) { return a == "1" || a == "y" || a == "Y" || a == "是"; }
bool IsNo(const std::string& a) { return a == "2" || a == "n" || a == "N" || a == "否"; }

}  // namespace

ConsoleFrontEnd::ConsoleFrontEnd(ResponseFile response)
    : response_(std::move(response)), unattended_(DecideUnattended()) {}

ConsoleFrontEnd::~ConsoleFrontEnd() = default;

void ConsoleFrontEnd::Print(const std::string& text) {
  // A server's texts must not be able to move the cursor or change the
  // screen: every line is shown with its control characters escaped.
  std::string shown;
  size_t start = 0;
  while (start <= text.size()) {
    size_t nl = text.find('\n', start);
    shown += platform::EscapeControlText(text.substr(start, nl - start));
    if (nl == std::string::npos) break;
    shown += '\n';
    start = nl + 1;
  }
  std::fputs(shown.c_str(), stdout);
  std::fflush(stdout);
}

void ConsoleFrontEnd::StartInputReader() {
  if (readerStarted_) return;
  readerStarted_ = true;
  // Reads standard input for the rest of the run; the process ends without
  // waiting for it.
  std::thread([this] {
    std::string line;
    while (std::getline(std::cin, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(line);
      ready_.notify_all();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    inputEnded_ = true;
    ready_.notify_all();
  }).detach();
}

void ConsoleFrontEnd::Wake() {
  std::lock_guard<std::mutex> lock(mutex_);
  ready_.notify_all();
}

bool ConsoleFrontEnd::WaitLine(std::string* line, const std::function<bool()>& stop) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    StartInputReader();
  }
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait(lock, [&] { return (modal_ == 0 && !lines_.empty()) || inputEnded_ || stop(); });
  if (stop() || lines_.empty() || modal_ != 0) return false;
  *line = lines_.front();
  lines_.pop_front();
  return true;
}

void ConsoleFrontEnd::WaitUntil(const std::function<bool()>& stop) {
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait(lock, stop);
}

bool ConsoleFrontEnd::ReadAnswer(std::string* line) {
  std::unique_lock<std::mutex> lock(mutex_);
  StartInputReader();
  ready_.wait(lock, [&] { return !lines_.empty() || inputEnded_; });
  if (lines_.empty()) return false;
  *line = lines_.front();
  lines_.pop_front();
  return true;
}

void ConsoleFrontEnd::ShowMessage(const std::string& text, const std::string& caption,
                                  platform::MessageIcon) {
  if (display_) display_->Suspend();
  Print("\n[" + caption + "] " + text + "\n");
  if (!unattended_) {
    Print("1) 确定 ");
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++modal_;
    }
    std::string line;
    ReadAnswer(&line);
    std::lock_guard<std::mutex> lock(mutex_);
    --modal_;
    ready_.notify_all();
  }
  if (display_) display_->Resume();
}

bool ConsoleFrontEnd::AskYesNo(const std::string& text, const std::string& caption) {
  if (display_) display_->Suspend();
  Print("\n[" + caption + "] " + text + "\n1) 是  2) 否 ");
  bool yes = true;
  if (unattended_) {
    Print("1\n");
  } else {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++modal_;
    }
    std::string line;
    yes = false;  // input gone: nobody agreed
    while (ReadAnswer(&line)) {
      if (IsYes(line)) {
        yes = true;
        break;
      }
      if (IsNo(line)) break;
      Print("请输入 1 (是) 或 2 (否): ");
    }
    std::lock_guard<std::mutex> lock(mutex_);
    --modal_;
    ready_.notify_all();
  }
  if (display_) display_->Resume();
  return yes;
}
