// The install wizard's remaining pages in the terminal: the install folder
// and check boxes at their defaults, the browser question, and the progress
// page that runs the install job.
#include <cstdio>
#include <memory>
#include <thread>

#include "app/settings.h"
#include "app/startup.h"
#include "install/assistant_handoff.h"
#include "install/install_context.h"
#include "install/install_sequence.h"
#include "install/process_control.h"
#include "platform/platform.h"
#include "ui/console/console_front_end.h"
#include "ui/console/console_progress_sink.h"
#include "ui/page_common.h"

void ConsoleFrontEnd::RunInstallPages(CDownloaderApp& app) {
  if (RunSettings.installDir.empty()) RunSettings.installDir = DefaultInstallDir();
  std::printf("安装位置: %s\n", platform::EscapeControlText(RunSettings.installDir).c_str());
  std::fflush(stdout);
  if (!ConfirmCloseBrowser(BankProfile.assistantName)) return;
  RunProgressPage(app, Install);
}

void ConsoleFrontEnd::RunUpdatePrompt(CDownloaderApp& app, int kind) {
  PageBroadcastGuard broadcast(app.singleMsgId);
  const char* question = kind == 0 ? "网银助手有新版本，是否现在更新？" : "是否重新安装网银助手？";
  for (;;) {
    if (!platform::Sys().dialogs->AskYesNo(question, windowTitle)) return;  // Cancel
    if (ConfirmCloseBrowser(BankProfile.assistantName)) break;
  }
  RunProgressPage(app, Update);
}

void ConsoleFrontEnd::RunProgressPage(CDownloaderApp& app, int mode) {
  PageBroadcastGuard broadcast(app.singleMsgId);
  ConsoleProgressSink sink;
  sink.SetStatusText("正在下载");
  auto context =
      std::make_unique<InstallContext>(MakeInstallContext(static_cast<InstallMode>(mode), &sink));
  (void)HandOffToRunningAssistant(*context);
  WorkerStarted();
  // On success the worker ends the process itself; it returns only when
  // the job stopped.
  std::thread worker([this, &sink, c = std::move(context)]() mutable {
    (void)InstallSequence(&sink, std::move(c));
    WorkerFinished();
  });
  worker.detach();
  if (!unattended_) std::printf("[c] 取消\n");
  std::string line;
  for (;;) {
    bool typed = unattended_ ? false : NextLine(&line, true);
    if (!typed) {
      // The worker stopped, or nobody can type any more: wait for it.
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return workerDone_; });
      break;
    }
    if (line != "c" && line != "取消") continue;
    if (sink.workerFinished() ||
        platform::Sys().dialogs->AskYesNo("下载还未完成，确定取消？", windowTitle))
      platform::Sys().processExit->Immediate(0);
  }
  sink.Flush();
  std::printf("安装未完成: %s\n", platform::EscapeControlText(sink.statusText()).c_str());
  std::fflush(stdout);
  if (unattended_) {
    exitCode_ = kExitInstallStopped;
    return;
  }
  // The page stays until it is closed.
  std::printf("[c] 关闭\n");
  while (ReadLine(&line)) {
    if (line != "c" && line != "取消") continue;
    if (sink.workerFinished() ||
        platform::Sys().dialogs->AskYesNo("下载还未完成，确定取消？", windowTitle))
      break;
  }
}
