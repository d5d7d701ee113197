// Deployment never follows links, moves aside only the real main program,
// and a copy that fails leaves the old file whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "install/file_deployment.h"
#include "install/install_context.h"
#include "tests/fakes.h"
#include "tests/process_helpers.h"

namespace fs = std::filesystem;

namespace {

class DeploymentFaults : public testing::Test {
 protected:
  void SetUp() override {
    ResetProcessRecords();
    LoadBankProfile();
    platform::Sys().log = &log_;
    platform::Sys().processExit = &exit_;
    platform::Sys().dialogs = &frontEnd_;
    RunSettings.installDir = sandbox_.cwd() + "/inst";
    c_ = MakeInstallContext(Update, nullptr);
    CreateStandardFolders(c_);
    outside_ = sandbox_.cwd() + "/elsewhere";
    fs::create_directories(outside_);
    Put(outside_ + "/precious.txt", "keep me");
  }
  void TearDown() override { ResetProcessRecords(); }
  static void Put(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
  // Runs the copy; true when it ended the process.
  bool CopyEnds() {
    try {
      CopyDownloadedFiles(c_);
      return false;
    } catch (const ExitCalled&) {
      return true;
    }
  }

  Sandbox sandbox_;
  ScopedServices scope_;
  RecordingLog log_;
  FakeExit exit_;
  RecordingFrontEnd frontEnd_;
  InstallContext c_;
  std::string outside_;
};

TEST_F(DeploymentFaults, CleaningDeletesLinksAndNeverWhatTheyPointTo) {
  fs::remove_all(c_.downloadDir + "/Data");
  fs::create_directory_symlink(outside_, c_.downloadDir + "/Data");
  fs::create_symlink(outside_ + "/precious.txt", c_.downloadDir + "/link.txt");
  // A link to a parent folder would make a walk that follows links endless.
  fs::create_directory_symlink(c_.downloadDir, c_.downloadDir + "/Plugins/loop");
  Put(c_.downloadDir + "/Plugins/a.dll", "a");
  EXPECT_TRUE(CleanDownloadFolder(c_));
  EXPECT_EQ(ReadFileText(outside_ + "/precious.txt"), "keep me");
  EXPECT_FALSE(fs::exists(fs::symlink_status(c_.downloadDir + "/Data")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(c_.downloadDir + "/link.txt")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(c_.downloadDir + "/Plugins/loop")));
  EXPECT_FALSE(fs::exists(c_.downloadDir + "/Plugins/a.dll"));
}

TEST_F(DeploymentFaults, CopyNeverGoesThroughALink) {
  // Links in the download tree are not copied, and a loop does not recurse.
  fs::create_symlink(outside_ + "/precious.txt", c_.downloadDir + "/Tools/evil.txt");
  fs::create_directory_symlink(c_.downloadDir, c_.downloadDir + "/Script/loop");
  Put(c_.downloadDir + "/Plugins/a.dll", "new");
  EXPECT_FALSE(CopyEnds());
  EXPECT_EQ(ReadFileText(c_.installDir + "/Plugins/a.dll"), "new");
  EXPECT_FALSE(fs::exists(fs::symlink_status(c_.installDir + "/Tools/evil.txt")));
  EXPECT_FALSE(fs::exists(c_.installDir + "/Script/loop"));

  // A link at the target is replaced itself, never written through.
  fs::create_symlink(outside_ + "/precious.txt", c_.installDir + "/Data/config.ini");
  Put(c_.downloadDir + "/Data/config.ini", "new config");
  EXPECT_FALSE(CopyEnds());
  EXPECT_EQ(ReadFileText(outside_ + "/precious.txt"), "keep me");
  EXPECT_FALSE(fs::is_symlink(c_.installDir + "/Data/config.ini"));
  EXPECT_EQ(ReadFileText(c_.installDir + "/Data/config.ini"), "new config");

  // An install folder whose sub-folder is a link: the copy refuses it.
  fs::remove_all(c_.installDir + "/Plugins");
  fs::create_directory_symlink(outside_, c_.installDir + "/Plugins");
  Put(c_.downloadDir + "/Plugins/precious.txt", "overwritten");
  EXPECT_TRUE(CopyEnds());
  EXPECT_EQ(ReadFileText(outside_ + "/precious.txt"), "keep me");
  ASSERT_EQ(frontEnd_.messages.size(), 1u);
  EXPECT_EQ(frontEnd_.messages[0].text, "更新失败，助手文件被占用，请关闭占用重新更新!");
}

TEST_F(DeploymentFaults, OnlyTheMainProgramAtTheTopIsMovedAside) {
  Put(c_.installDir + "/harbinet_801.exe", "running main");
  Put(c_.downloadDir + "/Tools/harbinet_801.exe", "a tool of that name");
  EXPECT_FALSE(CopyEnds());
  EXPECT_EQ(ReadFileText(c_.installDir + "/harbinet_801.exe"), "running main");
  EXPECT_FALSE(fs::exists(c_.installDir + "/harbinet_old.exe"));
  EXPECT_EQ(ReadFileText(c_.installDir + "/Tools/harbinet_801.exe"), "a tool of that name");
}

TEST_F(DeploymentFaults, CopyThatRunsOutOfSpaceLeavesTheOldFileWhole) {
  const std::string old(10000, 'o');
  Put(c_.installDir + "/Plugins/big.dll", old);
  Put(c_.downloadDir + "/Plugins/big.dll", std::string(300000, 'n'));
  // In a child process, with files limited to 64 KiB (a full disk, in effect).
  pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{65536, 65536};
    setrlimit(RLIMIT_FSIZE, &limit);
    int error = 0;
    bool ok = platform::Sys().fileSystem->CopyFile(c_.downloadDir + "/Plugins/big.dll",
                                                   c_.installDir + "/Plugins/big.dll", &error);
    _exit(ok ? 0 : error == EFBIG ? 2 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_EQ(ReadFileText(c_.installDir + "/Plugins/big.dll"), old);
  // Nothing of the failed copy stays beside it.
  int entries = 0;
  for (const auto& e : fs::directory_iterator(c_.installDir + "/Plugins")) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

}  // namespace
