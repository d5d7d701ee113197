// downloader-cli driven through a terminal as a user would drive it: keys
// typed on each page, the screen read back, the result checked on the
// installed files, the key store and the started stand-ins.
#include <signal.h>

#include <filesystem>
#include <fstream>

#include "app/settings.h"
#include "tests/pty_session.h"
#include "tests/release_fixture.h"

namespace fs = std::filesystem;

namespace {

class ConsoleE2E : public ReleaseFixture {
 protected:
  bool StartInTerminal(PtySession& pty, const std::vector<std::string>& args = {}) {
    return pty.Start(BinPath("downloader-cli"), args, sandbox_.cwd(),
                     {{"DOWNLOADER_ROOT", sandbox_.root()}, {"DOWNLOADER_UNATTENDED", "0"}});
  }
  // A stand-in browser that runs until it is ended.
  void StartBrowser() {
    std::string dir = sandbox_.root() + "/ie";
    InstallStandIns(dir, {"iexplore.exe"});
    ASSERT_TRUE(
        browser_.Start(dir + "/iexplore.exe", {}, dir, {{"DOWNLOADER_ROOT", sandbox_.root()}}));
    ASSERT_TRUE(WaitUntil([&] { return StandInLog(dir, "iexplore.exe").size() >= 1; }, 10000));
  }
  // A first installation without questions, as the starting point.
  void InstallUnattended() {
    StartServer("1.0.0.12", 0);
    std::string out;
    ASSERT_EQ(RunDownloader({}, &out), 0) << out;
    ASSERT_EQ(Reg(kSettingsKey, "Version"), "1.0.0.12");
  }
  void ChangeOneFile(const std::string& version, int update) {
    PutReleaseFile("Plugins/组件.dll", "plugin " + version + "\n");
    Publish();
    StartServer(version, update);
  }
  std::string Desktop() const {
    return sandbox_.root() + "/desktop/" + BankProfile.assistantName + ".desktop";
  }
  std::string StartMenuFolder() const { return sandbox_.root() + "/applications"; }
  bool WebUiRuns(const std::string& folder) const {
    for (const std::string& line : StandInLog(folder, "WebUI_801.exe"))
      if (line.find("start [] shown") != std::string::npos) return true;
    return false;
  }

  // From the start of a first installation to its progress page, with the
  // wizard's choices.
  void ToProgressPage(PtySession& pty) {
    ASSERT_TRUE(pty.WaitFor("1) 安装  2) 取消")) << pty.Screen();
    pty.Type("1");
    ASSERT_TRUE(pty.WaitFor("5) 下一步")) << pty.Screen();
    pty.Type("5");
  }

