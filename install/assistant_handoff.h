// Talking to the installed assistant's programs: the pop-up companion's pipe,
// the forced-update hand-off, stopping the running assistant before its
// files are replaced, and starting it once the installation is complete.
#pragma once

#include <cstdint>
#include <string>

struct InstallContext;

// "\\.\pipe\" + "NAVRO_Pop" + "NAVRO" + "801": fixed text of the build.
inline constexpr const char* kPopPipeName = "\\\\.\\pipe\\NAVRO_PopNAVRO801";

struct PopCommand {
  std::string command;               // for example "UpdatePopCmd"
  std::string argument;              // may be empty
  bool succeedIfNoListener = false;  // the result when the pipe cannot be opened
  bool waitForReply = false;
  uint32_t replyTimeoutMs = 0;  // used only with waitForReply
};

// "NAVRO_Pop" + command + "||" + argument: the bytes written to the pipe.
std::string PopMessage(const PopCommand& request);
// "Global\NAVRO_Pop" + command + alliance code + "_Yes" or "_No".
std::string PopReplyEventName(const PopCommand& request, const std::string& allianceCode, bool yes);

// Writes the message in one write; with waitForReply, waits for the "_Yes"
// (true) or "_No" (false) event. True when delivered (and confirmed).
bool SendPopCommand(const PopCommand& request, const std::string& allianceCode);
// In a forced update: starts the UI program with "-t", tells the companion
// "UpdatePopCmd" and waits 3 s. Does nothing otherwise. Always true.
bool HandOffToRunningAssistant(const InstallContext& context);
// Asks the UI program and the per-bank companion to quit (their " -t" runs,
// hidden and waited for) and terminates what still runs. False only when
// the download folder cannot be made.
bool StopRunningAssistant(const InstallContext& context);
// Starts the plain companion, then the UI program, each with "-t" and then
// plainly, shown. The install folder is the run settings' installDir.
void LaunchAssistant();

// "TolvanePop_%x.exe" of the bank id.
std::string PerBankPopName(uint32_t bankId);
