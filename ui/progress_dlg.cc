#include "ui/progress_dlg.h"

#include "app/settings.h"
#include "install/assistant_handoff.h"
#include "install/install_context.h"
#include "install/install_sequence.h"
#include "platform/platform.h"

CProgressDlg::CProgressDlg(ProgressView& view, InstallMode mode, Job job)
    : view_(view), mode_(mode), job_(std::move(job)) {
  if (!job_)
    job_ = [](ProgressSink* sink, std::unique_ptr<InstallContext> context) {
      (void)InstallSequence(sink, std::move(context));
    };
}

CProgressDlg::~CProgressDlg() {
  if (progressDialog == this) progressDialog = nullptr;
}

PagePlacement CProgressDlg::placement() const {
  return mode_ == Install ? PagePlacement::AtLastRect : PagePlacement::Centered;
}

void CProgressDlg::OnInitDialog() {
  auto context = std::make_unique<InstallContext>(MakeInstallContext(mode_, this));
  (void)HandOffToRunningAssistant(*context);
  toggle_ = 0;
  totalPercent_ = "0%";
  view_.SetLabel(kTotalPercent, totalPercent_);
  picture_ = BankProfile.progressImageId;
  view_.SetPicture(picture_);
  progressDialog = this;
  // The worker is never waited for: on success it ends the process itself.
  auto shared = std::make_shared<std::unique_ptr<InstallContext>>(std::move(context));
  view_.StartWorker([this, shared] {
    job_(this, std::move(*shared));
    workerReturned_ = true;
  });
  view_.StartTimer(kPictureMs);
}

void CProgressDlg::OnTimer() {
  if (toggle_ == 0) {
    picture_ = BankProfile.progressAltImageId;
    toggle_ = 1;
  } else {
    picture_ = BankProfile.progressImageId;
    toggle_ = 0;
  }
  view_.SetPicture(picture_);
}

void CProgressDlg::OnCancel() {
  if (!workerFinished_ &&
      !platform::Sys().dialogs->AskYesNo(kCancelQuestion, BankProfile.downloaderTitle))
    return;
  view_.StopTimer();
  ended_ = true;
  // Every opener of this page ends the run once it has ended. A worker that
  // still runs would reach a page that is gone: the run ends here instead.
  if (!workerReturned_) platform::Sys().processExit->Immediate(0);
  view_.EndPage(kPageCancel);
}

const std::string& CProgressDlg::label(int id) const {
  switch (id) {
    case kCurrentPercent:
      return currentPercent_;
    case kTotalPercent:
      return totalPercent_;
    default:
      return status_;
  }
}

void CProgressDlg::OnPageThread(const std::function<void()>& fn) {
  if (ended_) return;
  view_.RunOnPageThread(fn);
}

void CProgressDlg::ShowBar(int id, const Bar& bar) { view_.SetBar(id, bar.upper, bar.pos); }

void CProgressDlg::SetStatusText(const std::string& text) {
  OnPageThread([&] {
    status_ = text;
    view_.SetLabel(kStatus, status_);
  });
}

void CProgressDlg::SetCurrentRange(uint32_t upper) {
  OnPageThread([&] {
    current_.upper = upper;
    ShowBar(kCurrentBar, current_);
  });
}

void CProgressDlg::SetCurrentPos(uint32_t pos) {
  OnPageThread([&] {
    current_.pos = pos;
    ShowBar(kCurrentBar, current_);
  });
}

void CProgressDlg::SetCurrentPercent(const std::string& text) {
  OnPageThread([&] {
    currentPercent_ = text;
    view_.SetLabel(kCurrentPercent, currentPercent_);
  });
}

void CProgressDlg::SetTotalRange(uint32_t upper) {
  OnPageThread([&] {
    total_.upper = upper;
    ShowBar(kTotalBar, total_);
  });
}

void CProgressDlg::SetTotalPos(uint32_t pos) {
  OnPageThread([&] {
    total_.pos = pos;
    ShowBar(kTotalBar, total_);
  });
}

void CProgressDlg::SetTotalPercent(const std::string& text) {
  OnPageThread([&] {
    totalPercent_ = text;
    view_.SetLabel(kTotalPercent, totalPercent_);
  });
}

void CProgressDlg::SetCancelCaption(const std::string& text) {
  OnPageThread([&] {
    cancelCaption_ = text;
    view_.SetCancelCaption(cancelCaption_);
  });
}

void CProgressDlg::SetWorkerFinished() { workerFinished_ = true; }
