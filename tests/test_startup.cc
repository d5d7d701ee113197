#include <gtest/gtest.h>

#include <optional>

#include "app/settings.h"
#include "app/startup.h"
#include "channel/server_discovery.h"
#include "tests/fakes.h"
#include "tests/process_helpers.h"

namespace {

TEST(CommandLine, ArgumentsJoinIntoOneText) {
  struct Case {
    std::vector<std::string> args;
    std::string line;
  } cases[] = {
      {{}, ""},
      {{"-t"}, "-t"},
      {{"-t "}, "-t "},
      {{"-t", "-update"}, "-t -update"},
      {{" ", "-losefile"}, "-losefile"},
      {{"-T"}, "-T"},
  };
  for (const Case& c : cases) {
    std::vector<char*> argv{const_cast<char*>("downloader")};
    for (const std::string& a : c.args) argv.push_back(const_cast<char*>(a.c_str()));
    EXPECT_EQ(CommandLineFromArgs(static_cast<int>(argv.size()), argv.data()), c.line);
  }
}

TEST(SingleInstanceNames, MessageIsDecimalAndLockIsHex) {
  EXPECT_EQ(SingleInstanceMessageName("NAVRO", 0x801), "orv_detect_tools_single_msgidNAVRO_2049");
  EXPECT_EQ(SingleInstanceLockName(0x801), "downloader_NAVRO_801");
  EXPECT_EQ(SingleInstanceLockName(0xa1), "downloader_NAVRO_0a1");
  EXPECT_EQ(SingleInstanceLockName(0x80a), "downloader_NAVRO_80a");
}

TEST(SingleInstanceMessage, OnlyOurQuitMessageWithOneEndsTheProcess) {
  ScopedServices scope;
  FakeExit fakeExit;
  platform::Sys().processExit = &fakeExit;
  const uint32_t id = 0xC123;
  struct Case {
    platform::BroadcastMessage msg;
    bool ends;
  } cases[] = {
      {{id, 1, 0}, true},  {{id, 2, 0}, false},     {{id, 0, 0}, false},
      {{id, 3, 0}, false}, {{id + 1, 1, 0}, false},
  };
  for (const Case& c : cases) {
    bool ended = false;
    try {
      HandleSingleInstanceMessage(id, c.msg);
    } catch (const ExitCalled& e) {
      ended = true;
      EXPECT_EQ(e.code, 0);
      EXPECT_TRUE(e.immediate);
    }
    EXPECT_EQ(ended, c.ends) << c.msg.id << " " << c.msg.wParam;
  }
}

}  // namespace

namespace {

class FakeBus : public platform::MessageBus {
 public:
  uint32_t Register(const std::string& name) override {
    registered.push_back(name);
    return id;
  }
  void Broadcast(uint32_t msg, uint64_t wParam, int64_t) override {
    broadcasts.push_back({msg, wParam, 0});
  }
  std::unique_ptr<platform::BroadcastListener> Listen(
      uint32_t, std::function<void(const platform::BroadcastMessage&)>) override {
    return nullptr;
  }
  uint32_t id = 0xC801;
  std::vector<std::string> registered;
  std::vector<platform::BroadcastMessage> broadcasts;
};

class FakeLock : public platform::InstanceLock {
 public:
  bool Acquire(const std::string& name) override {
    names.push_back(name);
    return free;
  }
  bool free = true;
  std::vector<std::string> names;
};

class PageFrontEnd : public RecordingFrontEnd {
 public:
  int pagesRun = 0;
};

class StartUpTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetProcessRecords();
    platform::Sys().messageBus = &bus_;
    platform::Sys().instanceLock = &lock_;
    platform::Sys().processExit = &exit_;
    platform::Sys().log = &log_;
    platform::Sys().dialogs = &frontEnd_;
  }
  void TearDown() override { ResetProcessRecords(); }
  // Runs start-up in the sandbox's folder; the exit it ended with, if any.
  std::optional<ExitCalled> Run(const std::string& commandLine) {
    std::optional<ExitCalled> ended;
    InFolder(sandbox_.cwd(), [&] {
      StartupHooks hooks;
      hooks.discoverServer = DiscoverServer;
      hooks.runFirstPage = [this](CDownloaderApp&) { ++frontEnd_.pagesRun; };
      hooks.programName = "downloader-cli";
      CDownloaderApp app(commandLine, hooks);
      try {
        EXPECT_FALSE(app.InitInstance());
      } catch (const ExitCalled& e) {
        ended = e;
      }
      singleMsgId_ = app.singleMsgId;
    });
    return ended;
  }

  ScopedServices scope_;
  FakeBus bus_;
  FakeLock lock_;
  FakeExit exit_;
  RecordingLog log_;
  PageFrontEnd frontEnd_;
  Sandbox sandbox_;
  uint32_t singleMsgId_ = 0;
};

