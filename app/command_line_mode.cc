#include "app/command_line_mode.h"

#include "app/startup.h"
#include "platform/platform.h"

bool RunCommandLineMode(const std::string& commandLine, CDownloaderApp&) {
  // The installed assistant is recognised by its registration, which no
  // installation has written yet: every run takes the interactive path.
  platform::Debug("RunCommandLineMode(" + commandLine + ")");
  return false;
}
