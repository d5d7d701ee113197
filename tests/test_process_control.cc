// Process control and the hand-off, with real stand-in processes in a sandbox.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <thread>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "install/assistant_handoff.h"
#include "install/install_context.h"
#include "install/process_control.h"
#include "tests/fakes.h"
#include "tests/process_helpers.h"

namespace fs = std::filesystem;

namespace {

class ProcessControl : public testing::Test {
 protected:
  void SetUp() override {
    ResetProcessRecords();
    LoadBankProfile();
    platform::Sys().dialogs = &dialogs_;
    platform::Sys().clock = &clock_;
    dir_ = sandbox_.cwd() + "/inst";
    RunSettings.installDir = dir_;
  }
  void TearDown() override {
    for (auto& p : started_) p->Kill(SIGKILL);
    ResetProcessRecords();
  }
  // Starts a stand-in installed under name; waits until it runs.
  ChildProcess& Run(const std::string& name, const std::vector<std::string>& args = {}) {
    InstallStandIns(dir_, {name});
    started_.push_back(std::make_unique<ChildProcess>());
    ChildProcess& p = *started_.back();
    EXPECT_TRUE(p.Start(dir_ + "/" + name, args, dir_, {{"DOWNLOADER_ROOT", sandbox_.root()}}));
    EXPECT_TRUE(WaitUntil([&] { return StandInLog(dir_, name).size() >= 1; }, 10000));
    return p;
  }
  bool Ended(ChildProcess& p) { return p.Wait(0) >= 0; }
  // Waits until the companion installed under name reads the pipe.
  bool Listening(const std::string& name) {
    return WaitUntil(
        [&] {
          return ReadFileText(dir_ + "/" + name + ".log").find("listening") != std::string::npos;
        },
        5000);
  }

