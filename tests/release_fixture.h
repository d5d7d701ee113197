// A whole installation in a sandbox: a release holding the assistant
// stand-ins, published and signed with release-tool, served by
// assistant-server, and the real downloader-cli run against it.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/process_helpers.h"

class ReleaseFixture : public testing::Test {
 public:
  void SetUp() override;
  void TearDown() override;

  // Writes a file of the release (relative path, "/" between levels).
  void PutReleaseFile(const std::string& rel, const std::string& content);
  // Publishes the release: both manifests, signed.
  void Publish();
  // Starts the server with the answer's version and update instruction,
  // and points the downloader at it. rate: bytes per second of each file.
  void StartServer(const std::string& version, int update, long long rate = 0);
  void StopServer();
  // Runs downloader-cli unattended with args; its exit code (-1 on time-out).
  int RunDownloader(const std::vector<std::string>& args, std::string* output = nullptr);
  // Starts downloader-cli without waiting for it.
  bool StartDownloader(ChildProcess& child, const std::vector<std::string>& args);

  std::string InstallDir() const;
  // The paths of the files the server sent, in order ("/Plugins/a.dll").
  std::vector<std::string> FilesSent() const;
  // A key-store value through release-tool; empty when missing.
  std::string Reg(const std::string& key, const std::string& value) const;
  // The release's files (relative paths) and their bytes.
  std::map<std::string, std::string> ReleaseFiles() const;
  // Each release file that the install folder does not hold byte for byte.
  std::vector<std::string> FilesDifferingFromRelease() const;
  // Ends every program running from below the sandbox.
  void EndSandboxPrograms() const;
  std::map<std::string, std::string> Env() const;

  Sandbox sandbox_;
  std::string release_;
  ChildProcess server_;
  int port_ = 0;
};

inline constexpr const char* kSettingsKey = "Software\\Vaultrel\\WebUI\\NAVRO\\801";
