// Fakes and helpers shared by the tests of the install steps: a process
// table that records what is ended and started, a loopback file server, and
// signed manifests and digests of test bodies.
#pragma once

#include <openssl/evp.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/fault_server.h"
#include "tests/process_helpers.h"
#include "tools/manifest_signing.h"
#include "update/file_digest.h"
#include "update/manifest.h"

// What happened, in order, across threads: "kill <name>" from the process
// table, "GET <path>" from the file server, "start <program> <parameters>".
class Timeline {
 public:
  void Add(const std::string& event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(event);
  }
  std::vector<std::string> events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> events_;
};

// A process table in memory. Terminate removes the process and notes
// "kill <name>"; Start records the call and returns startResult.
class FakeProcesses : public platform::Processes {
 public:
  struct Started {
    std::string program;
    std::string parameters;
    platform::ShowMode show;
    bool waitForExit;
  };

  explicit FakeProcesses(Timeline* timeline) : timeline_(timeline) {}

  void Run(const std::string& exeName) { running_.push_back({nextId_++, exeName}); }
  bool IsRunning(const std::string& exeName) const {
    for (const platform::ProcessEntry& p : running_)
      if (p.exeName == exeName) return true;
    return false;
  }

  std::vector<platform::ProcessEntry> List() override { return running_; }
  bool Terminate(int64_t id, uint32_t) override {
    for (auto it = running_.begin(); it != running_.end(); ++it) {
      if (it->id != id) continue;
      timeline_->Add("kill " + it->exeName);
      running_.erase(it);
      return true;
    }
    return false;
  }
  void WaitForExit(int64_t) override {}
  bool Start(const std::string& program, const std::string& parameters, platform::ShowMode show,
             bool waitForExit) override {
    started.push_back({program, parameters, show, waitForExit});
    timeline_->Add("start " + program + " " + parameters);
    if (onStart) onStart(started.back());
    return startResult;
  }
  std::string OwnExecutablePath() override { return ownPath; }

  std::vector<Started> started;
  // Runs inside Start, to look at the files as the started program would.
  std::function<void(const Started&)> onStart;
  bool startResult = true;
  std::string ownPath = "/usr/local/bin/downloader-cli";

 private:
  Timeline* timeline_;
  int64_t nextId_ = 100;
  std::vector<platform::ProcessEntry> running_;
};

// Serves bodies by request path on loopback; anything else is 404. Runs of
// "/" in a path are looked up as one, as web servers do; each request is
// noted as it came, "GET <path>", on the timeline.
class FileServer {
 public:
  explicit FileServer(Timeline* timeline)
      : timeline_(timeline),
        server_([this](int fd, const std::string& head) { Answer(fd, head); }) {}

  std::string base() const { return server_.base(); }
  void Put(const std::string& path, const std::string& body) {
    std::lock_guard<std::mutex> lock(mutex_);
    files_[Squeezed(path)] = body;
  }
  // Request paths in the order they came.
  std::vector<std::string> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  static std::string Squeezed(const std::string& path) {
    std::string out;
    for (char ch : path)
      if (ch != '/' || out.empty() || out.back() != '/') out += ch;
    return out;
  }
  void Answer(int fd, const std::string& head) {
    // "GET <path> HTTP/1.1"
    size_t from = head.find(' ') + 1;
    std::string path = head.substr(from, head.find(' ', from) - from);
    std::string response = FaultServer::Response(404, "missing");
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(path);
      auto it = files_.find(Squeezed(path));
      if (it != files_.end()) response = FaultServer::Response(200, it->second);
    }
    timeline_->Add("GET " + path);
    FaultServer::Send(fd, response);
  }

  Timeline* timeline_;
  std::mutex mutex_;
  std::map<std::string, std::string> files_;
  std::vector<std::string> requests_;
  FaultServer server_;  // last: stops before the members its handler uses go
};

// The manifest digest of a body: Base64 of its SHA-1.
inline std::string DigestOf(const std::string& body) {
  unsigned char sha[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(body.data(), body.size(), sha, &length, EVP_sha1(), nullptr);
  return Base64(sha, length);
}

// Lower-case hex SHA-256 of a body.
inline std::string Sha256Of(const std::string& body) {
  unsigned char sha[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(body.data(), body.size(), sha, &length, EVP_sha256(), nullptr);
  std::string hex;
  char pair[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", sha[i]);
    hex += pair;
  }
  return hex;
}

// The manifest text of the entries, signed with the development key the
// tests are built with.
inline std::string SignedManifest(const std::vector<ManifestEntry>& entries) {
  const std::string pem =
      ReadFileText(std::string(TEST_SOURCE_DIR) + "/assets/keys/dev/manifest-private.pem");
  std::string text, error;
  if (!SignManifestText(ManifestDocument(entries), pem, &text, &error)) return {};
  return text;
}

// Writes a file, making its folders.
inline void PutFile(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// Every path below folder whose file name is name.
inline std::vector<std::string> FindNamed(const std::string& folder, const std::string& name) {
  std::vector<std::string> found;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
    if (e.path().filename() == name) found.push_back(e.path().string());
  return found;
}