  ChildProcess browser_;
};

#define EXPECT_SHOWN(pty, text) ASSERT_TRUE((pty).WaitFor(text)) << (pty).Screen()

TEST_F(ConsoleE2E, FirstInstallationPageByPageWithAChosenFolderAndBoxes) {
  StartServer("1.0.0.12", 0);
  StartBrowser();
  PtySession pty;
  ASSERT_TRUE(StartInTerminal(pty));
  EXPECT_SHOWN(pty, "正在获取版本信息...");
  EXPECT_SHOWN(pty, "欢迎安装" + BankProfile.assistantName);
  EXPECT_SHOWN(pty, "1) 安装  2) 取消");
  pty.Type("1");
  EXPECT_SHOWN(pty, "[x] 我的桌面");
  EXPECT_SHOWN(pty, "5) 下一步  6) 后退  7) 取消");
  pty.Type("2");  // untick the desktop
  EXPECT_SHOWN(pty, "[ ] 我的桌面");
  // Back and Install again: the box shows ticked, the shortcut stays off.
  pty.Type("6");
  EXPECT_SHOWN(pty, "1) 安装  2) 取消");
  pty.Type("1");
  EXPECT_SHOWN(pty, "[x] 我的桌面");
  const std::string chosen = sandbox_.root() + "/custom//bank";
  pty.Type("3");
  EXPECT_SHOWN(pty, "目标文件夹: ");
  pty.Type(chosen);
  EXPECT_SHOWN(pty, "目标文件夹: " + chosen);
  pty.Type("5");
  // The browser runs: the question, and Yes closes it.
  EXPECT_SHOWN(pty, "安装过程中需关闭IE浏览器，是否继续？");
  pty.Type("1");
  EXPECT_SHOWN(pty, "总体进度");
  EXPECT_SHOWN(pty, "完成安装,准备启动助手");
  EXPECT_EQ(pty.Wait(60000), 0) << pty.Screen();

  const std::string folder = sandbox_.root() + "/custom/bank";
  EXPECT_EQ(Reg(kSettingsKey, "Path"), folder);
  EXPECT_EQ(Reg(kSettingsKey, "Version"), "1.0.0.12");
  EXPECT_EQ(ReadFileText(folder + "/Plugins/组件.dll"), "plugin 1\n");
  EXPECT_FALSE(fs::exists(Desktop()));
  EXPECT_TRUE(fs::is_directory(StartMenuFolder()));
  EXPECT_TRUE(WaitUntil([&] { return WebUiRuns(folder); }, 10000));
  EXPECT_EQ(browser_.Wait(5000), 128 + SIGKILL);
  EXPECT_NE(pty.Screen().find("100.00%"), std::string::npos);
}

TEST_F(ConsoleE2E, VersionQueryRetriesThenCancel) {
  // Nothing listens on the port: every query fails at once.
  StartServer("1.0.0.12", 0);
  StopServer();
  PtySession pty;
  ASSERT_TRUE(StartInTerminal(pty));
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_SHOWN(pty, "服务器没响应");
    EXPECT_SHOWN(pty, "1) 重试  2) 取消");
    pty.Type("1");
  }
  // After the third failure only Cancel is offered (a terminal ends lines
  // with CR LF).
  EXPECT_SHOWN(pty, "服务器没响应\r\n2) 取消");
  pty.Type("1");  // no Retry any more: nothing happens
  EXPECT_SHOWN(pty, "2) 取消");
  pty.Type("2");
  EXPECT_SHOWN(pty, "是否退出网银助手安装？");
  pty.Type("2");  // No: the page stays
  EXPECT_SHOWN(pty, "2) 取消");
  EXPECT_EQ(pty.Wait(300), -1);
  pty.Type("2");
  EXPECT_SHOWN(pty, "是否退出网银助手安装？");
  pty.Type("1");
  EXPECT_EQ(pty.Wait(10000), 0);
  EXPECT_EQ(pty.Screen().find("1) 重试  2) 取消", pty.Screen().rfind("服务器没响应")),
            std::string::npos);
}

TEST_F(ConsoleE2E, UnattendedWithAResponseFile) {
  StartServer("1.0.0.12", 0);
  const std::string folder = sandbox_.root() + "/answers/bank";
  sandbox_.WriteFile("answers.ini", "# choices\n[options]\nfolder = " + folder +
                                        "\nstart_menu = no\ndesktop = no\nautostart=yes\n");
  ChildProcess child;
  auto env = Env();
  env["DOWNLOADER_RESPONSE_FILE"] = sandbox_.cwd() + "/answers.ini";
  ASSERT_TRUE(child.Start(BinPath("downloader-cli"), {}, sandbox_.cwd(), env));
  child.CloseInput();
  ASSERT_EQ(child.Wait(60000), 0) << child.Output();
  EXPECT_EQ(Reg(kSettingsKey, "Path"), folder);
  EXPECT_EQ(ReadFileText(folder + "/Data/config.ini"), "[demo]\nbank=801\n");
  EXPECT_FALSE(fs::exists(Desktop()));
  EXPECT_FALSE(fs::exists(StartMenuFolder() + "/" + BankProfile.installSubdir));
  // Output is not a terminal: plain lines with the percentages.
  EXPECT_NE(child.Output().find("总体进度 100.00%"), std::string::npos) << child.Output();
  EXPECT_EQ(child.Output().find("\x1b["), std::string::npos);
}

