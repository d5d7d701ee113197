// The progress page: creates the install job's context, performs the
// forced-update hand-off, starts the install worker and shows what it
// reports: the status line, a bar and percentage for the current file and
// for the whole job. Its two pictures alternate every four seconds.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/progress_sink.h"
#include "ui/page_view.h"

struct InstallContext;

class ProgressView : public virtual PageView {
 public:
  // Runs fn on the page's thread and returns once it has run, as a window
  // message sent from another thread does.
  virtual void RunOnPageThread(const std::function<void()>& fn) = 0;
  // New text of a label (1020, 1023, 1024); the picture under it is repainted.
  virtual void SetLabel(int id, const std::string& text) = 0;
  // Range (0 to upper) and position of a bar (1021, 1022).
  virtual void SetBar(int id, uint32_t upper, uint32_t pos) = 0;
  virtual void SetCancelCaption(const std::string& text) = 0;
  // The background picture.
  virtual void SetPicture(uint32_t imageId) = 0;
  // Calls the page's OnTimer every periodMs on the page's thread, until
  // StopTimer.
  virtual void StartTimer(uint32_t periodMs) = 0;
  virtual void StopTimer() = 0;
  // Runs fn on a new thread that nobody waits for.
  virtual void StartWorker(std::function<void()> fn) = 0;
};

class CProgressDlg : public ProgressSink {
 public:
  enum Control : int {
    kStatus = 1020,
    kCurrentBar = 1021,
    kTotalBar = 1022,
    kCurrentPercent = 1023,
    kTotalPercent = 1024,
  };
  static constexpr uint32_t kPictureMs = 4000;
  static constexpr const char* kCancelQuestion = "下载还未完成，确定取消？";

  // job runs the install job on the worker thread; it defaults to the
  // install sequence.
  using Job = std::function<void(ProgressSink*, std::unique_ptr<InstallContext>)>;
  CProgressDlg(ProgressView& view, InstallMode mode, Job job = nullptr);
  ~CProgressDlg() override;

  PagePlacement placement() const;
  // Context, hand-off, worker and timer. Blocks for the hand-off of a
  // forced update (about three seconds) before the page is shown.
  void OnInitDialog();
  void OnTimer();
  // Asks while the worker runs; ends the page.
  void OnCancel();

  void SetStatusText(const std::string& text) override;
  void SetCurrentRange(uint32_t upper) override;
  void SetCurrentPos(uint32_t pos) override;
  void SetCurrentPercent(const std::string& text) override;
  void SetTotalRange(uint32_t upper) override;
  void SetTotalPos(uint32_t pos) override;
  void SetTotalPercent(const std::string& text) override;
  void SetCancelCaption(const std::string& text) override;
  void SetWorkerFinished() override;

  InstallMode mode() const { return mode_; }
  bool workerFinished() const { return workerFinished_; }
  // The worker thread has returned (the job stopped without ending the process).
  bool workerReturned() const { return workerReturned_; }
  uint32_t picture() const { return picture_; }
  // The texts and bars as the page shows them (read on the page's thread).
  const std::string& label(int id) const;
  uint32_t barUpper(int id) const { return id == kCurrentBar ? current_.upper : total_.upper; }
  uint32_t barPos(int id) const { return id == kCurrentBar ? current_.pos : total_.pos; }
  const std::string& cancelCaption() const { return cancelCaption_; }

 private:
  struct Bar {
    uint32_t upper = 0;
    uint32_t pos = 0;
  };
  void OnPageThread(const std::function<void()>& fn);
  void ShowBar(int id, const Bar& bar);

  ProgressView& view_;
  InstallMode mode_;
  Job job_;
  std::atomic<bool> workerFinished_{false};
  std::atomic<bool> workerReturned_{false};
  std::atomic<bool> ended_{false};
  int toggle_ = 0;
  uint32_t picture_ = 0;
  std::string status_ = "正在下载";
  std::string currentPercent_ = "0%";
  std::string totalPercent_ = "0%";
  std::string cancelCaption_ = "取消";
  Bar current_, total_;
};
