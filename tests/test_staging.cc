// Partial download bodies wait outside the folders the install steps look
// at, and what an interrupted run left there is removed by the next one.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>

#include "platform/platform.h"
#include "tests/fakes.h"
#include "tests/fault_server.h"
#include "tests/process_helpers.h"
#include "update/download.h"
#include "update/download_staging.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Files below a folder, at any depth.
int FilesBelow(const std::string& folder) {
  int n = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::end(it);
       it.increment(ec))
    if (it->is_regular_file()) ++n;
  return n;
}

TEST(Staging, InterruptedDownloadsLeaveNothingInTheTargetFolderAndAreSweptLater) {
  Sandbox sandbox;
  FaultServer* self = nullptr;
  FaultServer server([&](int fd, const std::string& head) {
    if (head.find("GET /whole") == 0) {
      FaultServer::Send(fd, FaultServer::Response(200, "whole"));
      return;
    }
    FaultServer::Send(
        fd, "HTTP/1.1 200 OK\r\nContent-Length: 200000\r\n\r\n" + std::string(100000, 'p'));
    self->Stall();
  });
  self = &server;
  const std::string folder = sandbox.cwd() + "/DownLoad";
  fs::create_directories(folder);
  std::ofstream(folder + "/a.dll") << "earlier";
  const std::string staging = sandbox.root() + "/tmp/downloader-staging";
  const std::map<std::string, std::string> env = {{"DOWNLOADER_ROOT", sandbox.root()}};
  for (int signal : {SIGKILL, SIGTERM}) {
    ChildProcess fetch;
    ASSERT_TRUE(fetch.Start(BinPath("release-tool"),
                            {"fetch", server.base() + "/part", folder + "/a.dll"}, "/", env));
    // Killed while the body is half in.
    const std::string run = staging + "/run-" + std::to_string(fetch.pid());
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(run) && FilesBelow(run) >= 2; }, 20000))
        << fetch.Output();
    fetch.Kill(signal);
    EXPECT_EQ(fetch.Wait(10000), 128 + signal);
    EXPECT_EQ(Names(folder), std::vector<std::string>{"a.dll"});
    EXPECT_EQ(ReadFileText(folder + "/a.dll"), "earlier");
    EXPECT_TRUE(fs::exists(run));
  }
  // The next run removes both runs' leftovers, and itself leaves nothing.
  ChildProcess next;
  ASSERT_TRUE(next.Start(BinPath("release-tool"),
                         {"fetch", server.base() + "/whole", folder + "/b.dll"}, "/", env));
  ASSERT_EQ(next.Wait(20000), 0) << next.Output();
  EXPECT_EQ(ReadFileText(folder + "/b.dll"), "whole");
  EXPECT_FALSE(fs::exists(staging)) << (fs::exists(staging) ? Names(staging).size() : 0);
}

TEST(Staging, ConfiguredRootIsUsedAndALiveRunIsNeverSwept) {
  Sandbox sandbox;
  ScopedServices scope;
  RecordingLog log;
  platform::Sys().log = &log;
  const std::string install = sandbox.cwd() + "/inst";
  fs::create_directories(install);
  const std::string root = install + ".staging";
  SetStagingRoot(root);
  // A run folder whose lock is held by a live run (here: by this test).
  fs::create_directories(root + "/run-1");
  auto held = platform::Sys().fileSystem->TryLockFile(root + "/run-1/.lock");
  ASSERT_TRUE(held);
  std::ofstream(root + "/run-1/0.part") << "in use";
  // One left by a killed run: nobody holds its lock.
  fs::create_directories(root + "/run-2");
  std::ofstream(root + "/run-2/0.part") << "left over";
  {
    int error = 0;
    auto body = StagedBody::Create(install + "/x.dll", false, &error);
    ASSERT_TRUE(body);
    EXPECT_EQ(body->path().rfind(root + "/run-", 0), 0u) << body->path();
    EXPECT_FALSE(fs::exists(root + "/run-2"));
    EXPECT_TRUE(fs::exists(root + "/run-1/0.part"));
    ASSERT_TRUE(body->Write("new", 3, &error));
    ASSERT_TRUE(body->Commit(install + "/x.dll", &error));
  }
  EXPECT_EQ(ReadFileText(install + "/x.dll"), "new");
  EXPECT_EQ(Names(root), std::vector<std::string>{"run-1"});
  SetStagingRoot("");
}

TEST(Staging, NamesNearTheFileSystemLimitStillDownload) {
  Sandbox sandbox;
  FaultServer server([](int fd, const std::string&) {
    FaultServer::Send(fd, FaultServer::Response(200, "long"));
  });
  for (size_t length : {245u, 250u, 255u}) {
    const std::string name = std::string(length - 4, 'n') + ".dll";
    const std::string target = sandbox.cwd() + "/" + name;
    EXPECT_TRUE(DownloadFile(server.base() + "/" + name, target, nullptr)) << length;
    EXPECT_EQ(ReadFileText(target), "long");
  }
}

}  // namespace
