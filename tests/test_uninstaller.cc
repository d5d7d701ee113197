// The stand-in uninstaller takes back what an installation registered.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "install/install_context.h"
#include "install/process_control.h"
#include "install/registration.h"
#include "install/shortcuts.h"
#include "platform/platform.h"
#include "tests/process_helpers.h"

namespace fs = std::filesystem;

namespace {

TEST(StandInUninstaller, RemovesKeysEntriesProgramsAndItsFolder) {
  Sandbox sandbox;
  ScopedEnv root("DOWNLOADER_ROOT", sandbox.root());
  ResetProcessRecords();
  LoadBankProfile();
  const std::string dir = sandbox.root() + "/opt/Corvane";
  InstallStandIns(dir, {"uninst_801.exe", "WebUI_801.exe"});
  RunSettings.installDir = dir;
  RunSettings.serverVersion = "1.0.0.12";
  autoStart = createDesktopShortcut = createStartMenuShortcut = true;
  ASSERT_TRUE(RegisterAssistant(MakeInstallContext(Install, nullptr)));
  CreateShortcuts(nullptr);
  ChildProcess ui;
  ASSERT_TRUE(ui.Start(dir + "/WebUI_801.exe", {}, dir, {}));
  ASSERT_TRUE(WaitUntil([&] { return FindProcessByName("WebUI_801.exe") != 0; }, 5000));

  ChildProcess uninstall;
  ASSERT_TRUE(uninstall.Start(dir + "/uninst_801.exe", {}, "/", {}));
  ASSERT_EQ(uninstall.Wait(20000), 0);
  EXPECT_GE(ui.Wait(5000), 0);  // the assistant was stopped first
  EXPECT_FALSE(fs::exists(dir));
  EXPECT_FALSE(fs::exists(sandbox.root() + "/desktop/Corvane银行网银助手.desktop"));
  EXPECT_FALSE(fs::exists(sandbox.root() + "/applications/Corvane银行网上银行安全组件"));
  platform::KeyStore& keys = *platform::Sys().keyStore;
  std::string value;
  auto settings = keys.OpenKey(AssistantSettingsKey("NAVRO", 0x801), platform::KeyView::Default);
  EXPECT_FALSE(settings && settings->GetString("Version", 260, &value));
  auto run = keys.OpenKey(kRunKey, platform::KeyView::Wow64_64);
  EXPECT_FALSE(run && run->GetString("Corvane银行网银助手", 260, &value));
  ResetProcessRecords();
}

TEST(StandInUninstaller, NeverRemovesAFolderItDoesNotRunFrom) {
  Sandbox sandbox;
  ScopedEnv root("DOWNLOADER_ROOT", sandbox.root());
  ResetProcessRecords();
  LoadBankProfile();
  const std::string registered = sandbox.cwd() + "/precious";
  fs::create_directories(registered);
  InstallStandIns(sandbox.cwd() + "/elsewhere", {"uninst_801.exe"});
  RunSettings.installDir = registered;
  ASSERT_TRUE(RegisterAssistant(MakeInstallContext(Install, nullptr)));
  ChildProcess uninstall;
  ASSERT_TRUE(uninstall.Start(sandbox.cwd() + "/elsewhere/uninst_801.exe", {}, "/", {}));
  ASSERT_EQ(uninstall.Wait(20000), 0);
  EXPECT_TRUE(fs::is_directory(registered));
  ResetProcessRecords();
}

}  // namespace
