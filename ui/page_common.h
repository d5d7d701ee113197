// Behaviour shared by every page of the downloader, whatever draws it.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform.h"

// Held by a page while it is shown: the page then receives the
// single-instance broadcast, and the quit message ends the process.
class PageBroadcastGuard {
 public:
  PageBroadcastGuard();
  ~PageBroadcastGuard();
  PageBroadcastGuard(const PageBroadcastGuard&) = delete;
  PageBroadcastGuard& operator=(const PageBroadcastGuard&) = delete;

 private:
  std::unique_ptr<platform::BroadcastListener> listener_;
};

// The Cancel handler of the first pages: asks "是否退出网银助手安装？";
// Yes ends the process at once with code 0, No returns.
void ConfirmQuitInstall();
