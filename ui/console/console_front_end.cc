#include "ui/console/console_front_end.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#include "app/settings.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "ui/page_common.h"
#include "ui/version_query_page.h"

namespace {

bool DecideUnattended() {
  std::string v = platform::GetEnv("DOWNLOADER_UNATTENDED");
  if (v == "1") return true;
  if (v == "0") return false;
  return !isatty(STDIN_FILENO);
}

bool IsCancel(const std::string& line) { return line == "c" || line == "取消"; }

// Every text reaches the terminal with its control characters escaped: a
// server's texts must not be able to move the cursor or change the screen.
void Print(const std::string& text) {
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

}  // namespace

ConsoleFrontEnd::ConsoleFrontEnd() : unattended_(DecideUnattended()) {}

ConsoleFrontEnd::~ConsoleFrontEnd() = default;

void ConsoleFrontEnd::StartInputReader() {
  if (readerStarted_) return;
  readerStarted_ = true;
  // Reads standard input for the rest of the run; the process ends without
  // waiting for it.
  std::thread([this] {
    std::string line;
    while (std::getline(std::cin, line)) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(line);
      ready_.notify_all();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    inputEnded_ = true;
    ready_.notify_all();
  }).detach();
}

void ConsoleFrontEnd::WorkerStarted() {
  std::lock_guard<std::mutex> lock(mutex_);
  workerDone_ = false;
}

void ConsoleFrontEnd::WorkerFinished() {
  std::lock_guard<std::mutex> lock(mutex_);
  workerDone_ = true;
  ready_.notify_all();
}

bool ConsoleFrontEnd::NextLine(std::string* line, bool stopAtWorker) {
  StartInputReader();
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait(lock,
              [&] { return !lines_.empty() || inputEnded_ || (stopAtWorker && workerDone_); });
  if (stopAtWorker && workerDone_) return false;
  if (lines_.empty()) return false;
  *line = lines_.front();
  lines_.pop_front();
  return true;
}

void ConsoleFrontEnd::ShowMessage(const std::string& text, const std::string& caption,
                                  platform::MessageIcon) {
  Print("[" + caption + "] " + text + "\n");
  if (unattended_) return;
  Print("按回车键继续 (OK) ");
  std::string line;
  ReadLine(&line);
}

bool ConsoleFrontEnd::AskYesNo(const std::string& text, const std::string& caption) {
  Print("[" + caption + "] " + text + " (y/n) ");
  if (unattended_) {
    Print("y\n");
    return true;
  }
  std::string line;
  while (ReadLine(&line)) {
    if (line == "y" || line == "Y" || line == "yes" || line == "是") return true;
    if (line == "n" || line == "N" || line == "no" || line == "否") return false;
    Print("请输入 y 或 n: ");
  }
  return false;
}

void ConsoleFrontEnd::RunVersionQueryPage(CDownloaderApp& app) {
  PageBroadcastGuard broadcast(app.singleMsgId);
  VersionQueryPage page;
  Print("== " + windowTitle + " ==\n");

  auto showState = [&] {
    std::string buttons = page.retryVisible() ? "[r] 重试  [c] 取消" : "[c] 取消";
    Print(page.statusText() + "\n" + (unattended_ ? "" : buttons + "\n"));
  };

  for (;;) {
    // Each query starts by showing the querying status again.
    Print("正在获取版本信息...\n");
    if (unattended_) {
      page.RunQuery();
    } else {
      // The query runs beside the input, so Cancel works while it waits.
      WorkerStarted();
      std::thread([this, &page] {
        page.RunQuery();
        WorkerFinished();
      }).detach();
      std::string line;
      while (NextLine(&line, true)) {
        if (IsCancel(line)) ConfirmQuitInstall();
      }
      // The worker has finished, or the input has ended and nothing can
      // cancel any more: either way the page goes on once the worker is done.
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return workerDone_; });
    }

    VersionQueryPage::State state = page.state();
    if (state == VersionQueryPage::State::Answered) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      Print("服务器版本: " + RunSettings.serverVersion + "\n下载位置: " + RunSettings.downloadUrl +
            "\n");
      RunInstallPages(app);
      return;
    }
    showState();
    if (unattended_) {
      if (page.Retry()) {
        Print("重试 (剩余 " + std::to_string(page.retriesLeft()) + " 次)\n");
        continue;
      }
      // Nobody can press Cancel: end instead of waiting on a page that
      // cannot go on.
      Print(state == VersionQueryPage::State::Stuck ? "服务器的应答无法读取，安装无法继续\n"
                                                    : "服务器没响应，安装无法继续\n");
      exitCode_ = kExitNoVersionAnswer;
      return;
    }
    // Wait for the user: Retry while it is offered, Cancel at any time.
    bool retry = false;
    std::string line;
    while (!retry) {
      if (!ReadLine(&line)) return;  // input gone: nobody can answer the page
      if ((line == "r" || line == "重试") && page.Retry())
        retry = true;
      else if (IsCancel(line))
        ConfirmQuitInstall();
      else
        showState();
    }
  }
}
