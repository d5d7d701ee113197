// The mode driver: decides from the command line and the installed assistant
// whether this run updates, repairs, or leaves the work to the wizard.
#pragma once

#include <string>

class CDownloaderApp;

// True when the run was handled here; false when the interactive path runs.
bool RunCommandLineMode(const std::string& commandLine, CDownloaderApp& app);
