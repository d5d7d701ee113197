#include "install/install_context.h"

#include "app/settings.h"
#include "install/registration.h"
#include "platform/platform.h"
#include "update/manifest.h"

InstallContext MakeInstallContext(InstallMode mode, ProgressSink* sink) {
  InstallContext c;
  c.sink = sink;
  c.allianceCode = BankProfile.allianceCode;
  c.mode = mode;
  c.updateMode = RunSettings.updateMode;
  c.serverVersion = RunSettings.serverVersion;
  c.downloadUrl = RunSettings.downloadUrl.empty() ? ReadServerSetting("ServerURL", c.allianceCode)
                                                  : RunSettings.downloadUrl;
  c.installDir = RunSettings.installDir.empty() ? ReadServerSetting("Path", c.allianceCode)
                                                : RunSettings.installDir;
  const std::string sep(1, platform::kPathSep);
  c.downloadDir = c.installDir + sep + "DownLoad";
  for (ManifestKind kind : {ManifestKind::Common, ManifestKind::Bank}) {
    int i = static_cast<int>(kind);
    std::string name = ManifestFileName(kind, BankProfile.bankId);
    c.serverManifestUrls[i] = c.downloadUrl + "/" + name;
    c.downloadManifestCopies[i] = c.downloadDir + sep + name;
    c.installedManifestCopies[i] = c.installDir + sep + name;
  }
  return c;
}
