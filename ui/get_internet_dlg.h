// The version-query page, the first page of the interactive path: a worker
// asks the server for the newest version while the page shows
// "正在获取版本信息...". On an answer the worker hides the page and runs the
// install wizard; a silent server gets two retries.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "channel/version_exchange.h"
#include "ui/page_view.h"

class GetInternetView : public virtual PageView {
 public:
  // Shows or hides the Retry button (1030).
  virtual void ShowRetry(bool shown) = 0;
  // New text of the status label (1029); the picture under it is repainted.
  virtual void SetStatus(const std::string& text) = 0;
  // Runs fn on a new thread that nobody waits for.
  virtual void StartWorker(std::function<void()> fn) = 0;
};

class CGetInternetDlg {
 public:
  enum class State { Querying, NoAnswerRetry, NoAnswerFinal, Stuck, Answered };
  using Query = std::function<VersionOutcome(VersionAnswer*)>;

  static constexpr const char* kQuerying = "正在获取版本信息...";
  static constexpr const char* kNoAnswer = "服务器没响应";

  // query defaults to the version exchange with diagnostics on.
  CGetInternetDlg(GetInternetView& view, WizardPages& pages, Query query = nullptr);

  PagePlacement placement() const { return PagePlacement::Platform; }
  uint32_t imageId() const;

  // Hides Retry, sets two retries and starts the first query.
  void OnInitDialog();
  // The worker's body: one query, then either the wizard or a status.
  void VersionQueryWorker();
  // Uses up one retry and queries again; ignored while Retry is hidden.
  void OnRetry();
  // The quit question.
  void OnCancel();

  State state() const { return state_; }
  int retriesLeft() const { return retriesLeft_; }
  bool retryShown() const { return retryShown_; }

 private:
  void ShowRetry(bool shown);

  GetInternetView& view_;
  WizardPages& pages_;
  Query query_;
  std::atomic<State> state_{State::Querying};
  std::atomic<int> retriesLeft_{2};
  std::atomic<bool> retryShown_{false};
};
