// What a hostile server or a hostile local user can send the downloader:
// deep JSON, terminal escapes, log lines, odd override files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "channel/server_discovery.h"
#include "channel/version_exchange.h"
#include "platform/platform.h"
#include "tests/fakes.h"
#include "tests/process_helpers.h"

namespace fs = std::filesystem;

namespace {

TEST(HostileText, ControlCharactersAreShownEscaped) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"plain 1.0.0.12", "plain 1.0.0.12"},
      {"组件.dll", "组件.dll"},
      {"\x1b[2J\x1b]0;title\x07", "\\x1b[2J\\x1b]0;title\\x07"},
      {"line\nforged line\r", "line\\x0aforged line\\x0d"},
      {"del\x7f", "del\\x7f"},
      {"c1 \xc2\x9b"
       "31m",
       "c1 \\xc2\\x9b31m"},  // U+009B, the 8-bit CSI
      {"bad \xff\xfe utf8 \xe7\xbb", "bad \\xff\\xfe utf8 \\xe7\\xbb"},
      {"overlong \xc0\xaf", "overlong \\xc0\\xaf"},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::EscapeControlText(c.in), c.out) << c.out;
}

TEST(HostileText, LoggedValuesCannotForgeLinesAndAreBounded) {
  ScopedServices scope;
  RecordingLog log;
  platform::Sys().log = &log;
  platform::Debug("Data:(answer\n2026-01-01 00:00:00 [1] forged line)");
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0], "Data:(answer\\x0a2026-01-01 00:00:00 [1] forged line)");
  platform::Debug("Data:(" + std::string(8u << 20, 'A') + ")");
  ASSERT_EQ(log.lines.size(), 2u);
  EXPECT_LE(log.lines[1].size(), platform::kMaxLogLine + 32);
  EXPECT_EQ(log.lines[1].rfind("Data:(AAAA", 0), 0u);
  const std::string tail = "...[" + std::to_string((8u << 20) + 7) + " bytes]";
  EXPECT_EQ(log.lines[1].substr(log.lines[1].size() - tail.size()), tail);
}

TEST(HostileAnswer, JsonNestedDeeperThanTheReaderAllowsIsNotJson) {
  VersionAnswer answer;
  EXPECT_EQ(ParseVersionAnswer(std::string(1000, '['), &answer), VersionOutcome::NotJson);
  EXPECT_EQ(ParseVersionAnswer("{\"v\":" + std::string(5000, '[') + "}", &answer),
            VersionOutcome::NotJson);
}

class HostileServer : public testing::Test {
 protected:
  // Runs downloader-cli unattended against assistant-server with args.
  int RunAgainst(const std::vector<std::string>& serverArgs, std::string* output) {
    ChildProcess server;
    int port = StartAssistantServer(server, serverArgs);
    if (port <= 0) return -1;
    sandbox_.WriteFile("serverip.dat", "http://127.0.0.1\n:" + std::to_string(port) +
                                           "\n/assist/server?reqtype=1&data=\n");
    ChildProcess cli;
    if (!cli.Start(BinPath("downloader-cli"), {}, sandbox_.cwd(),
                   {{"DOWNLOADER_ROOT", sandbox_.root()}, {"DOWNLOADER_UNATTENDED", "1"}}))
      return -1;
    int code = cli.Wait(60000);
    *output = cli.Output();
    return code;
  }
  Sandbox sandbox_;
};

TEST_F(HostileServer, DeepAnswerEndsTheRunCleanly) {
  std::string output;
  EXPECT_EQ(RunAgainst({"--plain-answer", std::string(1000, '[')}, &output), 1) << output;
  EXPECT_NE(output.find("无法读取"), std::string::npos) << output;
}

TEST_F(HostileServer, EscapesInTheAnswerReachTheTerminalEscaped) {
  std::string output;
  RunAgainst({"--version", "1.0\x1b[2J\x1b]0;pwned\x07", "--url", "http://x/\x1b[31mred"}, &output);
  EXPECT_EQ(output.find('\x1b'), std::string::npos) << output;
  EXPECT_NE(output.find("1.0\\x1b[2J\\x1b]0;pwned\\x07"), std::string::npos) << output;
  EXPECT_NE(output.find("http://x/\\x1b[31mred"), std::string::npos) << output;
  const std::string log = ReadFileText(sandbox_.root() + "/tmp/downloader.log");
  EXPECT_EQ(log.find('\x1b'), std::string::npos);
}

class OverrideFile : public testing::Test {
 protected:
  void SetUp() override {
    ResetProcessRecords();
    LoadBankProfile();
    platform::Sys().log = &log_;
  }
  void TearDown() override { ResetProcessRecords(); }
  ScopedServices scope_;
  RecordingLog log_;
  Sandbox sandbox_;
};

TEST_F(OverrideFile, OnlyARegularFileOfSaneSizeIsRead) {
  const std::string path = sandbox_.cwd() + "/serverip.dat";
  const std::string site = g_downloadpath.ip;
  struct Case {
    const char* name;
    std::function<void()> make;
  } cases[] = {
      {"a folder", [&] { fs::create_directory(path); }},
      {"a pipe nobody writes to", [&] { mkfifo(path.c_str(), 0600); }},
      {"a link to an endless device", [&] { fs::create_symlink("/dev/zero", path); }},
      {"a huge file",
       [&] { fs::resize_file((sandbox_.WriteFile("serverip.dat", ""), path), 1u << 20); }},
  };
  for (const Case& c : cases) {
    fs::remove_all(path);
    c.make();
    log_.lines.clear();
    bool ok = false;
    const auto start = std::chrono::steady_clock::now();
    InFolder(sandbox_.cwd(), [&] { ok = DiscoverServer(); });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << c.name;
    EXPECT_TRUE(ok) << c.name;  // as if there were no file
    EXPECT_EQ(g_downloadpath.ip, site) << c.name;
    EXPECT_EQ(g_downloadpath.path, "/assist/server?reqtype=1&data=") << c.name;
    ASSERT_EQ(log_.lines.size(), 1u) << c.name;
    EXPECT_EQ(log_.lines[0].rfind("serverip.dat ignored: it ", 0), 0u) << log_.lines[0];
  }
  fs::remove_all(path);
}

}  // namespace
