#include "ui/get_internet_dlg.h"

#include "app/settings.h"
#include "platform/platform.h"
#include "ui/page_common.h"

CGetInternetDlg::CGetInternetDlg(GetInternetView& view, WizardPages& pages, Query query)
    : view_(view), pages_(pages), query_(std::move(query)) {
  if (!query_) query_ = [](VersionAnswer* answer) { return VersionExchange(true, answer); };
}

uint32_t CGetInternetDlg::imageId() const { return BankProfile.queryImageId; }

void CGetInternetDlg::ShowRetry(bool shown) {
  retryShown_ = shown;
  view_.ShowRetry(shown);
}

void CGetInternetDlg::OnInitDialog() {
  ShowRetry(false);
  retriesLeft_ = 2;
  view_.StartWorker([this] { VersionQueryWorker(); });
}

void CGetInternetDlg::VersionQueryWorker() {
  state_ = State::Querying;
  ShowRetry(false);
  view_.SetStatus(kQuerying);
  VersionAnswer answer;
  switch (query_(&answer)) {
    case VersionOutcome::NoAnswer:
      state_ = retriesLeft_ != 0 ? State::NoAnswerRetry : State::NoAnswerFinal;
      ShowRetry(retriesLeft_ != 0);
      view_.SetStatus(kNoAnswer);
      return;
    case VersionOutcome::CannotOpen:
    case VersionOutcome::NotJson:
      // Nothing more happens: only Cancel is left.
      state_ = State::Stuck;
      return;
    case VersionOutcome::Answer:
      break;
  }
  RunSettings.serverVersion = answer.v;
  RunSettings.downloadUrl = answer.url;
  state_ = State::Answered;
  platform::Sys().clock->SleepMs(500);
  view_.HidePage();
  pages_.RunInstallPage();
  view_.EndPage(0);
}

void CGetInternetDlg::OnRetry() {
  // The button is hidden while a query runs and after the last retry.
  if (!retryShown_) return;
  ShowRetry(false);
  --retriesLeft_;
  view_.StartWorker([this] { VersionQueryWorker(); });
}

void CGetInternetDlg::OnCancel() { ConfirmQuitInstall(); }
