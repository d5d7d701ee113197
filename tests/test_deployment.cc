#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "install/file_deployment.h"
#include "install/install_context.h"
#include "tests/fake_key_store.h"
#include "tests/fakes.h"
#include "tests/process_helpers.h"
#include "ui/console/console_progress_sink.h"

namespace fs = std::filesystem;

namespace {

class DeploymentTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetProcessRecords();
    LoadBankProfile();
    base_ = sandbox_.cwd();
    platform::Sys().log = &log_;
    platform::Sys().processExit = &exit_;
    platform::Sys().dialogs = &frontEnd_;
  }
  void TearDown() override { ResetProcessRecords(); }
  InstallContext Context(InstallMode mode) {
    RunSettings.installDir = base_ + "/inst";
    RunSettings.downloadUrl = "http://h/r";
    return MakeInstallContext(mode, nullptr);
  }
  void Put(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }

  Sandbox sandbox_;
  std::string base_;
  ScopedServices scope_;
  RecordingLog log_;
  FakeExit exit_;
  RecordingFrontEnd frontEnd_;
};

TEST_F(DeploymentTest, FolderTrees) {
  fs::create_directories(base_ + "/A");
  struct Case {
    std::string path;
    std::string created;
  } cases[] = {
      {base_ + "/A/B/C", base_ + "/A/B/C"},
      {base_ + "/A//D///E/", base_ + "/A/D/E"},
      {base_ + "/A", base_ + "/A"},
      {"//" + base_.substr(1) + "/F", base_ + "/F"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(CreateFolderTree(c.path)) << c.path;
    EXPECT_TRUE(fs::is_directory(c.created)) << c.path;
  }
  EXPECT_TRUE(log_.lines.empty());
  // A file stands in the way.
  Put(base_ + "/file", "x");
  EXPECT_FALSE(CreateFolderTree(base_ + "/file/sub/deeper"));
  ASSERT_EQ(log_.lines.size(), 1u);
  EXPECT_EQ(log_.lines[0], "创建文件夹失败 Path=" + base_ + "/file, errcode=17");
}

TEST_F(DeploymentTest, StandardFolders) {
  InstallContext c = Context(Install);
  EXPECT_TRUE(CreateStandardFolders(c));
  for (const char* sub : {"Data", "Plugins", "Script", "Tools", "DownLoad", "DownLoad/Data",
                          "DownLoad/Plugins", "DownLoad/Script", "DownLoad/Tools"})
    EXPECT_TRUE(fs::is_directory(base_ + "/inst/" + sub)) << sub;
}

TEST_F(DeploymentTest, MoveAssistantAside) {
  const std::string dir = base_ + "/inst";
  struct Case {
    bool current, parked;
    std::string parkedAfter;
  } cases[] = {{true, true, "running"}, {true, false, "running"}, {false, true, ""}};
  for (const Case& c : cases) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    if (c.current) Put(dir + "/harbinet_801.exe", "running");
    if (c.parked) Put(dir + "/harbinet_old.exe", "older");
    MoveAssistantAside(dir);
    EXPECT_FALSE(fs::exists(dir + "/harbinet_801.exe"));
    EXPECT_EQ(fs::exists(dir + "/harbinet_old.exe"), !c.parkedAfter.empty());
    if (!c.parkedAfter.empty()) {
      EXPECT_EQ(ReadFileText(dir + "/harbinet_old.exe"), c.parkedAfter);
    }
  }
}