TEST_F(StartUpTest, PlainStartRunsTheWholeSequence) {
  EXPECT_FALSE(Run("").has_value());
  EXPECT_EQ(bus_.registered, std::vector<std::string>{"orv_detect_tools_single_msgidNAVRO_2049"});
  EXPECT_EQ(singleMsgId_, bus_.id);
  EXPECT_EQ(lock_.names, std::vector<std::string>{"downloader_NAVRO_801"});
  EXPECT_TRUE(bus_.broadcasts.empty());
  EXPECT_TRUE(createDesktopShortcut && createStartMenuShortcut && createQuickLaunchShortcut);
  EXPECT_EQ(windowTitle, "Corvane银行网银助手下载器");
  const std::string site = g_downloadpath.ip;
  ASSERT_GE(log_.lines.size(), 4u);
  EXPECT_EQ(
      std::vector<std::string>(log_.lines.begin(), log_.lines.begin() + 4),
      (std::vector<std::string>{"g_downloadpath.ip(" + site + ")",
                                "g_downloadpath.path(/assist/server?reqtype=1&data=)",
                                "g_downloadpath.port()", site + "/assist/server?reqtype=1&data="}));
  EXPECT_EQ(frontEnd_.pagesRun, 1);
}

TEST_F(StartUpTest, QuitRequestBroadcastsAndTakesNoLock) {
  EXPECT_FALSE(Run("-t").has_value());
  ASSERT_EQ(bus_.broadcasts.size(), 1u);
  EXPECT_EQ(bus_.broadcasts[0].id, bus_.id);
  EXPECT_EQ(bus_.broadcasts[0].wParam, 1u);
  EXPECT_TRUE(lock_.names.empty());
  EXPECT_EQ(frontEnd_.pagesRun, 0);
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(StartUpTest, EndsAtTheFixedExitPoints) {
  lock_.free = false;
  auto ended = Run("-update");
  ASSERT_TRUE(ended.has_value());
  EXPECT_EQ(ended->code, 0);
  EXPECT_FALSE(ended->immediate);  // the C runtime's exit
  EXPECT_EQ(frontEnd_.pagesRun, 0);

  lock_.free = true;
  sandbox_.WriteFile("serverip.dat", "only one line\n");
  ended = Run("");
  ASSERT_TRUE(ended.has_value());
  EXPECT_TRUE(ended->immediate);
  EXPECT_TRUE(log_.lines.empty());
  EXPECT_TRUE(frontEnd_.messages.empty());
}

TEST_F(StartUpTest, FailedRegistrationSaysSo) {
  bus_.id = 0;
  EXPECT_FALSE(Run("").has_value());
  ASSERT_EQ(frontEnd_.messages.size(), 1u);
  EXPECT_EQ(frontEnd_.messages[0].text, "Can not initialize.");
  EXPECT_EQ(frontEnd_.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(frontEnd_.messages[0].caption, "downloader-cli");  // the program's name
  EXPECT_TRUE(lock_.names.empty());
  EXPECT_EQ(frontEnd_.pagesRun, 0);
}

}  // namespace
