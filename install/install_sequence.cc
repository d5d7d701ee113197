#include "install/install_sequence.h"

#include "app/progress_sink.h"
#include "app/settings.h"
#include "install/assistant_handoff.h"
#include "install/file_deployment.h"
#include "install/install_context.h"
#include "install/legacy_removal.h"
#include "install/registration.h"
#include "install/runtime_prerequisites.h"
#include "install/shortcuts.h"
#include "install/update_plan.h"
#include "platform/platform.h"
#include "update/download_staging.h"
#include "update/manifest.h"

namespace {

// Partial download bodies wait on the install folder's volume, beside it,
// unless the temporary folder is on that volume already.
void ChooseStagingRoot(const std::string& installDir) {
  platform::FileSystem& fs = *platform::Sys().fileSystem;
  std::string temp = platform::Sys().locations->TempDir();
  if (!fs.SameVolume(temp, installDir)) SetStagingRoot(installDir + ".staging");
}

int Stop(ProgressSink* sink, const char* why) {
  platform::Debug(std::string("installation stopped: ") + why);
  sink->SetWorkerFinished();
  return 0;
}

}  // namespace

int InstallSequence(ProgressSink* sink, std::unique_ptr<InstallContext> context) {
  InstallContext& c = *context;
  const InstallMode mode = c.mode;
  if (mode == Install) (void)RemoveLegacyAssistant(sink);
  // The context's folder: the chosen one, or the one an earlier
  // installation saved when none was chosen.
  if (!CreateFolderTree(c.installDir)) return Stop(sink, "the install folder cannot be created");
  ChooseStagingRoot(c.installDir);
  (void)CreateStandardFolders(c);
  if (!DownloadManifests(c)) return Stop(sink, "the manifests did not arrive whole and signed");

  int needX86 = 0, needX64 = 0;
  (void)DetectMissingRuntimes(&needX86, &needX64);
  c.totalSteps = needX86 + needX64;
  for (const std::string& copy : c.installedManifestCopies)
    c.totalSteps += LoadManifest(copy).EntryCount();
  sink->SetTotalRange(static_cast<uint32_t>(c.totalSteps));
  sink->SetTotalPos(0);
  (void)InstallMissingRuntimes(c, needX86, needX64);

  if (!RunDownloadPass(c, ManifestKind::Common)) return Stop(sink, "a component download failed");
  if (!RunDownloadPass(c, ManifestKind::Bank)) return Stop(sink, "a component download failed");

  if (!StopRunningAssistant(c)) {
    platform::Debug("installation stopped: the running assistant could not be stopped");
    return 0;
  }
  (void)CopyDownloadedFiles(c);
  (void)CleanDownloadFolder(c);
  (void)RegisterAssistant(c);
  context.reset();

  sink->SetWorkerFinished();
  sink->SetCancelCaption("下载完成");
  if (mode == Install || mode == Update) CreateShortcuts(sink);
  sink->SetStatusText("完成安装,准备启动助手");
  platform::Sys().clock->SleepMs(1000);
  LaunchAssistant();
  platform::Debug("installation complete; the assistant was started");
  platform::Sys().processExit->Immediate(0);
  return 0;  // not reached: Immediate does not return
}
