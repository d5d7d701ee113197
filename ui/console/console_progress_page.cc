// The progress page in the terminal: the install job runs on its worker
// while the page shows the status line, both bars and the button.
#include <atomic>
#include <mutex>
#include <thread>

#include "app/settings.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "ui/console/console_front_end.h"
#include "ui/console/console_progress_sink.h"
#include "ui/page_common.h"
#include "ui/progress_dlg.h"

namespace {

class ConsoleProgressView : public ProgressView {
 public:
  ConsoleProgressView(ConsoleFrontEnd& fe, ConsoleProgressDisplay& display)
      : input_(fe.input()), display_(display), button_(fe.unattended() ? "" : "1) ") {}

  void HidePage() override {}
  void EndPage(int) override {
    auto f = flags;
    auto input = input_;
    f->ended = true;
    input->Wake();
  }
  // The terminal page has no thread of its own: a lock keeps the calls in
  // order, one at a time.
  void RunOnPageThread(const std::function<void()>& fn) override {
    std::lock_guard<std::mutex> lock(mutex_);
    fn();
  }
  void SetLabel(int id, const std::string& text) override {
    if (id == CProgressDlg::kStatus) display_.SetStatus(text);
    if (id == CProgressDlg::kCurrentPercent) display_.SetCurrentPercent(text);
    if (id == CProgressDlg::kTotalPercent) display_.SetTotalPercent(text);
  }
  void SetBar(int id, uint32_t upper, uint32_t pos) override {
    if (id == CProgressDlg::kCurrentBar) display_.SetCurrent(upper, pos);
    if (id == CProgressDlg::kTotalBar) display_.SetTotal(upper, pos);
  }
  // Unattended, nobody presses the button: only its caption is shown.
  void SetCancelCaption(const std::string& text) override {
    display_.SetButton(button_.empty() ? "[" + text + "]" : button_ + text);
  }
  // A terminal shows no pictures.
  void SetPicture(uint32_t) override {}
  void StartTimer(uint32_t) override {}
  void StopTimer() override {}
  // The page shows once the hand-off of a forced update is over, just
  // before the worker starts. The worker may outlive the page: it holds
  // the flags and the input it wakes.
  void StartWorker(std::function<void()> fn) override {
    if (onShown) onShown();
    std::thread([f = flags, input = input_, fn = std::move(fn)] {
      fn();
      f->workerDone = true;
      input->Wake();
    }).detach();
  }

  struct Flags {
    std::atomic<bool> ended{false};
    std::atomic<bool> workerDone{false};
  };
  std::shared_ptr<Flags> flags = std::make_shared<Flags>();
  std::function<void()> onShown;

 private:
  std::shared_ptr<ConsoleFrontEnd::Input> input_;
  ConsoleProgressDisplay& display_;
  std::string button_;
  std::mutex mutex_;
};

}  // namespace

void ConsoleFrontEnd::RunProgressPage(InstallMode mode) {
  PageBroadcastGuard broadcast(TheApp() ? TheApp()->singleMsgId : 0);
  Print("\n== " + windowTitle + " · " +
        (mode == Install  ? "安装"
         : mode == Update ? "更新"
                          : "修复") +
        " ==\n");
  ConsoleProgressDisplay display;
  ConsoleProgressView view(*this, display);
  CProgressDlg page(view, mode);
  display.SetStatus(page.label(CProgressDlg::kStatus));
  if (!unattended_) display.SetButton("1) " + page.cancelCaption());
  display_ = &display;
  page.OnInitDialog();

  std::string line;
  bool told = false;
  while (!view.flags->ended) {
    if (view.flags->workerDone && !told) {
      // The job stopped on a failure; the page keeps its last texts.
      told = true;
      display.Flush();
      Print("安装未完成: " + page.label(CProgressDlg::kStatus) + "\n");
      if (unattended_) {
        exitCode_ = kExitInstallStopped;
        break;
      }
    }
    if (unattended_ || !WaitLine(&line, [&] { return view.flags->workerDone && !told; })) {
      if (view.flags->workerDone && told) break;  // nobody can close the page any more
      WaitUntil([&] { return view.flags->workerDone.load(); });
      continue;
    }
    // The typed line moved the cursor: the display starts a new block.
    display.Resume();
    if (line == "1") page.OnCancel();
  }
  display_ = nullptr;
}
