#include "tests/release_fixture.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/bank_profile.h"
#include "app/settings.h"

namespace fs = std::filesystem;

void ReleaseFixture::SetUp() {
  ResetProcessRecords();
  LoadBankProfile();
  release_ = fs::path(sandbox_.root()).parent_path().string() + "/release";
  fs::create_directories(release_);
  InstallStandIns(release_,
                  {"WebUI_801.exe", "TolvanePop_801.exe", "TolvanePop.exe", "uninst_801.exe"});
  PutReleaseFile("Plugins/组件.dll", "plugin 1\n");
  PutReleaseFile("Data/config.ini", "[demo]\nbank=801\n");
  fs::create_directories(sandbox_.root() + "/config/Microsoft/Internet Explorer/Quick Launch");
  Publish();
}

void ReleaseFixture::TearDown() {
  StopServer();
  EndSandboxPrograms();
}

void ReleaseFixture::PutReleaseFile(const std::string& rel, const std::string& content) {
  fs::path p = release_ + "/" + rel;
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << content;
}

void ReleaseFixture::Publish() {
  ChildProcess tool;
  ASSERT_TRUE(tool.Start(BinPath("release-tool"), {"publish", release_}, "/", {}));
  ASSERT_EQ(tool.Wait(30000), 0) << tool.Output();
}

void ReleaseFixture::StartServer(const std::string& version, int update, long long rate) {
  StopServer();
  port_ = StartAssistantServer(
      server_, {"--version", version, "--update", std::to_string(update), "--url",
                "http://127.0.0.1:PORT", "--root", release_, "--rate", std::to_string(rate)});
  ASSERT_GT(port_, 0) << server_.Output();
  sandbox_.WriteFile("serverip.dat", "http://127.0.0.1\n:" + std::to_string(port_) +
                                         "\n/assist/server?reqtype=1&data=\n");
}

void ReleaseFixture::StopServer() {
  if (server_.Running()) {
    server_.Kill(SIGKILL);
    server_.Wait(5000);
  }
}

std::map<std::string, std::string> ReleaseFixture::Env() const {
  return {{"DOWNLOADER_ROOT", sandbox_.root()}, {"DOWNLOADER_UNATTENDED", "1"}};
}

bool ReleaseFixture::StartDownloader(ChildProcess& child, const std::vector<std::string>& args) {
  return child.Start(BinPath("downloader-cli"), args, sandbox_.cwd(), Env());
}

int ReleaseFixture::RunDownloader(const std::vector<std::string>& args, std::string* output) {
  ChildProcess child;
  if (!StartDownloader(child, args)) return -1;
  child.CloseInput();
  int code = child.Wait(90000);
  if (output) *output = child.Output();
  return code;
}

std::string ReleaseFixture::InstallDir() const {
  return sandbox_.root() + "/opt/" + BankProfile.installSubdir;
}

std::vector<std::string> ReleaseFixture::FilesSent() const {
  std::vector<std::string> sent;
  std::string out = server_.Output();
  size_t pos = 0;
  while ((pos = out.find("sending ", pos)) != std::string::npos) {
    size_t end = out.find('\n', pos);
    sent.push_back(out.substr(pos + 8, end - pos - 8));
    pos = end;
  }
  return sent;
}

std::string ReleaseFixture::Reg(const std::string& key, const std::string& value) const {
  ChildProcess tool;
  if (!tool.Start(BinPath("release-tool"), {"reg", key, value}, "/",
                  {{"DOWNLOADER_ROOT", sandbox_.root()}}))
    return {};
  if (tool.Wait(10000) != 0) return {};
  std::string out = tool.Output();
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::map<std::string, std::string> ReleaseFixture::ReleaseFiles() const {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(release_)) {
    if (!e.is_regular_file()) continue;
    std::string rel = fs::relative(e.path(), release_).string();
    if (rel.size() > 4 && rel.compare(rel.size() - 4, 4, ".log") == 0) continue;
    files[rel] = ReadFileText(e.path().string());
  }
  return files;
}

std::vector<std::string> ReleaseFixture::FilesDifferingFromRelease() const {
  std::vector<std::string> differing;
  for (const auto& [rel, bytes] : ReleaseFiles()) {
    std::string installed = InstallDir() + "/" + rel;
    if (!fs::is_regular_file(installed) || ReadFileText(installed) != bytes)
      differing.push_back(rel);
  }
  return differing;
}

void ReleaseFixture::EndSandboxPrograms() const {
  const std::string base = fs::path(sandbox_.root()).parent_path().string() + "/";
  DIR* dir = opendir("/proc");
  if (!dir) return;
  while (dirent* e = readdir(dir)) {
    pid_t pid = static_cast<pid_t>(std::atol(e->d_name));
    if (pid <= 0) continue;
    char link[4096];
    ssize_t n = readlink(("/proc/" + std::string(e->d_name) + "/exe").c_str(), link, sizeof link);
    if (n > 0 && std::string(link, static_cast<size_t>(n)).rfind(base, 0) == 0) kill(pid, SIGKILL);
  }
  closedir(dir);
}
