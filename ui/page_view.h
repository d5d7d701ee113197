// What every page of the wizard needs from the front end that draws it, and
// the chain of pages: each page runs the next one modally and ends itself
// when that returns.
#pragma once

#include <cstdint>
#include <string>

#include "install/install_context.h"

// The modal result a page ends with when it is closed or cancelled.
inline constexpr int kPageCancel = 2;

// Where a page opens.
enum class PagePlacement {
  Platform,    // where the window system puts it
  AtLastRect,  // at the top-left corner of lastWindowRect
  Centered,    // centred on the screen
};

class PageView {
 public:
  virtual ~PageView() = default;
  virtual void HidePage() = 0;
  // Ends the page's modal loop with result.
  virtual void EndPage(int result) = 0;
};

// Runs a new page modally, until it has ended.
class WizardPages {
 public:
  virtual ~WizardPages() = default;
  virtual void RunInstallPage() = 0;
  virtual void RunOptionPage() = 0;
  virtual void RunProgressPage(InstallMode mode) = 0;
};
