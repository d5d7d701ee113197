#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/fakes.h"
#include "tests/fault_server.h"
#include "tests/process_helpers.h"
#include "update/download.h"
#include "update/file_digest.h"
#include "update/manifest.h"

namespace {

// Names in a folder, to see that no temporary file stays behind.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class DownloadTest : public testing::Test {
 protected:
  std::string Target(const std::string& name = "file.bin") { return sandbox_.cwd() + "/" + name; }
  Sandbox sandbox_;
};

TEST_F(DownloadTest, AnswersThatWriteNothing) {
  const std::string body(5000, 'b');
  struct Case {
    const char* name;
    std::string response;
    bool existing;  // a file from an earlier run is at the target
    bool result;
    int requests;
  } cases[] = {
      {"404, no file", FaultServer::Response(404, "missing"), false, false, 5},
      {"404 keeps an earlier file", FaultServer::Response(404, "missing"), true, true, 1},
      {"no length, non-empty body", FaultServer::Response(200, body, false), false, false, 5},
      {"length larger than the body (cut)",
       "HTTP/1.1 200 OK\r\nContent-Length: 10000\r\nConnection: close\r\n\r\n" + body, true, false,
       5},
  };
  for (const Case& c : cases) {
    const std::string target = Target();
    std::filesystem::remove(target);
    if (c.existing) std::ofstream(target) << "earlier";
    FaultServer server([&](int fd, const std::string&) { FaultServer::Send(fd, c.response); });
    RecordingSink sink;
    CBindCallback callback(&sink);
    EXPECT_EQ(DownloadFile(server.base() + "/f", target, &callback), c.result) << c.name;
    EXPECT_EQ(server.requestCount(), c.requests) << c.name;
    if (c.existing) {
      EXPECT_EQ(ReadFileText(target), "earlier") << c.name;
    } else {
      EXPECT_FALSE(std::filesystem::exists(target)) << c.name;
    }
    EXPECT_EQ(Names(sandbox_.cwd()).size(), c.existing ? 1u : 0u) << c.name;
  }
}

TEST_F(DownloadTest, BodyThatDisagreesWithItsLengthIsAFailedAttempt) {
  const std::string body = "0123456789";
  struct Case {
    const char* name;
    std::string head;
    std::string body;
  } cases[] = {
      {"body longer than announced", "Content-Length: 10\r\n", body + "extra"},
      {"length with trailing letters", "Content-Length: 12abc\r\n", body + "ab"},
      {"two different lengths", "Content-Length: 10\r\nContent-Length: 12\r\n", body},
      {"negative length", "Content-Length: -10\r\n", body},
  };
  for (const Case& c : cases) {
    const std::string target = Target();
    std::ofstream(target) << "earlier good file";
    FaultServer server([&](int fd, const std::string&) {
      FaultServer::Send(fd, "HTTP/1.1 200 OK\r\n" + c.head + "Connection: close\r\n\r\n" + c.body);
    });
    EXPECT_FALSE(DownloadFile(server.base() + "/f", target, nullptr)) << c.name;
    EXPECT_EQ(server.requestCount(), 5) << c.name;
    EXPECT_EQ(ReadFileText(target), "earlier good file") << c.name;
    EXPECT_EQ(Names(sandbox_.cwd()), std::vector<std::string>{"file.bin"}) << c.name;
  }
}

