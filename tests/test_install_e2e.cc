// Whole runs of downloader-cli in a sandbox against assistant-server: a first
// installation, an update of one changed file, a repair, and the runs that
// must stop before anything is installed.
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/settings.h"
#include "tests/release_fixture.h"

namespace fs = std::filesystem;

namespace {

// The id of the last plain start a stand-in logged, or 0.
long LastPlainStart(const std::string& folder, const std::string& name) {
  long pid = 0;
  for (const std::string& line : StandInLog(folder, name))
    if (line.find("start [] shown") != std::string::npos) pid = std::atol(line.c_str());
  return pid;
}

bool Alive(long pid) { return pid > 0 && fs::exists("/proc/" + std::to_string(pid) + "/exe"); }

using InstallE2E = ReleaseFixture;

}  // namespace

TEST_F(InstallE2E, FirstInstallationThenAnUpdateOfOneFileThenARepair) {
  StartServer("1.0.0.12", 0);
  std::string out;
  ASSERT_EQ(RunDownloader({}, &out), 0) << out;
  EXPECT_EQ(FilesDifferingFromRelease(), std::vector<std::string>{}) << out;
  EXPECT_EQ(Reg(kSettingsKey, "Version"), "1.0.0.12");
  EXPECT_EQ(Reg(kSettingsKey, "Path"), InstallDir());
  const std::string link = BankProfile.assistantName + ".desktop";
  EXPECT_TRUE(fs::exists(sandbox_.root() + "/desktop/" + link));
  EXPECT_TRUE(
      fs::exists(sandbox_.root() + "/config/Microsoft/Internet Explorer/Quick Launch/" + link));
  long ui = LastPlainStart(InstallDir(), "WebUI_801.exe");
  long pop = LastPlainStart(InstallDir(), "TolvanePop.exe");
  EXPECT_TRUE(Alive(ui) && Alive(pop)) << out;

  // One component changes: only it and the manifests are fetched, and the
  // running assistant is stopped and started again.
  PutReleaseFile("Plugins/组件.dll", "plugin 2\n");
  PutReleaseFile("Plugins/新/added.dll", "a folder the new release adds\n");
  Publish();
  StartServer("1.0.0.13", 2);
  ASSERT_EQ(RunDownloader({}, &out), 0) << out;
  EXPECT_EQ(FilesSent(), (std::vector<std::string>{"/Digest.xml", "/Digest_801.xml",
                                                   "/Plugins/新/added.dll", "/Plugins/组件.dll"}));
  EXPECT_EQ(FilesDifferingFromRelease(), std::vector<std::string>{});
  EXPECT_EQ(Reg(kSettingsKey, "Version"), "1.0.0.13");
  EXPECT_TRUE(WaitUntil([&] { return !Alive(ui) && !Alive(pop); }, 5000));
  EXPECT_TRUE(Alive(LastPlainStart(InstallDir(), "WebUI_801.exe")));
  EXPECT_NE(LastPlainStart(InstallDir(), "WebUI_801.exe"), ui);

  // An update check with nothing to do fetches nothing.
  StartServer("1.0.0.13", 0);
  ASSERT_EQ(RunDownloader({"-update"}, &out), 0) << out;
  EXPECT_EQ(FilesSent(), std::vector<std::string>{});

  // A lost file and a damaged one come back with "-losefile".
  fs::remove(InstallDir() + "/Data/config.ini");
  std::ofstream(InstallDir() + "/Plugins/组件.dll") << "damaged";
  ASSERT_EQ(RunDownloader({"-losefile"}, &out), 0) << out;
  EXPECT_EQ(FilesDifferingFromRelease(), std::vector<std::string>{});
  std::vector<std::string> sent = FilesSent();
  EXPECT_NE(std::find(sent.begin(), sent.end(), "/Data/config.ini"), sent.end());
  EXPECT_NE(std::find(sent.begin(), sent.end(), "/Plugins/组件.dll"), sent.end());
}

// Runs that must stop before anything is put in place or registered.
TEST_F(InstallE2E, BrokenSignatureTamperedComponentAndADeadServerInstallNothing) {
  struct Case {
    const char* name;
    std::function<void(ReleaseFixture&)> spoil;
    const char* missing;  // a release file that must not be installed
  };
  const std::vector<Case> cases = {
      {"manifest changed after signing",
       [](ReleaseFixture& f) {
         std::string m = ReadFileText(f.release_ + "/Digest_801.xml");
         size_t at = m.find("WebUI_801.exe");
         m.replace(at, 5, "WebUX");
         std::ofstream(f.release_ + "/Digest_801.xml", std::ios::binary) << m;
       },
       "WebUI_801.exe"},
      {"component changed after signing",
       [](ReleaseFixture& f) { f.PutReleaseFile("Plugins/组件.dll", "not the signed bytes\n"); },
       "Plugins/组件.dll"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(sandbox_.root());
    fs::create_directories(sandbox_.root());
    Publish();
    c.spoil(*this);
    StartServer("1.0.0.12", 0);
    std::string out;
    EXPECT_EQ(RunDownloader({}, &out), 2) << out;
    EXPECT_FALSE(fs::exists(InstallDir() + "/" + c.missing));
    EXPECT_EQ(Reg(kSettingsKey, "Version"), "");
    EXPECT_FALSE(
        fs::exists(sandbox_.root() + "/desktop/" + BankProfile.assistantName + ".desktop"));
  }
}

TEST_F(InstallE2E, ServerThatDiesInTheMiddleOfAComponent) {
  PutReleaseFile("Data/big.bin", std::string(2 << 20, 'x'));
  Publish();
  StartServer("1.0.0.12", 0, 512 * 1024);
  ChildProcess downloader;
  ASSERT_TRUE(StartDownloader(downloader, {}));
  downloader.CloseInput();
  ASSERT_TRUE(WaitUntil(
      [&] { return server_.Output().find("sending /Data/big.bin") != std::string::npos; }, 30000));
  StopServer();
  EXPECT_EQ(downloader.Wait(90000), 2) << downloader.Output();
  EXPECT_FALSE(fs::exists(InstallDir() + "/Data/big.bin"));
  EXPECT_EQ(Reg(kSettingsKey, "Version"), "");
  // No partial body anywhere in the install folder.
  for (const auto& e : fs::recursive_directory_iterator(InstallDir()))
    EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
}
