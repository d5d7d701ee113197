#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "app/settings.h"
#include "channel/http_client.h"
#include "channel/http_transport.h"
#include "channel/server_channel.h"
#include "tests/fakes.h"
#include "tests/fault_server.h"
#include "tests/process_helpers.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class TransportTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetProcessRecords();
    platform::Sys().log = &log_;
  }
  void TearDown() override { ResetProcessRecords(); }

  std::vector<std::string> LinesStartingWith(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& l : log_.lines)
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
  }

  ScopedServices scope_;
  RecordingLog log_;
};

TEST_F(TransportTest, SendsTheFourHeadersInOrderWithTheUserAgent) {
  FaultServer server(
      [](int fd, const std::string&) { FaultServer::Send(fd, FaultServer::Response(200, "ok")); });
  CHttpClient client;
  std::string body;
  ASSERT_EQ(client.Get(server.base() + "/assist/server?reqtype=1&data=AB", &body),
            CHttpClient::Done);
  EXPECT_EQ(body, "ok");
  ASSERT_EQ(server.heads().size(), 1u);
  const std::string head = server.heads()[0];
  EXPECT_EQ(head.rfind("GET /assist/server?reqtype=1&data=AB HTTP/1.1\r\n", 0), 0u) << head;
  EXPECT_NE(head.find("\r\nUser-Agent: " + std::string(CHttpClient::kUserAgent) + "\r\n"),
            std::string::npos);
  size_t last = 0;
  for (const char* h : {"\r\nAccept: *,*/*\r\n", "\r\nAccept-Language: zh-cn\r\n",
                        "\r\nContent-Type: application/x-www-form-urlencoded\r\n",
                        "\r\nAccept-Encoding: gzip, deflate\r\n"}) {
    size_t at = head.find(h);
    ASSERT_NE(at, std::string::npos) << h << head;
    EXPECT_GT(at, last) << h;
    last = at;
  }
}

TEST_F(TransportTest, ReplyBodiesAreTakenAsTheyCome) {
  std::string zeroBody =
      std::string(10, 'a') + '\0' + std::string(1013, 'b') + std::string(476, 'c');
  struct Case {
    const char* name;
    std::string response;
    std::string expected;
  } cases[] = {
      {"404 page counts as an answer", FaultServer::Response(404, "<html>nope</html>"),
       "<html>nope</html>"},
      {"zero byte loses the rest of its 1024-byte chunk", FaultServer::Response(200, zeroBody),
       std::string(10, 'a') + std::string(476, 'c')},
      {"no length, body until close", FaultServer::Response(200, "plain", false), "plain"},
      {"empty body", FaultServer::Response(200, ""), ""},
  };
  for (const Case& c : cases) {
    FaultServer server([&](int fd, const std::string&) { FaultServer::Send(fd, c.response); });
    CHttpClient client;
    std::string body = "previous";
    EXPECT_EQ(client.Get(server.base() + "/x", &body), CHttpClient::Done) << c.name;
    EXPECT_EQ(body, c.expected) << c.name;
  }
}

TEST_F(TransportTest, FailuresLeaveTheResponseAlone) {
  FaultServer listening(
      [](int fd, const std::string&) { FaultServer::Send(fd, FaultServer::Response(200, "x")); });
  CHttpClient client;
  std::string body = "previous";
  // Not http or https: nothing is sent.
  for (std::string url : {"ftp://127.0.0.1:" + std::to_string(listening.port()) + "/x",
                          std::string("127.0.0.1/x"), std::string("")}) {
    EXPECT_EQ(client.Get(url, &body), CHttpClient::Failed) << url;
  }
  EXPECT_EQ(listening.requestCount(), 0);
  EXPECT_EQ(client.Get("http://127.0.0.1:1/x", &body), CHttpClient::Failed);
  EXPECT_EQ(body, "previous");
}

TEST_F(TransportTest, StalledServerTimesOutInAboutThreeSeconds) {
  FaultServer* self = nullptr;
  FaultServer server([&](int, const std::string&) { self->Stall(); });
  self = &server;
  CHttpClient client;
  std::string body = "previous";
  auto start = Clock::now();
  EXPECT_EQ(client.Get(server.base() + "/x", &body), CHttpClient::TimedOut);
  EXPECT_GE(SecondsSince(start), 2.5);
  EXPECT_LT(SecondsSince(start), 6.0);
  EXPECT_EQ(body, "previous");
}