TEST_F(DeploymentTest, CopyTreePlacesEveryFileAndSkipsHiddenFolders) {
  InstallContext c = Context(Update);
  CreateStandardFolders(c);
  Put(c.downloadDir + "/Digest.xml", "manifest");
  Put(c.downloadDir + "/Plugins/a.dll", "new plugin");
  Put(c.installDir + "/Plugins/a.dll", "old plugin");
  Put(c.downloadDir + "/harbinet_801.exe", "new main");
  Put(c.installDir + "/harbinet_801.exe", "old main");
  Put(c.downloadDir + "/.cache/x", "hidden");
  // A folder the new release added is made in the install folder.
  Put(c.downloadDir + "/Plugins/新/deep/b.dll", "added");
  EXPECT_TRUE(CopyDownloadedFiles(c));
  EXPECT_EQ(ReadFileText(c.installDir + "/Plugins/新/deep/b.dll"), "added");
  EXPECT_EQ(ReadFileText(c.installDir + "/Digest.xml"), "manifest");
  EXPECT_EQ(ReadFileText(c.installDir + "/Plugins/a.dll"), "new plugin");
  EXPECT_EQ(ReadFileText(c.installDir + "/harbinet_801.exe"), "new main");
  EXPECT_EQ(ReadFileText(c.installDir + "/harbinet_old.exe"), "old main");
  EXPECT_FALSE(fs::exists(c.installDir + "/.cache"));
  EXPECT_TRUE(frontEnd_.messages.empty());

  InstallContext install = Context(Install);
  Put(install.downloadDir + "/late.txt", "x");
  EXPECT_TRUE(CopyDownloadedFiles(install));
  EXPECT_FALSE(fs::exists(install.installDir + "/late.txt"));
  fs::remove_all(c.downloadDir);
  EXPECT_FALSE(CopyDownloadedFiles(c));
}

TEST_F(DeploymentTest, CopyThatCannotBeDoneShowsTheMessageAndEnds) {
  // A program running from the target cannot be overwritten, even by root.
  InstallContext c = Context(Repair);
  CreateStandardFolders(c);
  fs::copy_file("/bin/sleep", c.installDir + "/Tools/busy");
  ChildProcess busy;
  ASSERT_TRUE(busy.Start(c.installDir + "/Tools/busy", {"30"}, "/", {}));
  ASSERT_TRUE(
      WaitUntil([&] { return fs::exists("/proc/" + std::to_string(busy.pid()) + "/exe"); }, 2000));
  struct Case {
    const char* name;
    std::function<void()> arrange;
  } cases[] = {
      {"target is a folder",
       [&] {
         Put(c.downloadDir + "/Data/blocked", "x");
         fs::create_directories(c.installDir + "/Data/blocked");
       }},
      {"target program is running", [&] { Put(c.downloadDir + "/Tools/busy", "new"); }},
      {"target folder is a link",
       [&] {
         Put(c.downloadDir + "/Linked/f", "x");
         fs::create_directory_symlink(c.installDir + "/Data", c.installDir + "/Linked");
       }},
  };
  for (const Case& cs : cases) {
    fs::remove_all(c.downloadDir);
    CreateStandardFolders(c);
    cs.arrange();
    frontEnd_.messages.clear();
    log_.lines.clear();
    try {
      CopyDownloadedFiles(c);
      ADD_FAILURE() << cs.name << ": the process did not end";
    } catch (const ExitCalled& e) {
      EXPECT_EQ(e.code, 0);
      EXPECT_FALSE(e.immediate);
    }
    ASSERT_EQ(frontEnd_.messages.size(), 1u) << cs.name;
    EXPECT_EQ(frontEnd_.messages[0].text, "更新失败，助手文件被占用，请关闭占用重新更新!");
    EXPECT_EQ(frontEnd_.messages[0].caption, "Corvane银行网银助手");
    EXPECT_EQ(frontEnd_.messages[0].icon, MessageIcon::Exclamation);
    ASSERT_EQ(log_.lines.size(), 1u);
    EXPECT_EQ(log_.lines[0].rfind("copy failed ", 0), 0u) << log_.lines[0];
  }
  busy.Kill(SIGKILL);
}

