// The terminal front end: pages as text, questions as prompts. Unattended
// (DOWNLOADER_UNATTENDED=1, or no terminal on standard input unless the
// variable is 0) every question takes the answer that lets the work go on.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "platform/diagnostics.h"

class CDownloaderApp;

// Exit codes of an unattended run that could not go on (0 otherwise).
inline constexpr int kExitNoVersionAnswer = 1;  // the version query got no usable answer
inline constexpr int kExitInstallStopped = 2;   // the install job stopped on a failure

class ConsoleFrontEnd : public platform::Dialogs {
 public:
  ConsoleFrontEnd();
  ~ConsoleFrontEnd() override;

  void ShowMessage(const std::string& text, const std::string& caption,
                   platform::MessageIcon icon) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  // The version-query page, the first page of the interactive path.
  void RunVersionQueryPage(CDownloaderApp& app);
  // The install wizard after the version query; its choices stay at their
  // defaults.
  void RunInstallPages(CDownloaderApp& app);
  // The progress page: runs the install job of mode and shows its progress.
  // Returns only when the job stopped on a failure and the page was closed.
  void RunProgressPage(CDownloaderApp& app, int mode);
  // The update prompt: kind 0 offers the newer version, kind 1 a
  // reinstallation. OK runs the update.
  void RunUpdatePrompt(CDownloaderApp& app, int kind);

  bool unattended() const { return unattended_; }
  // Exit code for the program: non-zero when an unattended run could not go on.
  int exitCode() const { return exitCode_; }

 private:
  // Waits for the next typed line (true), or until the input has ended or,
  // with stopAtWorker, the page's worker has finished (false).
  bool NextLine(std::string* line, bool stopAtWorker);
  bool ReadLine(std::string* line) { return NextLine(line, false); }
  void StartInputReader();
  void WorkerFinished();
  void WorkerStarted();

  bool unattended_;
  int exitCode_ = 0;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::string> lines_;
  bool inputEnded_ = false;
  bool workerDone_ = false;
  bool readerStarted_ = false;
};
