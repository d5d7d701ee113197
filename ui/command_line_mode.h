// What a run does when the assistant is installed already: the update check
// against the server, then the update prompt, a forced update, a repair
// ("-losefile"), or nothing ("-update" with nothing to do).
#pragma once

#include <functional>
#include <string>

#include "channel/version_exchange.h"
#include "install/install_context.h"

class CDownloaderApp;

// The pages the mode driver opens, drawn by whichever front end runs.
struct ModePages {
  // The update prompt of kind (0: a newer version exists, 1: reinstall),
  // made the application's main window, until it has ended.
  std::function<void(int kind)> updatePrompt;
  // The progress page of mode, until it has ended.
  std::function<void(InstallMode mode)> progressPage;
  // One update check; unset, the version exchange without diagnostics.
  std::function<VersionOutcome(VersionAnswer* answer)> queryVersion;
};

// True when the run was handled here (the process then ends); false when
// the assistant is not installed and the interactive path is to run. Four
// update checks in a row without an answer end the process with code 0.
bool RunCommandLineMode(const std::string& commandLine, CDownloaderApp& app,
                        const ModePages& pages);

struct StartupHooks;
// The start-up hooks of a front end: the server discovery, this mode
// driver opening the front end's pages, and its first page.
StartupHooks FrontEndStartupHooks(ModePages pages, std::function<void()> firstPage,
                                  const std::string& programName);
