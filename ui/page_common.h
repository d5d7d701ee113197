// Behaviour shared by every page of the downloader, whatever draws it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/single_instance.h"

// Held by a page while it is shown: the page then receives the
// single-instance broadcast of the message singleMsgId, and the quit
// message ends the process. Does nothing for the id 0.
class PageBroadcastGuard {
 public:
  explicit PageBroadcastGuard(uint32_t singleMsgId);
  ~PageBroadcastGuard();
  PageBroadcastGuard(const PageBroadcastGuard&) = delete;
  PageBroadcastGuard& operator=(const PageBroadcastGuard&) = delete;

 private:
  std::unique_ptr<platform::BroadcastListener> listener_;
};

// The install folder offered first: the program-files location and the
// bank's installSubdir.
std::string DefaultInstallDir();

// The Cancel handler of the first pages: asks "是否退出网银助手安装？";
// Yes ends the process at once with code 0, No returns.
void ConfirmQuitInstall();

struct WindowRect;
// A page was moved: its window rectangle becomes lastWindowRect, where the
// next page opens.
void RecordWindowRect(const WindowRect& rect);