TEST_F(ConsoleE2E, ABadResponseFileStopsBeforeAnythingHappens) {
  StartServer("1.0.0.12", 0);
  struct Case {
    const char* content;  // null: no such file
    const char* error;
  };
  const Case cases[] = {
      {"[options]\ndesktop = no\nshortcut = yes\n", "line 3: unknown key \"shortcut\""},
      {"desktop = maybe\n", "line 1: bad value \"maybe\" for desktop"},
      {"folder\n", "line 1: expected key = value"},
      {"[other]\n", "line 1: unknown section"},
      {nullptr, "cannot read it"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    std::string path = sandbox_.cwd() + "/answers.ini";
    fs::remove(path);
    if (c.content) sandbox_.WriteFile("answers.ini", c.content);
    ChildProcess child;
    auto env = Env();
    env["DOWNLOADER_RESPONSE_FILE"] = path;
    ASSERT_TRUE(child.Start(BinPath("downloader-cli"), {}, sandbox_.cwd(), env));
    child.CloseInput();
    EXPECT_EQ(child.Wait(20000), 4);
    EXPECT_NE(child.Output().find(c.error), std::string::npos) << child.Output();
    EXPECT_NE(child.Output().find(path), std::string::npos);
  }
  EXPECT_TRUE(FilesSent().empty()) << "not even the version was asked for";
  EXPECT_FALSE(fs::exists(InstallDir()));
  EXPECT_EQ(Reg(kSettingsKey, "Version"), "");
}

TEST_F(ConsoleE2E, AnOptionalUpdateDeclinedThenAccepted) {
  InstallUnattended();
  ChangeOneFile("1.0.0.13", 1);
  {
    PtySession pty;
    ASSERT_TRUE(StartInTerminal(pty));
    EXPECT_SHOWN(pty, "网银助手有新版本，是否现在更新？");
    EXPECT_SHOWN(pty, "1) 确定  2) 取消");
    pty.Type("2");
    EXPECT_EQ(pty.Wait(10000), 0) << pty.Screen();
  }
  EXPECT_EQ(Reg(kSettingsKey, "Version"), "1.0.0.12");
  EXPECT_EQ(ReadFileText(InstallDir() + "/Plugins/组件.dll"), "plugin 1\n");

  PtySession pty;
  ASSERT_TRUE(StartInTerminal(pty));
  EXPECT_SHOWN(pty, "1) 确定  2) 取消");
  pty.Type("1");
  EXPECT_SHOWN(pty, "更新 ==");
  EXPECT_EQ(pty.Wait(60000), 0) << pty.Screen();
  EXPECT_EQ(Reg(kSettingsKey, "Version"), "1.0.0.13");
  EXPECT_EQ(ReadFileText(InstallDir() + "/Plugins/组件.dll"), "plugin 1.0.0.13\n");
  EXPECT_EQ(FilesSent(),
            (std::vector<std::string>{"/Digest.xml", "/Digest_801.xml", "/Plugins/组件.dll"}));

  // The same version again: a reinstallation is offered.
  StartServer("1.0.0.13", 1);
  PtySession again;
  ASSERT_TRUE(StartInTerminal(again));
  EXPECT_SHOWN(again, "是否重新安装网银助手？");
  again.Type("2");
  EXPECT_EQ(again.Wait(10000), 0);
}

TEST_F(ConsoleE2E, AForcedUpdateRepairAndAnUpdateCheckWithNothingToDo) {
  InstallUnattended();
  ChangeOneFile("1.0.0.13", 2);
  {
    PtySession pty;
    ASSERT_TRUE(StartInTerminal(pty));
    EXPECT_SHOWN(pty, "更新 ==");
    EXPECT_EQ(pty.Wait(60000), 0) << pty.Screen();
    EXPECT_EQ(pty.Screen().find("是否"), std::string::npos) << "a forced update asks nothing";
  }
  EXPECT_EQ(Reg(kSettingsKey, "Version"), "1.0.0.13");
  EXPECT_EQ(FilesDifferingFromRelease(), std::vector<std::string>{});

  fs::remove(InstallDir() + "/Data/config.ini");
  StartServer("1.0.0.13", 0);
  {
    PtySession pty;
    ASSERT_TRUE(StartInTerminal(pty, {"-losefile"}));
    EXPECT_SHOWN(pty, "修复 ==");
    EXPECT_EQ(pty.Wait(60000), 0) << pty.Screen();
  }
  EXPECT_EQ(ReadFileText(InstallDir() + "/Data/config.ini"), "[demo]\nbank=801\n");

  StartServer("1.0.0.13", 0);
  PtySession pty;
  ASSERT_TRUE(StartInTerminal(pty, {"-update"}));
  EXPECT_EQ(pty.Wait(20000), 0);
  EXPECT_EQ(pty.Screen().find("=="), std::string::npos) << "no page: " << pty.Screen();
  EXPECT_TRUE(FilesSent().empty());
}

TEST_F(ConsoleE2E, CancelAnsweredNoThenQuitMessageWhileTheProgressPageRuns) {
  PutReleaseFile("Data/big.bin", std::string(400 * 1024, 'b'));
  Publish();
  StartServer("1.0.0.12", 0, 20 * 1024);  // about 20 s for the big file
  PtySession pty;
  ASSERT_TRUE(StartInTerminal(pty));
  ToProgressPage(pty);
  EXPECT_SHOWN(pty, "正在下载");
  pty.Type("1");
  EXPECT_SHOWN(pty, "下载还未完成，确定取消？");
  pty.Type("2");
  EXPECT_SHOWN(pty, "big.bin");  // the download goes on
  EXPECT_EQ(pty.Wait(200), -1);

  ChildProcess quit;
  ASSERT_TRUE(quit.Start(BinPath("downloader-cli"), {"-t"}, sandbox_.cwd(), Env()));
  EXPECT_EQ(quit.Wait(10000), 0);
  EXPECT_EQ(pty.Wait(10000), 0) << pty.Screen();
  EXPECT_EQ(Reg(kSettingsKey, "Version"), "") << "the installation never finished";
}

// The cells a UTF-8 line takes on a terminal (wide East Asian characters two).
int Cells(const std::string& line) {
  int cells = 0;
  for (size_t i = 0; i < line.size();) {
    unsigned char c = static_cast<unsigned char>(line[i]);
    size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    cells += len == 3 ? 2 : 1;
    i += len;
  }
  return cells;
}

TEST_F(ConsoleE2E, TheProgressPageFitsANarrowTerminal) {
  StartServer("1.0.0.12", 0);
  PtySession pty;
  pty.columns = 50;
  ASSERT_TRUE(StartInTerminal(pty));
  ToProgressPage(pty);
  ASSERT_TRUE(pty.WaitFor("完成安装,准备启动助手", 60000)) << pty.Screen();
  EXPECT_EQ(pty.Wait(30000), 0);
  // Every redrawn line ("\x1b[2K" ... newline) fits in one terminal line, so
  // the block can be redrawn in place.
  std::string screen = pty.Screen();
  int lines = 0;
  for (size_t at = screen.find("\x1b[2K"); at != std::string::npos;
       at = screen.find("\x1b[2K", at + 1)) {
    size_t end = screen.find('\n', at);
    std::string line = screen.substr(at + 4, end - at - 4);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    EXPECT_LT(Cells(line), 50) << line;
    ++lines;
  }
  EXPECT_GT(lines, 3);
}

TEST_F(ConsoleE2E, UnattendedRunsThatCannotGoOnSaySoInTheirExitCode) {
  // No server: the version query gets no answer, even after both retries.
  StartServer("1.0.0.12", 0);
  StopServer();
  std::string out;
  EXPECT_EQ(RunDownloader({}, &out), 1) << out;
  EXPECT_NE(out.find("服务器没响应，安装无法继续"), std::string::npos) << out;

  // A folder on no root is refused by the options page.
  StartServer("1.0.0.12", 0);
  sandbox_.WriteFile("answers.ini", "folder = relative/folder\n");
  ChildProcess child;
  auto env = Env();
  env["DOWNLOADER_RESPONSE_FILE"] = sandbox_.cwd() + "/answers.ini";
  ASSERT_TRUE(child.Start(BinPath("downloader-cli"), {}, sandbox_.cwd(), env));
  child.CloseInput();
  EXPECT_EQ(child.Wait(30000), 3) << child.Output();
  EXPECT_NE(child.Output().find("路径不合法"), std::string::npos);
  EXPECT_EQ(Reg(kSettingsKey, "Version"), "");
  EXPECT_TRUE(FilesSent().empty()) << "nothing was fetched";
}

TEST_F(ConsoleE2E, CancelDuringADownloadAndAfterAFailure) {
  PutReleaseFile("Data/big.bin", std::string(400 * 1024, 'b'));
  Publish();
  StartServer("1.0.0.12", 0, 20 * 1024);
  {
    PtySession pty;
    ASSERT_TRUE(StartInTerminal(pty));
    ToProgressPage(pty);
    EXPECT_SHOWN(pty, "big.bin");
    pty.Type("1");
    EXPECT_SHOWN(pty, "下载还未完成，确定取消？");
    pty.Type("1");  // Yes: the run ends, nothing is installed
    EXPECT_EQ(pty.Wait(10000), 0) << pty.Screen();
  }
  EXPECT_EQ(Reg(kSettingsKey, "Version"), "");
  EXPECT_FALSE(fs::exists(InstallDir() + "/Data/big.bin"));

  // The server dies in the middle of the big file: the page keeps the
  // failure; Cancel then closes without asking.
  StartServer("1.0.0.12", 0, 20 * 1024);
  PtySession pty;
  ASSERT_TRUE(StartInTerminal(pty));
  ToProgressPage(pty);
  EXPECT_SHOWN(pty, "big.bin");
  StopServer();
  ASSERT_TRUE(pty.WaitFor("安装未完成", 120000)) << pty.Screen();
  EXPECT_EQ(pty.Wait(200), -1) << "the page stays until it is closed";
  pty.Type("1");
  EXPECT_EQ(pty.Wait(10000), 0) << pty.Screen();
  std::string screen = pty.Screen();
  EXPECT_EQ(screen.find("下载还未完成", screen.find("安装未完成")), std::string::npos);
  EXPECT_EQ(Reg(kSettingsKey, "Version"), "");
}

}  // namespace
