#include "ui/version_query_page.h"

#include "app/settings.h"
#include "channel/version_exchange.h"

std::string VersionQueryPage::statusText() const {
  return state_ == State::NoAnswerRetry || state_ == State::NoAnswerFinal ? "服务器没响应"
                                                                          : "正在获取版本信息...";
}

VersionQueryPage::State VersionQueryPage::RunQuery() {
  state_ = State::Querying;
  VersionAnswer answer;
  switch (VersionExchange(true, &answer)) {
    case VersionOutcome::NoAnswer:
      state_ = retriesLeft_ != 0 ? State::NoAnswerRetry : State::NoAnswerFinal;
      break;
    case VersionOutcome::CannotOpen:
    case VersionOutcome::NotJson:
      state_ = State::Stuck;
      break;
    case VersionOutcome::Answer:
      RunSettings.serverVersion = answer.v;
      RunSettings.downloadUrl = answer.url;
      state_ = State::Answered;
      break;
  }
  return state_;
}

bool VersionQueryPage::Retry() {
  if (state_ != State::NoAnswerRetry) return false;
  --retriesLeft_;
  return true;
}
