// The Qt progress page (template 135): status line, two bars with their
// percentages, the Cancel button, and two pictures alternating every four
// seconds. The install worker's sink calls take effect on the page's state
// at once and in order; the widgets follow on the GUI thread, where the
// repaints of a burst of calls are coalesced so the last state shows.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "ui/progress_dlg.h"
#include "ui/qt/my_progress.h"
#include "ui/qt/qt_common.h"

// The page's picture clock; tests replace it to tick by hand.
class PageTimer {
 public:
  virtual ~PageTimer() = default;
  virtual void Start(uint32_t periodMs, std::function<void()> tick) = 0;
  virtual void Stop() = 0;
};

class QtProgressPage : public SkinnedPage, public ProgressView {
 public:
  explicit QtProgressPage(InstallMode mode, CProgressDlg::Job job = nullptr);
  ~QtProgressPage() override;
  CProgressDlg& controller() { return controller_; }
  void SetTimer(std::unique_ptr<PageTimer> timer) { timer_ = std::move(timer); }
  // Initialises the page (context, hand-off, worker, timer) and shows it.
  void Open();

  void RunOnPageThread(const std::function<void()>& fn) override;
  void SetLabel(int id, const std::string& text) override;
  void SetBar(int id, uint32_t upper, uint32_t pos) override;
  void SetCancelCaption(const std::string& text) override;
  void SetPicture(uint32_t imageId) override;
  void StartTimer(uint32_t periodMs) override;
  void StopTimer() override;
  void StartWorker(std::function<void()> fn) override;

  // Applies what the sink calls changed to the widgets (GUI thread).
  void Refresh();

 protected:
  void reject() override { controller_.OnCancel(); }

 private:
  struct Pending {
    std::optional<std::string> labels[3];                  // 1020, 1023, 1024
    std::optional<std::pair<uint32_t, uint32_t>> bars[2];  // 1021, 1022: upper, pos
    std::optional<std::string> caption;
    bool any = false;
  };
  void Changed();
  // The page is made on the GUI thread; the sink's calls ask whether they
  // run there thousands of times a second, so that is a plain id compare.
  bool OnGui() const;
  const std::thread::id guiThread_ = std::this_thread::get_id();

  CProgressDlg controller_;
  std::unique_ptr<PageTimer> timer_;
  std::recursive_mutex mutex_;
  Pending pending_;
  bool refreshQueued_ = false;
  static constexpr qint64 kRefreshMs = 40;
  QElapsedTimer sinceRefresh_;
  QLabel* labels_[3];
  CMyProgress* bars_[2];
  QPushButton* cancel_;
};
