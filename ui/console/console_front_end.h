// The terminal front end: every page as text with numbered choices,
// questions as prompts. Unattended (DOWNLOADER_UNATTENDED=1, or no terminal
// on standard input unless the variable is 0) every question takes the
// answer that lets the work go on; a response file sets the options page.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/diagnostics.h"
#include "ui/console/response_file.h"
#include "ui/page_view.h"

class ConsoleProgressDisplay;

// Exit codes of a run that could not go on (0 otherwise).
inline constexpr int kExitNoVersionAnswer = 1;  // the version query got no usable answer
inline constexpr int kExitInstallStopped = 2;   // the install job stopped on a failure
inline constexpr int kExitFolderRefused = 3;    // the options page refused the install folder
inline constexpr int kExitBadResponseFile = 4;  // DOWNLOADER_RESPONSE_FILE cannot be used

class ConsoleFrontEnd : public platform::Dialogs, public WizardPages {
 public:
  explicit ConsoleFrontEnd(ResponseFile response = {});
  ~ConsoleFrontEnd() override;

  void ShowMessage(const std::string& text, const std::string& caption,
                   platform::MessageIcon icon) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;

  // The version-query page, the first page of the interactive path.
  void RunVersionQueryPage();
  void RunInstallPage() override;
  void RunOptionPage() override;
  void RunProgressPage(InstallMode mode) override;
  // The update prompt: kind 0 offers the newer version, any other a
  // reinstallation.
  void RunUpdatePrompt(int kind);

  bool unattended() const { return unattended_; }
  // Exit code for the program: non-zero when the run could not go on.
  int exitCode() const { return exitCode_; }

  // Prints text with control characters escaped.
  static void Print(const std::string& text);
  // The typed lines and the waiters on them. Threads that may outlive a
  // page or the front end (the input reader, page workers) hold it shared.
  struct Input {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::string> lines;
    bool ended = false;
    bool readerStarted = false;
    // Open message boxes: while one waits for its answer, pages take no lines.
    int modal = 0;
    // Wakes the waiters to check their stop conditions.
    void Wake() {
      std::lock_guard<std::mutex> lock(mutex);
      ready.notify_all();
    }
  };
  const std::shared_ptr<Input>& input() const { return input_; }

  // Waits for the next typed line (true) or until stop() holds or the
  // input has ended (false). stop is checked whenever the input is woken.
  bool WaitLine(std::string* line, const std::function<bool()>& stop);
  // Waits, without taking typed lines, until stop() holds.
  void WaitUntil(const std::function<bool()>& stop);
  void Wake() { input_->Wake(); }

 private:
  void StartInputReader();
  bool ReadAnswer(std::string* line);
  void BeginQuestion();
  void EndQuestion();

  ResponseFile response_;
  bool unattended_;
  int exitCode_ = 0;
  std::shared_ptr<Input> input_ = std::make_shared<Input>();
  // One question at a time: a second one (from another thread) waits until
  // the first is answered, so an answer never goes to the wrong question.
  std::mutex question_;
  // The progress page's display, paused while a question is shown.
  ConsoleProgressDisplay* display_ = nullptr;
};
