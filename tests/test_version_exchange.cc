#include <gtest/gtest.h>

#include <fstream>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "app/version.h"
#include "channel/envelope_codec.h"
#include "channel/server_discovery.h"
#include "channel/version_exchange.h"
#include "tests/fakes.h"
#include "tests/fault_server.h"
#include "tests/process_helpers.h"

namespace {

class VersionExchangeTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetProcessRecords();
    LoadBankProfile();
    g_downloadpath.path = "/assist/server?reqtype=1&data=";
    platform::Sys().log = &log_;
  }
  void TearDown() override { ResetProcessRecords(); }

  void PointAt(int port) {
    g_downloadpath.ip = "http://127.0.0.1";
    g_downloadpath.port = ":" + std::to_string(port);
  }
  bool Logged(const std::string& prefix) const {
    for (const std::string& l : log_.lines)
      if (l.rfind(prefix, 0) == 0) return true;
    return false;
  }

  ScopedServices scope_;
  RecordingLog log_;
};

TEST_F(VersionExchangeTest, RequestTextIsTheBankIdInHex) {
  EXPECT_EQ(VersionRequestText(0x801), "801");
  EXPECT_EQ(VersionRequestText(0xa1), "a1");
  EXPECT_EQ(VersionRequestText(0x80a), "80a");
}

TEST_F(VersionExchangeTest, AnswerFromTheReferenceServer) {
  ChildProcess server;
  int port = StartAssistantServer(
      server, {"--version", "1.0.0.12", "--update", "2", "--url", "http://127.0.0.1:PORT/release"});
  ASSERT_GT(port, 0);
  PointAt(port);
  VersionAnswer answer;
  ASSERT_EQ(VersionExchange(true, &answer), VersionOutcome::Answer);
  EXPECT_EQ(answer.v, "1.0.0.12");
  EXPECT_EQ(answer.update, "2");
  EXPECT_EQ(answer.url, "http://127.0.0.1:" + std::to_string(port) + "/release");
  EXPECT_TRUE(Logged("Data:(308200"));
  EXPECT_TRUE(Logged("Data_D:({\"update\":\"2\""));
}

TEST_F(VersionExchangeTest, DiagnosticsOffWritesNoDataLines) {
  ChildProcess server;
  int port = StartAssistantServer(server, {});
  PointAt(port);
  VersionAnswer answer;
  ASSERT_EQ(VersionExchange(false, &answer), VersionOutcome::Answer);
  EXPECT_FALSE(Logged("Data:("));
  EXPECT_FALSE(Logged("Data_D:("));
}

TEST_F(VersionExchangeTest, OutcomesOfOddReplies) {
  std::string sealedAnswer;
  ASSERT_EQ(EnvelopeCodec::Seal("{\"v\":\"3.0\"}", &sealedAnswer), 0);
  std::string sealedText;
  ASSERT_EQ(EnvelopeCodec::Seal("hello", &sealedText), 0);
  struct Case {
    const char* name;
    std::string body;
    VersionOutcome outcome;
  } cases[] = {
      {"empty body", "", VersionOutcome::NoAnswer},
      {"not an envelope", "<html>404</html>", VersionOutcome::CannotOpen},
      {"odd length drops the last character", sealedAnswer + "Z", VersionOutcome::Answer},
      {"not JSON", sealedText, VersionOutcome::NotJson},
  };
  for (const Case& c : cases) {
    FaultServer server([&](int fd, const std::string&) {
      FaultServer::Send(fd, FaultServer::Response(404, c.body));
    });
    PointAt(server.port());
    VersionAnswer answer;
    EXPECT_EQ(VersionExchange(true, &answer), c.outcome) << c.name;
  }
  PointAt(1);
  VersionAnswer answer;
  EXPECT_EQ(VersionExchange(true, &answer), VersionOutcome::NoAnswer);
}

