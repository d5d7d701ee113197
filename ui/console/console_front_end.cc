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
  // Called with input_->mutex held.
  if (input_->readerStarted) return;
  input_->readerStarted = true;
  // Reads standard input for the rest of the run; the process ends without
  // waiting for it, so it holds the queue itself.
  std::thread([input = input_] {
    std::string line;
    while (std::getline(std::cin, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::lock_guard<std::mutex> lock(input->mutex);
      input->lines.push_back(line);
      input->ready.notify_all();
    }
    std::lock_guard<std::mutex> lock(input->mutex);
    input->ended = true;
    input->ready.notify_all();
  }).detach();
}

bool ConsoleFrontEnd::WaitLine(std::string* line, const std::function<bool()>& stop) {
  Input& in = *input_;
  std::unique_lock<std::mutex> lock(in.mutex);
  StartInputReader();
  in.ready.wait(lock, [&] { return (in.modal == 0 && !in.lines.empty()) || in.ended || stop(); });
  if (stop() || in.lines.empty() || in.modal != 0) return false;
  *line = in.lines.front();
  in.lines.pop_front();
  return true;
}

void ConsoleFrontEnd::WaitUntil(const std::function<bool()>& stop) {
  std::unique_lock<std::mutex> lock(input_->mutex);
  input_->ready.wait(lock, stop);
}

bool ConsoleFrontEnd::ReadAnswer(std::string* line) {
  Input& in = *input_;
  std::unique_lock<std::mutex> lock(in.mutex);
  StartInputReader();
  in.ready.wait(lock, [&] { return !in.lines.empty() || in.ended; });
  if (in.lines.empty()) return false;
  *line = in.lines.front();
  in.lines.pop_front();
  return true;
}

void ConsoleFrontEnd::BeginQuestion() {
  question_.lock();
  if (display_) display_->Suspend();
  std::lock_guard<std::mutex> lock(input_->mutex);
  ++input_->modal;
}

void ConsoleFrontEnd::EndQuestion() {
  {
    std::lock_guard<std::mutex> lock(input_->mutex);
    --input_->modal;
    input_->ready.notify_all();
  }
  if (display_) display_->Resume();
  question_.unlock();
}

void ConsoleFrontEnd::ShowMessage(const std::string& text, const std::string& caption,
                                  platform::MessageIcon) {
  if (unattended_) {
    Print("\n[" + caption + "] " + text + "\n");
    return;
  }
  BeginQuestion();
  Print("\n[" + caption + "] " + text + "\n1) 确定 ");
  std::string line;
  ReadAnswer(&line);
  EndQuestion();
}

bool ConsoleFrontEnd::AskYesNo(const std::string& text, const std::string& caption) {
  if (unattended_) {
    Print("\n[" + caption + "] " + text + "\n1) 是  2) 否 1\n");
    return true;
  }
  BeginQuestion();
  Print("\n[" + caption + "] " + text + "\n1) 是  2) 否 ");
  std::string line;
  bool yes = false;  // input gone: nobody agreed
  while (ReadAnswer(&line)) {
    if (IsYes(line)) {
      yes = true;
      break;
    }
    if (IsNo(line)) break;
    Print("请输入 1 (是) 或 2 (否): ");
  }
  EndQuestion();
  return yes;
}
