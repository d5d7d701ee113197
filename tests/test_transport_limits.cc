// The bounds on every wait of the network layer, the bytes a URL may carry,
// and the reasons that failures leave in the log.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "channel/http_client.h"
#include "channel/http_transport.h"
#include "tests/fakes.h"
#include "tests/fault_server.h"
#include "tests/process_helpers.h"
#include "update/download.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class Collect : public HttpReceiver {
 public:
  bool OnResponse(long s, int64_t) override {
    status = s;
    return true;
  }
  bool OnBody(const char* data, size_t n) override {
    body.append(data, n);
    return true;
  }
  long status = 0;
  std::string body;
};

// A server that sends its head and then one byte every `gapMs`, up to `count`.
FaultServer::Handler Dribble(int gapMs, int count) {
  return [=](int fd, const std::string&) {
    FaultServer::Send(fd,
                      "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(count) + "\r\n\r\n");
    for (int i = 0; i < count; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
      FaultServer::Send(fd, "x");
    }
  };
}

class LimitsTest : public testing::Test {
 protected:
  void SetUp() override { platform::Sys().log = &log_; }
  bool Logged(const std::string& prefix, const std::string& part) const {
    for (const std::string& l : log_.lines)
      if (l.rfind(prefix, 0) == 0 && l.find(part) != std::string::npos) return true;
    return false;
  }
  ScopedServices scope_;
  RecordingLog log_;
  Sandbox sandbox_;
};

TEST_F(LimitsTest, ReplyThatStopsAfterPartOfItsBodyTimesOutAfterThreeSeconds) {
  FaultServer* self = nullptr;
  FaultServer server([&](int fd, const std::string&) {
    FaultServer::Send(
        fd, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(60000, 'a'));
    self->Stall();
  });
  self = &server;
  CHttpClient client;
  std::string body = "previous";
  const auto start = Clock::now();
  EXPECT_EQ(client.Get(server.base() + "/x", &body), CHttpClient::TimedOut);
  EXPECT_GE(SecondsSince(start), 2.9);
  EXPECT_LT(SecondsSince(start), 4.5);  // not the 6 to 9 s of an averaged rate
  EXPECT_EQ(body, "previous");
  EXPECT_TRUE(Logged("request failed(", "no byte for 3000 ms"));
}

TEST_F(LimitsTest, DribblingServerIsEndedByTheOverallBound) {
  // A byte every 200 ms never trips the stall time-out, only the bound.
  FaultServer server(Dribble(200, 100));
  HttpRequest request;
  request.url = server.base() + "/x";
  request.limits.overallMs = 1500;
  Collect rx;
  std::string error;
  const auto start = Clock::now();
  EXPECT_EQ(HttpTransfer(request, rx, &error), HttpResult::TimedOut);
  EXPECT_LT(SecondsSince(start), 3.0);
  EXPECT_NE(error.find("within 1500 ms"), std::string::npos) << error;
  // The version query has such a bound of its own.
  EXPECT_GT(CHttpClient::kReplyBoundMs, 0);
}

TEST_F(LimitsTest, DownloadBelowTheRateFloorTimesOutAndAFasterOneDoesNot) {
  const HttpLimits saved = DownloadLimits();
  EXPECT_EQ(saved.minBytesPerWindow, 60u * 1024);  // 1 KiB/s over a minute
  EXPECT_EQ(saved.rateWindowMs, 60000);
  EXPECT_EQ(saved.stallMs, 60000);
  HttpLimits quick = saved;
  quick.minBytesPerWindow = 20;
  quick.rateWindowMs = 1000;
  SetDownloadLimits(quick);
  const std::string target = sandbox_.cwd() + "/f.bin";
  {
    FaultServer slow(Dribble(100, 40));  // 10 bytes a second
    const auto start = Clock::now();
    EXPECT_EQ(DownloadOnce(slow.base() + "/f", target, nullptr), 2);
    EXPECT_LT(SecondsSince(start), 3.0);
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_TRUE(Logged("download failed(", "timed out: only"));
  }
  {
    FaultServer fast(Dribble(10, 60));  // 100 bytes a second
    EXPECT_EQ(DownloadOnce(fast.base() + "/f", target, nullptr), 0);
    EXPECT_EQ(ReadFileText(target), std::string(60, 'x'));
  }
  SetDownloadLimits(saved);
}

TEST(UrlBytes, RawBytesThatAUrlMayNotHoldAreEncoded) {
  EXPECT_EQ(EncodeUrlBytes("http://h/a b.dll"), "http://h/a%20b.dll");
  EXPECT_EQ(EncodeUrlBytes("http://h/\xe7\xbb\x84.dll"), "http://h/%E7%BB%84.dll");
  EXPECT_EQ(EncodeUrlBytes("http://h/x\ty\x7f"), "http://h/x%09y%7F");
  // Everything else stays as it is, an existing escape included.
  EXPECT_EQ(EncodeUrlBytes("http://h:1/p?q=1&r=%41#f"), "http://h:1/p?q=1&r=%41#f");
}

TEST_F(LimitsTest, NamesWithBlanksAndChineseArriveAtAServerWeDidNotWrite) {
  const std::string served = sandbox_.cwd() + "/served";
  std::filesystem::create_directories(served);
  std::ofstream(served + "/a b.dll") << "blank";
  std::ofstream(served + "/组件.dll") << "chinese";
  ChildProcess python;
  ASSERT_TRUE(python.Start("/usr/bin/env",
                           {"python3", "-u", "-m", "http.server", "--bind", "127.0.0.1", "0"},
                           served, {}));
  int port = 0;
  ASSERT_TRUE(WaitUntil(
      [&] {
        std::string out = python.Output();
        size_t at = out.find(" port ");
        if (at == std::string::npos) return false;
        port = std::atoi(out.c_str() + at + 6);
        return port > 0;
      },
      20000))
      << python.Output();
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  EXPECT_TRUE(DownloadFile(base + "/a b.dll", sandbox_.cwd() + "/a b.dll", nullptr));
  EXPECT_TRUE(DownloadFile(base + "/组件.dll", sandbox_.cwd() + "/组件.dll", nullptr));
  EXPECT_EQ(ReadFileText(sandbox_.cwd() + "/a b.dll"), "blank");
  EXPECT_EQ(ReadFileText(sandbox_.cwd() + "/组件.dll"), "chinese");
  EXPECT_NE(python.Output().find("GET /a%20b.dll"), std::string::npos) << python.Output();
}

TEST_F(LimitsTest, EveryFailedAttemptLogsItsReason) {
  FaultServer notFound(
      [](int fd, const std::string&) { FaultServer::Send(fd, FaultServer::Response(404, "no")); });
  FaultServer cut([](int fd, const std::string&) {
    FaultServer::Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n12345");
  });
  const std::string target = sandbox_.cwd() + "/t.bin";
  struct Case {
    std::string url, target, reason;
  } cases[] = {
      {"ftp://127.0.0.1/x", target, "not an http or https URL"},
      {notFound.base() + "/x", sandbox_.cwd() + "/none/t.bin", "does not exist"},
      {cut.base() + "/x", target, "received 5 bytes of 10"},
      {"http://127.0.0.1:1/x", target, "onnect"},  // the library's text
  };
  for (const Case& c : cases) {
    log_.lines.clear();
    EXPECT_EQ(DownloadOnce(c.url, c.target, nullptr), 1) << c.url;
    EXPECT_TRUE(Logged("download failed(" + c.url + ")", c.reason)) << c.url;
  }
  log_.lines.clear();
  EXPECT_FALSE(DownloadFile(notFound.base() + "/x", target, nullptr));
  EXPECT_TRUE(Logged("download given up after 5 attempts", ""));
  CHttpClient client;
  std::string body;
  EXPECT_EQ(client.Get("http://127.0.0.1:1/x", &body), CHttpClient::Failed);
  EXPECT_TRUE(Logged("request failed(http://127.0.0.1:1/x)", "onnect"));
}

}  // namespace
