// What an installation writes to the key store, and its shortcuts.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "install/install_context.h"
#include "install/registration.h"
#include "install/shortcuts.h"
#include "platform/posix/posix_services.h"
#include "tests/fake_key_store.h"
#include "tests/fakes.h"
#include "tests/process_helpers.h"

namespace fs = std::filesystem;
using platform::KeyView;

namespace {

const char* const kSettings = "Software\\\\Vaultrel\\WebUI\\NAVRO\\801";
const char* const kUninstall =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane银行网银助手";

class Registration : public testing::Test {
 protected:
  void SetUp() override {
    ResetProcessRecords();
    LoadBankProfile();
    platform::Sys().keyStore = &keys_;
    RunSettings.installDir = "/opt/Corvane";
    RunSettings.serverVersion = "1.0.0.12";
    RunSettings.downloadUrl = "http://h/r";
  }
  void TearDown() override { ResetProcessRecords(); }
  ScopedServices scope_;
  FakeKeyStore keys_;
};

TEST_F(Registration, WritesEveryKeyOfThisBuild) {
  EXPECT_EQ(AssistantSettingsKey("NAVRO", 0x801), kSettings);
  autoStart = true;
  EXPECT_TRUE(RegisterAssistant(MakeInstallContext(Install, nullptr)));
  EXPECT_EQ(keys_.Get(kSettings, "Version"), "1.0.0.12");
  EXPECT_EQ(keys_.Get(kSettings, "Path"), "/opt/Corvane");
  EXPECT_EQ(keys_.Get(kSettings, "BankID"), "801");
  EXPECT_EQ(keys_.Get(kUninstall, "UninstallString"), "/opt/Corvane/uninst_801.exe");
  EXPECT_EQ(keys_.Get(kUninstall, "Publisher"), "Tessmark科技股份有限公司");
  EXPECT_EQ(keys_.Get(kUninstall, "DisplayName"), "Corvane银行网银助手");
  EXPECT_EQ(keys_.Get(kUninstall, "DisplayVersion"), "1.0.0.12");
  EXPECT_EQ(keys_.Get(kUninstall, "DisplayIcon"), "/opt/Corvane/WebUI_801.exe");
  EXPECT_EQ(keys_.Get(kRunKey, "Corvane银行网银助手", KeyView::Wow64_64),
            "/opt/Corvane/TolvanePop_801.exe");
  EXPECT_EQ(keys_.Get(kRunKey, "Corvane银行网银助手"), "<missing>");  // not the 32-bit view
  // autoStart off removes the start-up value and writes none; still true.
  autoStart = false;
  EXPECT_TRUE(RegisterAssistant(MakeInstallContext(Update, nullptr)));
  EXPECT_EQ(keys_.Get(kRunKey, "Corvane银行网银助手", KeyView::Wow64_64), "<missing>");
}

TEST_F(Registration, BankIdsOfTwoDigitsAndEmptyValues) {
  ResetProcessRecords();
  LoadBankProfileFor(0x21);
  RunSettings.installDir = "/opt/X";
  autoStart = true;
  EXPECT_TRUE(RegisterAssistant(MakeInstallContext(Install, nullptr)));
  const std::string key = "Software\\\\Vaultrel\\WebUI\\NAVRO\\21";
  EXPECT_EQ(keys_.Get(key, "BankID"), "021");
  EXPECT_EQ(keys_.Get(key, "Version"), "");  // an empty version is an empty value
  EXPECT_EQ(keys_.Get(kRunKey, "网银助手", KeyView::Wow64_64), "/opt/X/TolvanePop_021.exe");
}

TEST_F(Registration, FailuresAndWhatTheyLeave) {
  // Without the settings key the rest is still written.
  keys_.refuse.insert(platform::NormaliseKeyPath(kSettings));
  EXPECT_TRUE(RegisterAssistant(MakeInstallContext(Install, nullptr)));
  EXPECT_EQ(keys_.Get(kSettings, "Version"), "<missing>");
  EXPECT_EQ(keys_.Get(kUninstall, "DisplayName"), "Corvane银行网银助手");
  // Without the uninstall entry the start-up value is left as it was.
  autoStart = true;
  keys_.refuse.insert(platform::NormaliseKeyPath(kUninstall));
  EXPECT_FALSE(RegisterAssistant(MakeInstallContext(Install, nullptr)));
  EXPECT_EQ(keys_.Get(kRunKey, "Corvane银行网银助手", KeyView::Wow64_64), "<missing>");
}

TEST_F(Registration, ServerSettingsStandInForAnEmptyContext) {
  int error = 0;
  auto key = keys_.CreateKey("Software\\Vaultrel\\WebUI\\NAVRO", KeyView::Default, &error);
  key->SetString("ServerURL", "http://saved");
  key->SetString("Path", std::string(260, 'p'));  // too long for the reader's buffer
  EXPECT_EQ(ReadServerSetting("ServerURL", "NAVRO"), "http://saved");
  EXPECT_EQ(ReadServerSetting("Path", "NAVRO"), "");
  EXPECT_EQ(ReadServerSetting("ServerURL", "OTHER"), "");
  RunSettings.downloadUrl.clear();
  InstallContext c = MakeInstallContext(Install, nullptr);
  EXPECT_EQ(c.serverManifestUrls[0], "http://saved/Digest.xml");
  EXPECT_EQ(c.installDir, "/opt/Corvane");  // a set folder is not replaced
}

TEST(RegistrationStore, ReadBackThroughTheSupportTool) {
  Sandbox sandbox;
  ScopedEnv root("DOWNLOADER_ROOT", sandbox.root());
  ResetProcessRecords();
  LoadBankProfile();
  RunSettings.installDir = "/opt/Corvane";
  RunSettings.serverVersion = "1.0.0.12";
  autoStart = true;
  ASSERT_TRUE(RegisterAssistant(MakeInstallContext(Install, nullptr)));
  ResetProcessRecords();
  ChildProcess list;
  ASSERT_TRUE(list.Start(BinPath("release-tool"), {"reg"}, "/", {}));
  ASSERT_EQ(list.Wait(10000), 0) << list.Output();
  const std::string out = list.Output();
  for (const char* line :
       {"HKEY_LOCAL_MACHINE\\Software\\Vaultrel\\WebUI\\NAVRO\\801\n", "  Version = \"1.0.0.12\"\n",
        "  BankID = \"801\"\n", "  Publisher = \"Tessmark科技股份有限公司\"\n",
        "[64] HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\n",
        "  Corvane银行网银助手 = \"/opt/Corvane/TolvanePop_801.exe\"\n"})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  ChildProcess one;
  ASSERT_TRUE(one.Start(BinPath("release-tool"), {"reg", kSettings, "Path"}, "/", {}));
  ASSERT_EQ(one.Wait(10000), 0);
  EXPECT_EQ(one.Output(), "/opt/Corvane\n");
}

class Shortcuts : public testing::Test {
 protected:
  void SetUp() override {
    ResetProcessRecords();
    LoadBankProfile();
    RunSettings.installDir = "/opt/安装 目录";
    platform::Sys().shell->GetSpecialFolder(platform::SpecialFolder::AppData, &appData_);
    fs::create_directories(QuickLaunchFolder(appData_));
  }
  void TearDown() override { ResetProcessRecords(); }
  std::vector<std::string> Entries() {
    std::vector<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(sandbox_.root()))
      if (e.path().extension() == ".desktop")
        found.push_back(fs::relative(e.path(), sandbox_.root()).string());
    std::sort(found.begin(), found.end());
    return found;
  }
  Sandbox sandbox_;
  ScopedEnv root_{"DOWNLOADER_ROOT", sandbox_.root()};
  std::string appData_;
};