  Sandbox sandbox_;
  ScopedEnv root_{"DOWNLOADER_ROOT", sandbox_.root()};
  ScopedServices scope_;
  RecordingFrontEnd dialogs_;
  FakeClock clock_;
  std::string dir_;
  std::vector<std::unique_ptr<ChildProcess>> started_;
};

TEST_F(ProcessControl, NamesMatchWithoutRegardToCaseAndKillWaits) {
  ChildProcess& ui = Run("WEBUI_801.exe");
  EXPECT_EQ(FindProcessByName("WebUI_801.exe"), ui.pid());
  EXPECT_EQ(FindProcessByName("nothing.exe"), 0);
  KillProcessByName("webui_801.EXE");
  // Returns only after the process is gone: its end is there to collect.
  EXPECT_TRUE(Ended(ui));
  EXPECT_EQ(FindProcessByName("WebUI_801.exe"), 0);
  KillProcessByName("WebUI_801.exe");  // nothing runs: nothing happens
}

TEST_F(ProcessControl, TerminateByNameWhenTheProgramFileIsGone) {
  ChildProcess& pop = Run("TolvanePop_801.exe");
  fs::remove(dir_ + "/TolvanePop_801.exe");
  EXPECT_TRUE(TerminateProcessByName("TolvanePop_801.exe"));
  EXPECT_TRUE(WaitUntil([&] { return Ended(pop); }, 5000));
  EXPECT_TRUE(TerminateProcessByName("TolvanePop_801.exe"));
}

TEST_F(ProcessControl, OnlyTheFirstBrowserIsClosedAndTheQuestionIsAskedOnce) {
  ChildProcess& first = Run("iexplore.exe");
  ChildProcess& second = Run("IEXPLORE.EXE");
  ASSERT_LT(first.pid(), second.pid());
  dialogs_.answer = false;
  EXPECT_FALSE(ConfirmCloseBrowser("Corvane银行网银助手"));
  EXPECT_FALSE(Ended(first));
  dialogs_.answer = true;
  EXPECT_TRUE(ConfirmCloseBrowser("Corvane银行网银助手"));
  EXPECT_TRUE(WaitUntil([&] { return Ended(first); }, 5000));
  EXPECT_FALSE(Ended(second));
  ASSERT_EQ(dialogs_.messages.size(), 2u);  // once per call
  EXPECT_EQ(dialogs_.messages[0].text, "安装过程中需关闭IE浏览器，是否继续？");
  EXPECT_EQ(dialogs_.messages[0].caption, "Corvane银行网银助手");
  // Without a browser nothing is asked.
  second.Kill(SIGKILL);
  second.Wait(5000);
  EXPECT_TRUE(ConfirmCloseBrowser("x"));
  EXPECT_EQ(dialogs_.messages.size(), 2u);
}

TEST_F(ProcessControl, CompanionReceivesTheHandOffMessageWhole) {
  Run("TolvanePop_801.exe");
  ASSERT_TRUE(Listening("TolvanePop_801.exe"));
  PopCommand update{"UpdatePopCmd", "", false, false, 0};
  EXPECT_EQ(PopMessage(update), "NAVRO_PopUpdatePopCmd||");
  EXPECT_TRUE(SendPopCommand(update, "NAVRO"));
  const std::string received = dir_ + "/TolvanePop_801.exe.received";
  ASSERT_TRUE(WaitUntil([&] { return ReadFileText(received).size() >= 23; }, 5000));
  EXPECT_EQ(ReadFileText(received), "NAVRO_PopUpdatePopCmd||");
}

TEST_F(ProcessControl, NoListenerAndRepliesOverTheEvents) {
  PopCommand request{"UpdatePopCmd", "arg", true, false, 0};
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(SendPopCommand(request, "NAVRO"));  // nobody listens: the given result
  request.succeedIfNoListener = false;
  EXPECT_FALSE(SendPopCommand(request, "NAVRO"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));

  Run("TolvanePop.exe");
  ASSERT_TRUE(
      WaitUntil([&] { return fs::exists(sandbox_.root() + "/run/pipe/NAVRO_PopNAVRO801"); }, 5000));
  request.waitForReply = true;
  request.replyTimeoutMs = 300;
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(SendPopCommand(request, "NAVRO"));  // nobody answers
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  request.replyTimeoutMs = 5000;
  for (bool yes : {true, false}) {
    std::thread answer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      auto event = platform::Sys().ipc->CreateEvent(PopReplyEventName(request, "NAVRO", yes));
      ASSERT_TRUE(event);
      event->Signal();
    });
    EXPECT_EQ(SendPopCommand(request, "NAVRO"), yes);
    answer.join();
  }
  EXPECT_EQ(PopReplyEventName(request, "NAVRO", true), "Global\\NAVRO_PopUpdatePopCmdNAVRO_Yes");
}

TEST_F(ProcessControl, StopRunningAssistantEndsBothAndWaitsForTheirQuitRuns) {
  ChildProcess& ui = Run("WebUI_801.exe");
  ChildProcess& pop = Run("TolvanePop_801.exe");
  InstallContext c = MakeInstallContext(Update, nullptr);
  EXPECT_TRUE(StopRunningAssistant(c));
  EXPECT_TRUE(WaitUntil([&] { return Ended(ui) && Ended(pop); }, 5000));
  EXPECT_TRUE(fs::is_directory(dir_ + "/DownLoad"));
  for (const char* name : {"WebUI_801.exe", "TolvanePop_801.exe"}) {
    std::vector<std::string> log = StandInLog(dir_, name);
    // The quit run was started hidden and had ended when the call returned.
    int quitStart = -1, quitEnd = -1;
    for (size_t i = 0; i < log.size(); ++i) {
      if (log[i].find("start [-t] hidden") != std::string::npos) quitStart = static_cast<int>(i);
      if (log[i].find("stopped 1") != std::string::npos) quitEnd = static_cast<int>(i);
    }
    EXPECT_GE(quitStart, 0) << name;
    EXPECT_GT(quitEnd, quitStart) << name;
  }
  EXPECT_EQ(clock_.sleeps, std::vector<uint32_t>{2000});
}

