#include "install/assistant_handoff.h"

#include <cstdio>
#include <memory>

#include "app/settings.h"
#include "install/file_deployment.h"
#include "install/install_context.h"
#include "install/process_control.h"
#include "platform/platform.h"

namespace {

const std::string kSep(1, platform::kPathSep);

platform::Services& S() { return platform::Sys(); }

// As PathFileExists on Windows: any file or folder of that name.
bool FileExists(const std::string& path) { return S().fileSystem->Exists(path); }

}  // namespace

std::string PerBankPopName(uint32_t bankId) {
  char name[32];
  std::snprintf(name, sizeof name, "TolvanePop_%x.exe", bankId);
  return name;
}

std::string PopMessage(const PopCommand& r) { return "NAVRO_Pop" + r.command + "||" + r.argument; }

std::string PopReplyEventName(const PopCommand& r, const std::string& allianceCode, bool yes) {
  return "Global\\NAVRO_Pop" + r.command + allianceCode + (yes ? "_Yes" : "_No");
}

bool SendPopCommand(const PopCommand& r, const std::string& allianceCode) {
  std::unique_ptr<platform::PipeWriter> pipe = S().ipc->OpenPipe(kPopPipeName);
  if (!pipe) return r.succeedIfNoListener;
  const std::string message = PopMessage(r);
  long long written = pipe->Write(message.data(), message.size());
  pipe.reset();
  if (written < static_cast<long long>(message.size())) return false;
  if (!r.waitForReply) return true;
  std::unique_ptr<platform::NamedEvent> no =
      S().ipc->CreateEvent(PopReplyEventName(r, allianceCode, false));
  std::unique_ptr<platform::NamedEvent> yes =
      S().ipc->CreateEvent(PopReplyEventName(r, allianceCode, true));
  if (!no || !yes) return false;
  // Index 1 is the "_Yes" event; "_No", a time-out and a failure give false.
  return S().ipc->WaitForAny({no.get(), yes.get()}, r.replyTimeoutMs) == 1;
}

bool HandOffToRunningAssistant(const InstallContext& c) {
  if (c.mode != Update || c.updateMode != ForceUpdate) return true;
  const std::string ui = c.installDir + kSep + RunSettings.webUiExeName;
  if (FileExists(ui)) S().processes->Start(ui, "-t", platform::ShowMode::Shown, false);
  PopCommand update{"UpdatePopCmd", "", false, false, 0};
  (void)SendPopCommand(update, c.allianceCode);
  S().clock->SleepMs(3000);
  return true;
}

bool StopRunningAssistant(const InstallContext& c) {
  const std::string download = c.installDir + kSep + "DownLoad" + kSep;
  if (!S().fileSystem->IsFolder(download) && !CreateFolderTree(download)) return false;
  const std::string ui = c.installDir + kSep + RunSettings.webUiExeName;
  if (FileExists(ui)) S().processes->Start(ui, " -t", platform::ShowMode::Hidden, true);
  TerminateProcessByName(RunSettings.webUiExeName);
  const std::string popName = PerBankPopName(BankProfile.bankId);
  const std::string pop = c.installDir + kSep + popName;
  if (FileExists(pop)) S().processes->Start(pop, " -t", platform::ShowMode::Hidden, true);
  TerminateProcessByName(popName);
  S().clock->SleepMs(2000);
  return true;
}

void LaunchAssistant() {
  const std::string dir = RunSettings.installDir;
  for (const std::string& name : {std::string("TolvanePop.exe"), RunSettings.webUiExeName}) {
    const std::string program = dir + kSep + name;
    if (!FileExists(program)) continue;
    S().processes->Start(program, "-t", platform::ShowMode::Shown, false);
    S().clock->SleepMs(500);
    S().processes->Start(program, "", platform::ShowMode::Shown, false);
  }
}
