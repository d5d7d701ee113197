#include "ui/command_line_mode.h"

#include "app/settings.h"
#include "app/startup.h"
#include "app/version.h"
#include "channel/server_discovery.h"
#include "channel/version_exchange.h"
#include "install/process_control.h"
#include "install/registration.h"
#include "platform/platform.h"

namespace {

// The installed assistant's "Version" and "Path"; false when either is
// missing or does not fit the reader's buffer.
bool ReadInstalled(std::string* version, std::string* path) {
  std::unique_ptr<platform::RegistryKey> key = platform::Sys().keyStore->OpenKey(
      AssistantSettingsKey(BankProfile.allianceCode, BankProfile.bankId),
      platform::KeyView::Default);
  return key && key->GetString("Version", kValueBufferSize, version) &&
         key->GetString("Path", kValueBufferSize, path);
}

bool Lower(const VersionNumber& a, const VersionNumber& b) {
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) return a[i] < b[i];
  return false;
}

}  // namespace

bool RunCommandLineMode(const std::string& commandLine, CDownloaderApp&, const ModePages& pages) {
  std::string installedVersion, installedPath;
  if (!ReadInstalled(&installedVersion, &installedPath)) return false;

  VersionAnswer answer;
  VersionOutcome outcome = VersionOutcome::NoAnswer;
  for (int attempt = 1; attempt <= 4 && outcome == VersionOutcome::NoAnswer; ++attempt)
    outcome = pages.queryVersion ? pages.queryVersion(&answer) : VersionExchange(false, &answer);
  if (outcome == VersionOutcome::NoAnswer) {
    platform::Debug("update check: no answer in four attempts");
    platform::Sys().processExit->Normal(0);
  }
  if (outcome != VersionOutcome::Answer) return true;

  RunSettings.serverVersion = answer.v;
  RunSettings.downloadUrl = answer.url;
  RunSettings.updateMode = ReadDecimal(answer.update);
  if (RunSettings.updateMode == NoUpdate && commandLine == "-update") return true;

  VersionNumber newVersion = ParseVersion(answer.v);
  RunSettings.installDir = installedPath;
  VersionNumber installed = ParseVersion(installedVersion);

  if (commandLine == "-losefile") {
    if (ConfirmCloseBrowser(BankProfile.assistantName)) pages.progressPage(Repair);
    return true;
  }
  bool older = Lower(installed, newVersion);
  if (!older && commandLine == "-update") return true;
  if (RunSettings.updateMode == PromptUpdate) {
    pages.updatePrompt(older ? 0 : 1);
  } else if (RunSettings.updateMode == ForceUpdate) {
    (void)KillBrowserProcess(0);
    pages.progressPage(Update);
  }
  return true;
}

StartupHooks FrontEndStartupHooks(ModePages pages, std::function<void()> firstPage,
                                  const std::string& programName) {
  StartupHooks hooks;
  hooks.discoverServer = DiscoverServer;
  hooks.runCommandLineMode = [pages](const std::string& commandLine, CDownloaderApp& app) {
    return RunCommandLineMode(commandLine, app, pages);
  };
  hooks.runFirstPage = [firstPage](CDownloaderApp&) { firstPage(); };
  hooks.programName = programName;
  return hooks;
}