TEST_F(ProcessControl, LaunchLeavesTheCompanionAndTheUiProgramRunning) {
  InstallStandIns(dir_, {"TolvanePop.exe", "WebUI_801.exe"});
  LaunchAssistant();
  EXPECT_EQ(clock_.sleeps, (std::vector<uint32_t>{500, 500}));
  for (const char* name : {"TolvanePop.exe", "WebUI_801.exe"}) {
    // The quit run started first and has ended; the plain run goes on.
    long quitRun = 0, plainRun = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
          const std::string log = ReadFileText(dir_ + "/" + name + ".log");
          for (const std::string& line : StandInLog(dir_, name)) {
            long pid = std::atol(line.c_str());
            if (line.find("start [-t] shown") != std::string::npos) quitRun = pid;
            if (line.find("start [] shown") != std::string::npos) plainRun = pid;
          }
          // The quit run logs its exit just before it ends; wait until the
          // process list no longer shows it. A process that is exiting has
          // lost its executable link but is still listed by its name for a
          // moment, so the list itself is asked.
          return quitRun && plainRun &&
                 log.find(std::to_string(quitRun) + " exit") != std::string::npos &&
                 FindProcessByName(name) != quitRun;
        },
        5000))
        << name;
    EXPECT_LT(quitRun, plainRun) << name;
    EXPECT_TRUE(fs::exists("/proc/" + std::to_string(plainRun))) << name;
    EXPECT_EQ(FindProcessByName(name), plainRun) << name;
  }
  KillProcessByName("TolvanePop.exe");
  KillProcessByName("WebUI_801.exe");
}

TEST_F(ProcessControl, HandOffOnlyInAForcedUpdate) {
  Run("TolvanePop_801.exe");
  InstallStandIns(dir_, {"WebUI_801.exe"});
  ASSERT_TRUE(
      WaitUntil([&] { return fs::exists(sandbox_.root() + "/run/pipe/NAVRO_PopNAVRO801"); }, 5000));
  for (auto [mode, updateMode] : {std::pair{Install, ForceUpdate}, {Update, PromptUpdate}}) {
    RunSettings.updateMode = updateMode;
    EXPECT_TRUE(HandOffToRunningAssistant(MakeInstallContext(mode, nullptr)));
  }
  EXPECT_TRUE(clock_.sleeps.empty());
  RunSettings.updateMode = ForceUpdate;
  EXPECT_TRUE(HandOffToRunningAssistant(MakeInstallContext(Update, nullptr)));
  EXPECT_EQ(clock_.sleeps, std::vector<uint32_t>{3000});
  const std::string received = dir_ + "/TolvanePop_801.exe.received";
  ASSERT_TRUE(WaitUntil([&] { return ReadFileText(received).size() >= 23; }, 5000));
  EXPECT_EQ(ReadFileText(received), "NAVRO_PopUpdatePopCmd||");
  ASSERT_TRUE(WaitUntil([&] { return StandInLog(dir_, "WebUI_801.exe").size() >= 1; }, 5000));
  EXPECT_NE(StandInLog(dir_, "WebUI_801.exe")[0].find("start [-t] shown"), std::string::npos);
}

TEST(WindowsCommandLine, SplitsAsCommandLineToArgvDoes) {
  using V = std::vector<std::string>;
  EXPECT_EQ(platform::SplitWindowsCommandLine(" -t"), V{"-t"});
  EXPECT_EQ(platform::SplitWindowsCommandLine(""), V{});
  EXPECT_EQ(platform::SplitWindowsCommandLine("/X{6B2F} /quiet"), (V{"/X{6B2F}", "/quiet"}));
  EXPECT_EQ(platform::SplitWindowsCommandLine("\"a b\" c"), (V{"a b", "c"}));
  EXPECT_EQ(platform::SplitWindowsCommandLine("a\\\\\"b c\" d"), (V{"a\\b c", "d"}));
  EXPECT_EQ(platform::SplitWindowsCommandLine("a\\\"b \\c"), (V{"a\"b", "\\c"}));
  EXPECT_EQ(platform::SplitWindowsCommandLine("\"x\"\"y\""), V{"x\"y"});
}

}  // namespace
