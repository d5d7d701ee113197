// The single-instance rules with real processes in a sandbox root.
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>

#include "platform/posix/posix_services.h"
#include "tests/fakes.h"
#include "tests/process_helpers.h"

namespace {

const char kMessageFolder[] = "/run/orv_detect_tools_single_msgidNAVRO_2049";

class SingleInstanceTest : public testing::Test {
 protected:
  void SetUp() override {
    // Port 1 on loopback refuses at once, so the page soon waits for the user.
    sandbox_.WriteFile("serverip.dat", "http://127.0.0.1\n:1\n/assist/server?reqtype=1&data=\n");
  }

  std::map<std::string, std::string> Env() const {
    return {{"DOWNLOADER_ROOT", sandbox_.root()}, {"DOWNLOADER_UNATTENDED", "0"}};
  }

  std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& args,
                                      const std::string& program = "downloader-cli") {
    auto child = std::make_unique<ChildProcess>();
    EXPECT_TRUE(child->Start(BinPath(program), args, sandbox_.cwd(), Env()));
    return child;
  }

  // Starts a plain copy and waits until its page listens for the broadcast.
  std::unique_ptr<ChildProcess> StartShowingPage(const std::string& program = "downloader-cli",
                                                 const std::string& folder = kMessageFolder) {
    int before = CountSockets(sandbox_.root() + folder);
    auto child = Start({}, program);
    EXPECT_TRUE(WaitUntil([&] { return CountSockets(sandbox_.root() + folder) > before; }, 10000))
        << child->Output();
    return child;
  }

  // Posts the quit message from this process, as another program would.
  void Broadcast(uint64_t wParam) {
    ScopedServices scope;
    platform::PosixLocations locations;  // reads DOWNLOADER_ROOT at each call
    platform::Sys().locations = &locations;
    setenv("DOWNLOADER_ROOT", sandbox_.root().c_str(), 1);
    platform::PosixMessageBus bus;
    uint32_t id = bus.Register("orv_detect_tools_single_msgidNAVRO_2049");
    ASSERT_NE(id, 0u);
    bus.Broadcast(id, wParam, 0);
    setenv("DOWNLOADER_ROOT", savedRoot_.c_str(), 1);
  }

  Sandbox sandbox_;
  std::string savedRoot_ = platform::GetEnv("DOWNLOADER_ROOT");
};

TEST_F(SingleInstanceTest, SecondCopyForTheSameBankEndsAtOnce) {
  auto first = StartShowingPage();
  auto second = Start({});
  EXPECT_EQ(second->Wait(5000), 0) << second->Output();
  EXPECT_EQ(second->Output(), "");
  EXPECT_TRUE(first->Running());
}

TEST_F(SingleInstanceTest, CopyForAnotherBankRunsAlongside) {
  auto first = StartShowingPage();
  auto other =
      StartShowingPage("downloader-cli-802", "/run/orv_detect_tools_single_msgidNAVRO_2050");
  EXPECT_TRUE(first->Running());
  EXPECT_TRUE(other->Running());
}

TEST_F(SingleInstanceTest, QuitRequestEndsRunningCopyAndLeavesNoLock) {
  auto first = StartShowingPage();
  auto quit = Start({"-t"});
  EXPECT_EQ(quit->Wait(5000), 0);
  EXPECT_EQ(quit->Output(), "");
  EXPECT_EQ(first->Wait(5000), 0) << "the running copy did not end";
  // Neither copy holds the lock any more: a plain start shows its page.
  auto next = StartShowingPage();
  EXPECT_TRUE(next->Running());
}

TEST_F(SingleInstanceTest, QuitRequestWithNoCopyRunningDoesNothing) {
  auto quit = Start({"-t"});
  EXPECT_EQ(quit->Wait(5000), 0);
  EXPECT_EQ(quit->Output(), "");
}

TEST_F(SingleInstanceTest, CommandLinesThatOnlyLookLikeTheQuitRequest) {
  auto first = StartShowingPage();
  for (std::vector<std::string> args :
       {std::vector<std::string>{"-T"}, {"-t "}, {"-t", "-update"}, {" -t", "x"}}) {
    // Not a broadcast: they reach the lock, find it taken and end quietly.
    auto other = Start(args);
    EXPECT_EQ(other->Wait(5000), 0);
    EXPECT_TRUE(first->Running()) << args[0];
  }
}

TEST_F(SingleInstanceTest, BroadcastWithTwoIsIgnoredAndOneEnds) {
  auto first = StartShowingPage();
  Broadcast(2);
  EXPECT_EQ(first->Wait(500), -1) << "wParam 2 must not end the copy";
  Broadcast(1);
  EXPECT_EQ(first->Wait(5000), 0);
}

TEST_F(SingleInstanceTest, LockOfAKilledCopyDoesNotBlockTheNextStart) {
  auto first = StartShowingPage();
  first->Kill(SIGKILL);
  EXPECT_EQ(first->Wait(5000), 128 + SIGKILL);
  auto next = StartShowingPage();
  EXPECT_TRUE(next->Running());
  // The killed copy's socket is stale; a broadcast still reaches the live one.
  auto quit = Start({"-t"});
  EXPECT_EQ(quit->Wait(5000), 0);
  EXPECT_EQ(next->Wait(5000), 0);
  // Copies that ended at once leave their socket behind; the next broadcast
  // finds nobody listening there and removes it.
  auto again = Start({"-t"});
  EXPECT_EQ(again->Wait(5000), 0);
  EXPECT_EQ(CountSockets(sandbox_.root() + kMessageFolder), 0);
}

TEST_F(SingleInstanceTest, CancelAsksBeforeQuitting) {
  auto first = StartShowingPage();
  ASSERT_TRUE(
      WaitUntil([&] { return first->Output().find("1) 重试") != std::string::npos; }, 10000));
  first->Send("2\n");
  ASSERT_TRUE(WaitUntil(
      [&] { return first->Output().find("是否退出网银助手安装？") != std::string::npos; }, 5000));
  first->Send("2\n");
  EXPECT_EQ(first->Wait(300), -1);
  first->Send("2\n1\n");
  EXPECT_EQ(first->Wait(5000), 0);
}

}  // namespace