TEST_F(TransportTest, ServerListIsTriedInOrderUntilOneAnswers) {
  FaultServer* stallSelf = nullptr;
  FaultServer stalling([&](int, const std::string&) { stallSelf->Stall(); });
  stallSelf = &stalling;
  FaultServer answering([](int fd, const std::string&) {
    FaultServer::Send(fd, FaultServer::Response(404, "not here"));
  });
  FaultServer never([](int fd, const std::string&) {
    FaultServer::Send(fd, FaultServer::Response(200, "never"));
  });
  g_downloadpath.ip = "http://ip.invalid";
  g_downloadpath.serverUrls = {stalling.base(), "http://127.0.0.1:1", answering.base(),
                               never.base()};
  g_downloadpath.port = "";
  const std::string path = "/assist/server?reqtype=1&data=";

  std::string response;
  auto start = Clock::now();
  EXPECT_TRUE(ServerChannel::SendRequest(path, "801", &response, false, 1));
  EXPECT_LT(SecondsSince(start), 6.0);
  EXPECT_EQ(response, "not here");
  EXPECT_EQ(never.requestCount(), 0);
  EXPECT_EQ(LinesStartingWith("strSendData:("), std::vector<std::string>{"strSendData:(801)"});
  EXPECT_EQ(LinesStartingWith("domain:("),
            (std::vector<std::string>{"domain:(" + stalling.base() + path + ")",
                                      "domain:(http://127.0.0.1:1" + path + ")",
                                      "domain:(" + answering.base() + path + ")"}));
  // The sealed request follows the path.
  std::string head = answering.heads().at(0);
  EXPECT_EQ(head.find("GET " + path), 0u);
  EXPECT_EQ(head.find(" HTTP/1.1"), 4 + path.size() + 340);
}

TEST_F(TransportTest, EmptyListSendsOneRequestToTheSite) {
  FaultServer server([](int fd, const std::string&) {
    FaultServer::Send(fd, FaultServer::Response(200, "answer"));
  });
  g_downloadpath.ip = "http://127.0.0.1";
  g_downloadpath.port = ":" + std::to_string(server.port());
  std::string response;
  EXPECT_TRUE(ServerChannel::SendRequest("/p?d=", "abc", &response, true, 0));
  EXPECT_EQ(response, "answer");
  ASSERT_EQ(server.requestCount(), 1);
  // Unsealed, as upper-case hexadecimal of the bytes.
  EXPECT_EQ(server.heads()[0].rfind("GET /p?d=616263 HTTP/1.1", 0), 0u);
  EXPECT_TRUE(LinesStartingWith("domain:(").empty());
}

TEST_F(TransportTest, EveryServerFailingKeepsTheResponse) {
  g_downloadpath.serverUrls = {"http://127.0.0.1:1", "ftp://127.0.0.1:1"};
  std::string response = "previous";
  EXPECT_FALSE(ServerChannel::SendRequest("/p", "801", &response, false, 1));
  EXPECT_EQ(response, "previous");
  EXPECT_EQ(LinesStartingWith("domain:(").size(), 2u);
}

TEST_F(TransportTest, HttpsAcceptsSelfSignedExpiredAndMisnamedCertificates) {
  for (std::vector<std::string> args : {std::vector<std::string>{"--https"},
                                        {"--https", "--expired-cert"},
                                        {"--https", "--cert-name", "wrong.example"}}) {
    ChildProcess server;
    int port = StartAssistantServer(server, args);
    ASSERT_GT(port, 0) << server.Output();
    CHttpClient client;
    std::string body;
    EXPECT_EQ(
        client.Get("https://127.0.0.1:" + std::to_string(port) + "/assist/server?reqtype=1&data=00",
                   &body),
        CHttpClient::Done)
        << args.back();
    EXPECT_EQ(body, "request cannot be opened\n");
  }
}

TEST(HttpLibrary, ALibraryThatCannotServeIsRefusedWithItsName) {
  struct Case {
    const char* soname;
    const char* says;
  };
  for (Case c : {Case{"libno-such-curl.so.4", "libno-such-curl.so.4: cannot open"},
                 Case{"libz.so.1", "libz.so.1 has no curl_global_init"}}) {
    std::string error;
    EXPECT_FALSE(CanLoadHttpLibrary(c.soname, &error)) << c.soname;
    EXPECT_THAT(error, testing::HasSubstr(c.says));
  }
  std::string error;
  EXPECT_TRUE(InitHttpLibrary(&error)) << error;
  EXPECT_TRUE(CanLoadHttpLibrary("libcurl.so.4", &error)) << error;
}

// The front ends start without the HTTP library and the thirty libraries
// it needs; the first transfer loads it.
TEST(HttpLibrary, NeitherFrontEndLoadsItAtStart) {
  std::vector<std::string> programs = {"downloader-cli"};
  if (TEST_HAS_QT) programs.push_back("downloader");
  for (const std::string& program : programs) {
    ChildProcess child;
    // The dynamic loader lists what it maps and ends, as ldd has it do.
    ASSERT_TRUE(child.Start(BinPath(program), {}, ".", {{"LD_TRACE_LOADED_OBJECTS", "1"}}));
    EXPECT_EQ(child.Wait(10000), 0);
    EXPECT_THAT(child.Output(), testing::HasSubstr("libc.so.6")) << program;
    EXPECT_THAT(child.Output(), testing::Not(testing::HasSubstr("libcurl"))) << program;
  }
}

}  // namespace
