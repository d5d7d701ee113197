#include <gtest/gtest.h>

#include "app/settings.h"
#include "app/startup.h"
#include "tests/fakes.h"

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
