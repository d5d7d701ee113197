#include "install/registration.h"

#include <cstdio>
#include <memory>

#include "app/settings.h"
#include "install/install_context.h"
#include "platform/platform.h"

namespace {

platform::KeyStore& Keys() { return *platform::Sys().keyStore; }

std::string Hex3(uint32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "%03x", id);
  return text;
}

}  // namespace

std::string AssistantSettingsKey(const std::string& allianceCode, uint32_t bankId) {
  char id[16];
  std::snprintf(id, sizeof id, "%x", bankId);
  return "Software\\" + vendorKey + "\\Vaultrel\\WebUI\\" + allianceCode + "\\" + id;
}

std::string ServerSettingsKey(const std::string& allianceCode) {
  return "Software\\Vaultrel\\WebUI\\" + allianceCode;
}

std::string UninstallKey() {
  return "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + BankProfile.assistantName;
}

bool RegisterAssistant(const InstallContext& c) {
  const std::string sep(1, platform::kPathSep);
  int error = 0;
  // The results of the single value writes are not examined.
  if (auto settings = Keys().CreateKey(AssistantSettingsKey(c.allianceCode, BankProfile.bankId),
                                       platform::KeyView::Default, &error)) {
    (void)settings->SetString("Version", c.serverVersion);
    (void)settings->SetString("Path", c.installDir);
    (void)settings->SetString("BankID", Hex3(BankProfile.bankId));
  }
  auto uninstall = Keys().CreateKey(UninstallKey(), platform::KeyView::Default, &error);
  if (!uninstall) return false;
  (void)uninstall->SetString("UninstallString",
                             c.installDir + sep + RunSettings.uninstallerExeName);
  (void)uninstall->SetString("Publisher", kPublisher);
  (void)uninstall->SetString("DisplayName", BankProfile.assistantName);
  (void)uninstall->SetString("DisplayVersion", c.serverVersion);
  (void)uninstall->SetString("DisplayIcon", c.installDir + sep + RunSettings.webUiExeName);
  uninstall.reset();

  auto run = Keys().CreateKey(kRunKey, platform::KeyView::Wow64_64, &error);
  if (!run) {
    platform::Debug("open run failed " + std::to_string(error));
    return false;
  }
  (void)run->DeleteValue(BankProfile.assistantName);
  if (autoStart &&
      !run->SetString(BankProfile.assistantName,
                      c.installDir + sep + "TolvanePop_" + Hex3(BankProfile.bankId) + ".exe")) {
    platform::Debug("write run failed " + std::to_string(error));
    return false;
  }
  return true;
}

std::string ReadServerSetting(const std::string& valueName, const std::string& allianceCode) {
  std::string value;
  if (auto key = Keys().OpenKey(ServerSettingsKey(allianceCode), platform::KeyView::Default))
    (void)key->GetString(valueName, kValueBufferSize, &value);
  return value;
}