TEST_F(DownloadTest, RepeatedEqualLengthsAndAnOpenConnectionStillSucceed) {
  // A server that announces the same length twice and keeps the connection
  // open after the body, although asked to close it.
  FaultServer server([&](int fd, const std::string& head) {
    EXPECT_NE(head.find("Connection: close"), std::string::npos);
    FaultServer::Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nContent-Length:  4\r\n\r\nbody");
    std::this_thread::sleep_for(std::chrono::seconds(3));
  });
  EXPECT_TRUE(DownloadFile(server.base() + "/f", Target(), nullptr));
  EXPECT_EQ(ReadFileText(Target()), "body");
  EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(DownloadTest, WholeBodyReplacesTheTarget) {
  std::string body;
  for (int i = 0; i < 10000; ++i) body += static_cast<char>('a' + i % 26);
  FaultServer server(
      [&](int fd, const std::string&) { FaultServer::Send(fd, FaultServer::Response(200, body)); });
  const std::string target = Target();
  std::ofstream(target) << "older content";
  RecordingSink sink;
  CBindCallback callback(&sink);
  ASSERT_TRUE(DownloadFile(server.base() + "/f", target, &callback));
  EXPECT_EQ(ReadFileText(target), body);
  EXPECT_EQ(server.requestCount(), 1);
  EXPECT_EQ(Names(sandbox_.cwd()), std::vector<std::string>{"file.bin"});
  // Reports of at most 4096 bytes each, ending at 10000 of 10000.
  ASSERT_GE(sink.positions.size(), 3u);
  uint32_t last = 0;
  for (uint32_t p : sink.positions) {
    EXPECT_GT(p, last);
    EXPECT_LE(p - last, 4096u);
    last = p;
  }
  EXPECT_EQ(last, 10000u);
  EXPECT_EQ(sink.currentRange, 10000u);
  EXPECT_EQ(sink.percents.back(), "100.00%");
  EXPECT_EQ(sink.calls[0], "SetCurrentRange(10000)");
}

TEST_F(DownloadTest, EmptyBodyWithoutLengthMakesAnEmptyFile) {
  FaultServer server([](int fd, const std::string&) {
    FaultServer::Send(fd, FaultServer::Response(200, "", false));
  });
  ASSERT_TRUE(DownloadFile(server.base() + "/f", Target(), nullptr));
  EXPECT_TRUE(std::filesystem::exists(Target()));
  EXPECT_EQ(std::filesystem::file_size(Target()), 0u);
}

TEST_F(DownloadTest, ProgressWithoutAnnouncedLengthShowsTheAmount) {
  RecordingSink sink;
  CBindCallback callback(&sink);
  EXPECT_EQ(callback.OnProgress(4096, 0, 0, nullptr), 0);
  EXPECT_EQ(sink.percents, std::vector<std::string>{"4.0 KB"});
  EXPECT_EQ(UnknownLengthProgressText(1536), "1.5 KB");
  callback.OnProgress(4567, 10000, 0, nullptr);
  EXPECT_EQ(sink.percents.back(), "45.67%");
  // Without a sink and with no progress page, reports go nowhere.
  CBindCallback silent;
  EXPECT_EQ(silent.OnProgress(1, 2, 0, nullptr), 0);
}

TEST_F(DownloadTest, RequestsThatAreNeverSent) {
  FaultServer server(
      [](int fd, const std::string&) { FaultServer::Send(fd, FaultServer::Response(200, "x")); });
  const std::string port = std::to_string(server.port());
  EXPECT_FALSE(DownloadFile("ftp://127.0.0.1:" + port + "/f", Target(), nullptr));
  EXPECT_FALSE(DownloadFile("file:///etc/hostname", Target(), nullptr));
  // A target folder that does not exist fails before anything is fetched.
  EXPECT_FALSE(DownloadFile(server.base() + "/f", sandbox_.cwd() + "/no/such/file", nullptr));
  EXPECT_EQ(server.requestCount(), 0);
  EXPECT_FALSE(std::filesystem::exists(Target()));
}

TEST_F(DownloadTest, BodyWithAnotherDigestIsNeverInstalled) {
  FaultServer server([](int fd, const std::string&) {
    FaultServer::Send(fd, FaultServer::Response(200, "tampered"));
  });
  const std::string target = Target();
  std::ofstream(target) << "installed";
  EXPECT_FALSE(DownloadFile(server.base() + "/f", target, nullptr, "9XLTlvrpIGYocU+yzgD3LpTyJY8="));
  EXPECT_EQ(server.requestCount(), 5);
  EXPECT_EQ(ReadFileText(target), "installed");
  EXPECT_EQ(Names(sandbox_.cwd()), std::vector<std::string>{"file.bin"});
  std::ofstream(sandbox_.cwd() + "/probe") << "tampered";
  const std::string right = FileDigest(sandbox_.cwd() + "/probe");
  EXPECT_TRUE(DownloadFile(server.base() + "/f", target, nullptr, right));
  EXPECT_EQ(ReadFileText(target), "tampered");
  EXPECT_TRUE(FileMatchesDigest(target, right));
  EXPECT_FALSE(FileMatchesDigest(sandbox_.cwd() + "/none", ""));
}

TEST_F(DownloadTest, EarlierFileKeptByAnErrorAnswerMustMeetTheDigest) {
  FaultServer server([](int fd, const std::string&) {
    FaultServer::Send(fd, FaultServer::Response(404, "missing"));
  });
  const std::string target = Target();
  std::ofstream(target) << "hello\n";
  EXPECT_TRUE(DownloadFile(server.base() + "/f", target, nullptr, "9XLTlvrpIGYocU+yzgD3LpTyJY8="));
  EXPECT_EQ(server.requestCount(), 1);
  EXPECT_FALSE(DownloadFile(server.base() + "/f", target, nullptr, "2jmj7l5rSw0yVb/vlWAYkK/YBwk="));
  EXPECT_EQ(server.requestCount(), 6);
  EXPECT_EQ(ReadFileText(target), "hello\n");
}

TEST_F(DownloadTest, WriteThatFailsMidwayLeavesTheTargetAsItWas) {
  const std::string body(200000, 'w');
  FaultServer server(
      [&](int fd, const std::string&) { FaultServer::Send(fd, FaultServer::Response(200, body)); });
  const std::string target = Target();
  std::ofstream(target) << "before";
  // In a child process, with files limited to 64 KiB.
  pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{65536, 65536};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(DownloadFile(server.base() + "/f", target, nullptr) ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(ReadFileText(target), "before");
  EXPECT_EQ(Names(sandbox_.cwd()), std::vector<std::string>{"file.bin"});
}

TEST_F(DownloadTest, PublishedReleaseDownloadsFileByFileAndVerifies) {
  const std::string release = sandbox_.cwd() + "/release";
  std::filesystem::create_directories(release + "/Plugins");
  std::ofstream(release + "/WebUI_801.exe") << std::string(70000, 'u');
  std::ofstream(release + "/Plugins/a.dll") << "plugin";
  ChildProcess publish;
  ASSERT_TRUE(publish.Start(BinPath("release-tool"), {"publish", release}, "/", {}));
  ASSERT_EQ(publish.Wait(20000), 0) << publish.Output();
  for (bool https : {false, true}) {
    ChildProcess server;
    std::vector<std::string> args = {"--root", release};
    if (https) args.push_back("--https");
    int port = StartAssistantServer(server, args);
    ASSERT_GT(port, 0) << server.Output();
    const std::string base =
        std::string(https ? "https" : "http") + "://127.0.0.1:" + std::to_string(port);
    const std::string install = sandbox_.cwd() + (https ? "/install-s" : "/install");
    std::filesystem::create_directories(install + "/Plugins");
    for (const char* name : {"Digest.xml", "Digest_801.xml"}) {
      ASSERT_TRUE(DownloadFile(base + "/" + name, install + "/" + name, nullptr));
      ASSERT_TRUE(VerifyManifestSignature(install + "/" + name)) << name;
      ComponentManifest m = LoadManifest(install + "/" + name);
      for (int i = 1; i <= m.EntryCount(); ++i) {
        ManifestEntry e = m.EntryAt(i);
        std::string rel = e.Path.empty() ? e.FileName : e.Path + "/" + e.FileName;
        RecordingSink sink;
        CBindCallback callback(&sink);
        ASSERT_TRUE(DownloadFile(base + "/" + rel, install + "/" + rel, &callback, e.Digest))
            << rel;
        EXPECT_EQ(sink.percents.back(), "100.00%");
      }
    }
    EXPECT_EQ(ReadFileText(install + "/Plugins/a.dll"), "plugin");
    EXPECT_EQ(std::filesystem::file_size(install + "/WebUI_801.exe"), 70000u);
  }
}

}  // namespace