TEST(VersionAnswerParse, MembersAndShapes) {
  struct Case {
    const char* text;
    VersionOutcome outcome;
    VersionAnswer answer;
  } cases[] = {
      {R"({"v":"1.0.0.5","url":"http://a/b","update":"1"})",
       VersionOutcome::Answer,
       {"1.0.0.5", "http://a/b", "1"}},
      {R"({"v":"1.0"})", VersionOutcome::Answer, {"1.0", "", ""}},
      {R"(/* note */ {"v":"1.0", "other": [1,2]} // tail)",
       VersionOutcome::Answer,
       {"1.0", "", ""}},
      {R"({"v":"1.0","update":2})", VersionOutcome::Answer, {"1.0", "", "2"}},
      {R"({"v":["1"]})", VersionOutcome::NotJson, {}},
      {R"({"url":{"a":1}})", VersionOutcome::NotJson, {}},
      {R"(["1.0"])", VersionOutcome::NotJson, {}},
      {R"("1.0")", VersionOutcome::NotJson, {}},
      {"", VersionOutcome::NotJson, {}},
      {"{", VersionOutcome::NotJson, {}},
  };
  for (const Case& c : cases) {
    VersionAnswer a{"x", "x", "x"};
    EXPECT_EQ(ParseVersionAnswer(c.text, &a), c.outcome) << c.text;
    if (c.outcome == VersionOutcome::Answer) {
      EXPECT_EQ(a.v, c.answer.v) << c.text;
      EXPECT_EQ(a.url, c.answer.url) << c.text;
      EXPECT_EQ(a.update, c.answer.update) << c.text;
    }
  }
}

TEST(VersionNumbers, ParseAsTheInstalledAssistantWritesThem) {
  struct Case {
    const char* text;
    VersionNumber parts;
  } cases[] = {
      {"1.0.12.3", {1, 0, 12, 3}},
      {"1.2.3", {1, 2, 3, 1}},
      {"1.22", {1, 22, 1, 22}},
      {"21010001", {2, 1, 1, 1}},
      {"1234", {1, 2, 34, 0}},
      {"1.0.0.5", {1, 0, 0, 5}},
      {"", {0, 0, 0, 0}},
      {"1.2.", {1, 2, 0, 1}},
      {"1.", {0, 0, 0, 0}},
      {"1.2", {0, 0, 0, 0}},
      {"1.0.-1.0", {1, 0, 0xFFFFFFFFu, 0}},
      {"a.b.c.d", {0, 0, 0, 0}},
      {" 7.8.9.10", {7, 8, 9, 10}},
      {"1.2.3.4.5", {1, 2, 3, 4}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseVersion(c.text), c.parts) << c.text;
  EXPECT_LT(ParseVersion("1.0.0.5"), ParseVersion("1.0.0.12"));
  for (auto [text, value] : {std::pair{"12", 12}, {"  -3x", -3}, {"+4", 4}, {"", 0}, {"x1", 0}})
    EXPECT_EQ(ReadDecimal(text), value) << text;
}

class DiscoveryTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetProcessRecords();
    LoadBankProfile();
  }
  void TearDown() override { ResetProcessRecords(); }
  bool Discover(const char* content) {
    if (content) sandbox_.WriteFile("serverip.dat", content);
    bool result = false;
    InFolder(sandbox_.cwd(), [&] { result = DiscoverServer(); });
    return result;
  }
  Sandbox sandbox_;
};

