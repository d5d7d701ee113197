// The version-query page: asks the server for the newest version while it
// shows "正在获取版本信息...", offers two retries when the server is silent,
// and hands over to the install wizard once it has an answer.
#pragma once

#include <string>

class VersionQueryPage {
 public:
  enum class State { Querying, NoAnswerRetry, NoAnswerFinal, Stuck, Answered };

  State state() const { return state_; }
  int retriesLeft() const { return retriesLeft_; }
  bool retryVisible() const { return state_ == State::NoAnswerRetry; }
  std::string statusText() const;

  // The worker's body: one version exchange. On an answer it stores the
  // server's version and download location in the run settings.
  State RunQuery();
  // The Retry button: uses up one retry. False when none is left (the
  // button is then hidden and nothing happens).
  bool Retry();

 private:
  State state_ = State::Querying;
  int retriesLeft_ = 2;
};
