#include "install/legacy_removal.h"

#include <cstdio>

#include "app/progress_sink.h"
#include "app/settings.h"
#include "install/process_control.h"
#include "platform/platform.h"

namespace {

const char* kParkedName = "Orvupdate.exe";
const char* kKillScript = "killprocess.vbs";

platform::FileSystem& Fs() { return *platform::Sys().fileSystem; }

// A move that never replaces an existing target, as MoveFile and the C
// runtime's rename do on Windows; a failure is ignored.
void Move(const std::string& from, const std::string& to) { (void)Fs().Rename(from, to); }

void RestoreParkedFile() {
  if (Fs().Exists(kParkedName)) Move(kParkedName, RunSettings.assistantExeName);
}

void RunUninstallerRecipe(const LegacyRemovalRecipe& r) {
  if (!r.processToKill.empty()) KillProcessByName(r.processToKill);
  for (const std::string& windowsPath : r.uninstallers) {
    std::string path = platform::Sys().locations->FromWindowsPath(windowsPath);
    if (!Fs().Exists(path)) continue;
    (void)platform::Sys().processes->Start(path, r.parameters, platform::ShowMode::Hidden, true);
    RestoreParkedFile();
    return;
  }
}

void RunInstallerServiceRecipe(const LegacyRemovalRecipe& r) {
  if (Fs().Exists(kParkedName)) (void)Fs().DeleteFile(kParkedName);
  if (Fs().Exists(kKillScript)) {
    // Emptied, not removed: replaced by an empty file of its own, so that a
    // link placed under that name never empties (or creates) the file it
    // points to.
    (void)Fs().DeleteFile(kKillScript);
    int error = 0;
    if (std::unique_ptr<platform::OutputFile> empty =
            Fs().CreateNewFile(kKillScript, false, &error))
      (void)empty->Close(&error);
    platform::Sys().clock->SleepMs(500);
  }
  std::string own = platform::Sys().processes->OwnExecutablePath();
  size_t cut = own.find_last_of(std::string("\\") + platform::kPathSep);
  std::string ownName = cut == std::string::npos ? own : own.substr(cut + 1);
  if (!ownName.empty() && Fs().Exists(ownName)) Move(ownName, kParkedName);
  (void)platform::Sys().processes->Start("msiexec.exe", r.parameters, platform::ShowMode::Hidden,
                                         true);
  RestoreParkedFile();
}

}  // namespace

LegacyRemovalRecipe LegacyRecipeFor(uint32_t bankId, const std::string& productKey) {
  switch (bankId) {
    case 0x166:
    case 0x861:
    case 0x866:
    case 0x867:
      return {"卸载Brennic老版助手",
              "TRVAssistantTool.exe",
              {"C:\\Program Files (x86)\\TRV\\EBankingAssistant\\uninst.exe",
               "C:\\Program Files\\TRV\\EBankingAssistant\\uninst.exe"},
              "/S",
              false};
    case 0x831:
      return {"卸载Ostrel老版助手",
              "EbankingAssistant.PSKW.x86.exe",
              {"C:\\Program Files (x86)\\PSKWAssistant\\uninst.exe",
               "C:\\Program Files\\PSKWAssistant\\uninst.exe"},
              "/S",
              false};
    default:
      return {"卸载Lumaro老版助手", "", {}, "/X" + productKey + " /quiet", true};
  }
}

bool RemoveLegacyAssistant(ProgressSink* sink) {
  if (BankProfile.legacyProductKey.empty()) return true;
  LegacyRemovalRecipe r = LegacyRecipeFor(BankProfile.bankId, BankProfile.legacyProductKey);
  if (sink) sink->SetStatusText(r.statusText);
  if (r.installerService)
    RunInstallerServiceRecipe(r);
  else
    RunUninstallerRecipe(r);
  return true;
}
