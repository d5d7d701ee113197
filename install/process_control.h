// Finding and ending other processes by their executable name, and the
// question before the web browser is closed.
#pragma once

#include <cstdint>
#include <string>

// The browser that hosts the bank's pages.
inline constexpr const char* kBrowserExeName = "iexplore.exe";

// Id of the first process in the platform's list whose executable name
// equals name without regard to case; 0 when none does.
int64_t FindProcessByName(const std::string& name);
// Terminates the first such process (exit code 0) and waits until it has
// ended. Nothing happens when none runs or it cannot be opened.
void KillProcessByName(const std::string& name);
// Terminates the first such process with exit code -9, without waiting.
// Always true.
bool TerminateProcessByName(const std::string& name);
// True, with its id, when a browser process runs (only the first is found).
bool FindBrowserProcess(int64_t* id);
// Terminates the process id, or the first browser process for the id 0,
// with exit code -9, without waiting. Always true.
bool KillBrowserProcess(int64_t id);
// With the browser running, asks "安装过程中需关闭IE浏览器，是否继续？" under
// caption; Yes closes the browser. True when the caller may go on.
bool ConfirmCloseBrowser(const std::string& caption);