TEST_F(DiscoveryTest, OverrideFileLines) {
  const std::string site = g_downloadpath.ip;
  struct Case {
    const char* name;
    const char* content;
    bool ok;
    std::string ip, port, path;
  } cases[] = {
      {"no file", nullptr, true, site, "", "/assist/server?reqtype=1&data="},
      {"three lines", "http://h\n:8080\n/a?data=\n", true, "http://h", ":8080", "/a?data="},
      {"CRLF lines", "http://h\r\n:8080\r\n/a?data=\r\n", true, "http://h", ":8080", "/a?data="},
      {"no final line break", "http://h\n\n/a", true, "http://h", "", "/a"},
      {"blanks kept, extra lines ignored", " http://h \n:1\n/p \nmore\n", true, " http://h ", ":1",
       "/p "},
      {"two lines", "http://h\n:8080\n", false, site, "", ""},
      {"empty file", "", false, site, "", ""},
  };
  for (const Case& c : cases) {
    ResetProcessRecords();
    LoadBankProfile();
    std::remove((sandbox_.cwd() + "/serverip.dat").c_str());
    EXPECT_EQ(Discover(c.content), c.ok) << c.name;
    EXPECT_EQ(g_downloadpath.ip, c.ip) << c.name;
    EXPECT_EQ(g_downloadpath.port, c.port) << c.name;
    EXPECT_EQ(g_downloadpath.path, c.path) << c.name;
  }
}

TEST_F(DiscoveryTest, ServerListWinsOverTheFirstLine) {
  ResetProcessRecords();
  LoadBankProfileFor(0x802);
  FaultServer listed([](int fd, const std::string&) {
    FaultServer::Send(fd, FaultServer::Response(200, "from the list"));
  });
  FaultServer overridden([](int fd, const std::string&) {
    FaultServer::Send(fd, FaultServer::Response(200, "from line 1"));
  });
  ASSERT_TRUE(Discover((overridden.base() + "\n\n/v?data=\n").c_str()));
  g_downloadpath.serverUrls = {listed.base()};
  VersionAnswer answer;
  VersionExchange(false, &answer);
  EXPECT_EQ(overridden.requestCount(), 0);
  ASSERT_EQ(listed.requestCount(), 1);
  EXPECT_EQ(listed.heads()[0].rfind("GET /v?data=308200", 0), 0u);
}

TEST_F(DiscoveryTest, ShortOverrideFileEndsStartUpWithoutAWindow) {
  for (const char* content : {"http://127.0.0.1\n:1\n", ""}) {
    sandbox_.WriteFile("serverip.dat", content);
    ChildProcess cli;
    ASSERT_TRUE(cli.Start(BinPath("downloader-cli"), {}, sandbox_.cwd(),
                          {{"DOWNLOADER_ROOT", sandbox_.root()}, {"DOWNLOADER_UNATTENDED", "0"}}));
    EXPECT_EQ(cli.Wait(10000), 0);
    EXPECT_EQ(cli.Output(), "") << content;
  }
}

TEST_F(DiscoveryTest, DownloaderLogsTheRequestAndTheOpenedAnswer) {
  ChildProcess server;
  int port =
      StartAssistantServer(server, {"--version", "1.0.0.12", "--url", "http://127.0.0.1:1/x"});
  sandbox_.WriteFile("serverip.dat", "http://127.0.0.1\n:" + std::to_string(port) +
                                         "\n/assist/server?reqtype=1&data=\n");
  ChildProcess cli;
  ASSERT_TRUE(cli.Start(BinPath("downloader-cli"), {}, sandbox_.cwd(),
                        {{"DOWNLOADER_ROOT", sandbox_.root()}, {"DOWNLOADER_UNATTENDED", "1"}}));
  // The answer names a location where nothing listens: the installation
  // behind the query stops at the manifests, as an unattended failure.
  EXPECT_EQ(cli.Wait(20000), 2) << cli.Output();
  const std::string log = ReadFileText(sandbox_.root() + "/tmp/downloader.log");
  EXPECT_NE(log.find("g_downloadpath.port(:" + std::to_string(port) + ")"), std::string::npos);
  EXPECT_NE(log.find("strSendData:(801)"), std::string::npos) << log;
  EXPECT_NE(log.find("Data:(308200"), std::string::npos);
  EXPECT_NE(
      log.find("Data_D:({\"update\":\"0\",\"url\":\"http://127.0.0.1:1/x\",\"v\":\"1.0.0.12\"})"),
      std::string::npos);
  EXPECT_NE(cli.Output().find("1.0.0.12"), std::string::npos);
  EXPECT_NE(server.Output().find("GET /assist/server"), std::string::npos);
}

}  // namespace
