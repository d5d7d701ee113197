// Locations on Linux. DOWNLOADER_ROOT moves every one of them below a
// sandbox folder; without it the usual XDG and system folders are used.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/posix_services.h"

namespace platform {
namespace {

// Creates every missing folder of an absolute path; true when it exists afterwards.
bool MakeDirs(const std::string& path, mode_t mode) {
  std::string cur;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    cur = path.substr(0, next);
    if (!cur.empty() && mkdir(cur.c_str(), mode) != 0 && errno != EEXIST) return false;
    pos = next + 1;
  }
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string SandboxRoot() { return GetEnv("DOWNLOADER_ROOT"); }

std::string EnvOr(const char* name, const std::string& fallback) {
  std::string v = GetEnv(name);
  return v.empty() ? fallback : v;
}

}  // namespace

std::string PosixLocations::RuntimeDir() {
  std::string dir;
  std::string root = SandboxRoot();
  if (!root.empty()) {
    dir = root + "/run";
  } else {
    std::string xdg = GetEnv("XDG_RUNTIME_DIR");
    dir = xdg.empty() ? TempDir() + "/downloader-runtime-" + std::to_string(getuid())
                      : xdg + "/downloader";
  }
  MakeDirs(dir, 0700);
  return dir;
}

std::string PosixLocations::TempDir() {
  std::string root = SandboxRoot();
  if (!root.empty()) {
    MakeDirs(root + "/tmp", 0700);
    return root + "/tmp";
  }
  return EnvOr("TMPDIR", "/tmp");
}

std::string PosixLocations::ProgramFilesDir() {
  std::string root = SandboxRoot();
  return root.empty() ? "/opt" : root + "/opt";
}

std::string PosixLocations::AppDataDir() {
  std::string root = SandboxRoot();
  if (!root.empty()) return root + "/config";
  return EnvOr("XDG_CONFIG_HOME", EnvOr("HOME", "/tmp") + "/.config");
}

}  // namespace platform
