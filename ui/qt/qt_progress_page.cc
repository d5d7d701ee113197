#include "ui/qt/qt_progress_page.h"

#include <QApplication>
#include <thread>

namespace {

class QtPageTimer : public PageTimer {
 public:
  void Start(uint32_t periodMs, std::function<void()> tick) override {
    QObject::disconnect(&timer_, nullptr, nullptr, nullptr);
    QObject::connect(&timer_, &QTimer::timeout, std::move(tick));
    timer_.start(static_cast<int>(periodMs));
  }
  void Stop() override { timer_.stop(); }

 private:
  QTimer timer_;
};

int LabelSlot(int id) {
  return id == CProgressDlg::kStatus ? 0 : id == CProgressDlg::kCurrentPercent ? 1 : 2;
}

}  // namespace

bool QtProgressPage::OnGui() const { return std::this_thread::get_id() == guiThread_; }

QtProgressPage::QtProgressPage(InstallMode mode, CProgressDlg::Job job)
    : SkinnedPage(135, 395, 220, true),
      controller_(*this, mode, std::move(job)),
      timer_(std::make_unique<QtPageTimer>()) {
  cancel_ = AddButton(2, "取消", DluRect(325, 190, 50, 14));
  labels_[0] = AddLabel(CProgressDlg::kStatus, "正在下载", DluRect(45, 116, 147, 8), true);
  AddLabel(0, "当前进度", DluRect(45, 134, 33, 8), true);
  AddLabel(0, "总体进度", DluRect(45, 158, 33, 8), true);
  bars_[0] = new CMyProgress(this);
  bars_[0]->setGeometry(DluRect(85, 134, 212, 10));
  Register(CProgressDlg::kCurrentBar, bars_[0]);
  bars_[1] = new CMyProgress(this);
  bars_[1]->setGeometry(DluRect(85, 158, 212, 10));
  Register(CProgressDlg::kTotalBar, bars_[1]);
  labels_[1] = AddLabel(CProgressDlg::kCurrentPercent, "0%", DluRect(305, 134, 40, 8), true);
  labels_[2] = AddLabel(CProgressDlg::kTotalPercent, "0%", DluRect(305, 159, 35, 8), true);
  connect(cancel_, &QPushButton::clicked, this, [this] { controller_.OnCancel(); });
}

QtProgressPage::~QtProgressPage() { timer_->Stop(); }

void QtProgressPage::Open() {
  controller_.OnInitDialog();
  Place(controller_.placement());
}

void QtProgressPage::RunOnPageThread(const std::function<void()>& fn) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  fn();
}

void QtProgressPage::Changed() {
  // Called with mutex_ held.
  pending_.any = true;
  if (OnGui()) return;  // applied by the caller's Refresh
  if (refreshQueued_) return;
  refreshQueued_ = true;
  // The widgets follow at most kRefreshMs apart: a download reports every
  // few kilobytes, far more often than anyone can see.
  QMetaObject::invokeMethod(
      this,
      [this] {
        qint64 wait = sinceRefresh_.isValid() ? kRefreshMs - sinceRefresh_.elapsed() : 0;
        if (wait <= 0)
          Refresh();
        else
          QTimer::singleShot(static_cast<int>(wait), this, [this] { Refresh(); });
      },
      Qt::QueuedConnection);
}

void QtProgressPage::SetLabel(int id, const std::string& text) {
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    pending_.labels[LabelSlot(id)] = text;
    Changed();
  }
  if (OnGui()) Refresh();
}

void QtProgressPage::SetBar(int id, uint32_t upper, uint32_t pos) {
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    pending_.bars[id == CProgressDlg::kCurrentBar ? 0 : 1] = std::make_pair(upper, pos);
    Changed();
  }
  if (OnGui()) Refresh();
}

void QtProgressPage::SetCancelCaption(const std::string& text) {
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    pending_.caption = text;
    Changed();
  }
  if (OnGui()) Refresh();
}

void QtProgressPage::Refresh() {
  sinceRefresh_.start();
  Pending now;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    now = std::move(pending_);
    pending_ = Pending{};
    refreshQueued_ = false;
  }
  if (!now.any) return;
  for (int i = 0; i < 3; ++i) {
    if (!now.labels[i]) continue;
    labels_[i]->setText(Q(*now.labels[i]));
    // The picture under the label is repainted, so a shorter text leaves
    // no trace of a longer one.
    RedrawLabel(labels_[i]);
  }
  for (int i = 0; i < 2; ++i) {
    if (!now.bars[i]) continue;
    // Ranges are 32-bit; the bar holds int: larger ones are scaled down alike.
    uint64_t upper = now.bars[i]->first, pos = now.bars[i]->second;
    while (upper > 0x7fffffffu) {
      upper >>= 1;
      pos >>= 1;
    }
    bars_[i]->setRange(0, static_cast<int>(upper));
    bars_[i]->setValue(static_cast<int>(std::min(pos, upper)));
    // The bar paints itself: every new position is drawn.
    bars_[i]->update();
  }
  if (now.caption) cancel_->setText(Q(*now.caption));
}

void QtProgressPage::SetPicture(uint32_t imageId) {
  OnGuiThread([this, imageId] {
    SkinnedPage::SetPicture(imageId);
    repaint();
  });
}

void QtProgressPage::StartTimer(uint32_t periodMs) {
  OnGuiThread([this, periodMs] { timer_->Start(periodMs, [this] { controller_.OnTimer(); }); });
}

void QtProgressPage::StopTimer() {
  OnGuiThread([this] { timer_->Stop(); });
}

void QtProgressPage::StartWorker(std::function<void()> fn) { std::thread(std::move(fn)).detach(); }