TEST_F(DeploymentTest, CleaningEmptiesEveryFolderAndKeepsThem) {
  InstallContext c = Context(Update);
  CreateStandardFolders(c);
  Put(c.downloadDir + "/Digest.xml", "m");
  Put(c.downloadDir + "/Plugins/a.dll", "a");
  Put(c.downloadDir + "/Plugins/deep/b.dll", "b");
  EXPECT_TRUE(CleanDownloadFolder(c));
  for (const char* sub : {"", "/Data", "/Plugins", "/Plugins/deep", "/Script", "/Tools"})
    EXPECT_TRUE(fs::is_directory(c.downloadDir + sub)) << sub;
  for (const auto& e : fs::recursive_directory_iterator(c.downloadDir))
    EXPECT_TRUE(e.is_directory()) << e.path();
  fs::remove_all(c.downloadDir);
  EXPECT_FALSE(CleanDownloadFolder(c));
}

TEST_F(DeploymentTest, InstallContextPaths) {
  RunSettings.installDir = "/opt/F";
  RunSettings.downloadUrl = "http://h/rel";
  RunSettings.serverVersion = "1.0.0.12";
  RunSettings.updateMode = 2;
  RecordingSink sink;
  InstallContext c = MakeInstallContext(Update, &sink);
  EXPECT_EQ(c.downloadDir, "/opt/F/DownLoad");
  EXPECT_EQ(c.downloadManifestCopies[0], "/opt/F/DownLoad/Digest.xml");
  EXPECT_EQ(c.downloadManifestCopies[1], "/opt/F/DownLoad/Digest_801.xml");
  EXPECT_EQ(c.installedManifestCopies[1], "/opt/F/Digest_801.xml");
  EXPECT_EQ(c.serverManifestUrls[0], "http://h/rel/Digest.xml");
  EXPECT_EQ(c.serverManifestUrls[1], "http://h/rel/Digest_801.xml");
  EXPECT_EQ(c.currentStep, 1);
  EXPECT_EQ(c.totalSteps, 0);
  EXPECT_EQ(c.mode, Update);
  EXPECT_EQ(c.updateMode, 2);
  EXPECT_EQ(c.allianceCode, "NAVRO");
  EXPECT_EQ(c.serverVersion, "1.0.0.12");
  EXPECT_EQ(c.sink, &sink);
  EXPECT_TRUE(c.updateList.empty());

  RunSettings.downloadUrl.clear();
  RunSettings.installDir.clear();
  InstallContext empty = MakeInstallContext(Install, nullptr);
  EXPECT_EQ(empty.serverManifestUrls[0], "/Digest.xml");
  FakeKeyStore keys;
  platform::Sys().keyStore = &keys;
  int error = 0;
  auto server =
      keys.CreateKey("Software\\Vaultrel\\WebUI\\NAVRO", platform::KeyView::Default, &error);
  server->SetString("ServerURL", "http://saved");
  server->SetString("Path", "/opt/S");
  InstallContext saved = MakeInstallContext(Install, nullptr);
  EXPECT_EQ(saved.serverManifestUrls[1], "http://saved/Digest_801.xml");
  EXPECT_EQ(saved.downloadDir, "/opt/S/DownLoad");
}

TEST(ConsoleProgress, BarsAndPlainOutput) {
  EXPECT_EQ(ConsoleProgressDisplay::Bar(0, 10, 10), "[..........]");
  EXPECT_EQ(ConsoleProgressDisplay::Bar(5, 10, 10), "[#####.....]");
  EXPECT_EQ(ConsoleProgressDisplay::Bar(10, 10, 10), "[##########]");
  EXPECT_EQ(ConsoleProgressDisplay::Bar(3, 0, 4), "[....]");
  EXPECT_EQ(ConsoleProgressDisplay::Bar(20, 10, 4), "[####]");
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  {
    ConsoleProgressSink sink(out);
    sink.SetStatusText("正在下载 配置文件");
    sink.SetCurrentRange(100);
    sink.SetCurrentPos(100);
    sink.SetCurrentPercent("100.00%");
    sink.SetCancelCaption("下载失败");
  }
  fclose(out);
  // Not a terminal: plain lines (status, a finished file's percentage, the
  // button's caption), no drawing codes.
  EXPECT_EQ(std::string(text, size), "正在下载 配置文件\n当前进度 100.00%\n[下载失败]\n");
  free(text);
}

}  // namespace