TEST_F(Shortcuts, EveryFlagOnMakesFourEntries) {
  createDesktopShortcut = createStartMenuShortcut = createQuickLaunchShortcut = true;
  RecordingSink sink;
  CreateShortcuts(&sink);
  const std::string menu = "applications/Corvane银行网上银行安全组件/Corvane银行网银助手/";
  EXPECT_EQ(Entries(),
            (std::vector<std::string>{
                menu + "Corvane银行网银助手.desktop", menu + "Corvane银行网银助手卸载程序.desktop",
                "config/Microsoft/Internet Explorer/Quick Launch/Corvane银行网银助手.desktop",
                "desktop/Corvane银行网银助手.desktop"}));
  EXPECT_EQ(ReadFileText(sandbox_.root() + "/desktop/Corvane银行网银助手.desktop"),
            "[Desktop Entry]\nType=Application\nName=Corvane银行网银助手\n"
            "Exec=\"/opt/安装 目录/WebUI_801.exe\"\n");
  EXPECT_NE(ReadFileText(sandbox_.root() + "/" + menu + "Corvane银行网银助手卸载程序.desktop")
                .find("Exec=\"/opt/安装 目录/uninst_801.exe\""),
            std::string::npos);
  EXPECT_EQ(sink.calls, (std::vector<std::string>{"SetStatusText(创建桌面快捷方式)",
                                                  "SetStatusText(创建快速启动选项)"}));
}

TEST_F(Shortcuts, OnlyQuickLaunchAndAMissingQuickLaunchFolder) {
  createDesktopShortcut = createStartMenuShortcut = false;
  createQuickLaunchShortcut = true;
  RecordingSink sink;
  CreateShortcuts(&sink);
  EXPECT_EQ(Entries(), std::vector<std::string>{"config/Microsoft/Internet Explorer/Quick "
                                                "Launch/Corvane银行网银助手.desktop"});
  EXPECT_EQ(sink.calls, std::vector<std::string>{"SetStatusText(创建快速启动选项)"});
  // The quick-launch folder is not created: without it no link is saved.
  fs::remove_all(appData_ + "/Microsoft");
  CreateShortcuts(&sink);
  EXPECT_TRUE(Entries().empty());
  // The path limit of the system's shell links is kept.
  EXPECT_FALSE(CreateShortcut("/t", sandbox_.root(), std::string(260, 'l') + ".lnk"));
}

}  // namespace
