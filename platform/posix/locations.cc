// Locations on Linux. DOWNLOADER_ROOT moves every one of them below a
// sandbox folder; without it the usual XDG and system folders are used.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/posix/posix_services.h"

namespace platform {

bool MakeFolders(const std::string& path, unsigned mode) {
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    std::string cur = path.substr(0, next);
    if (!cur.empty() && mkdir(cur.c_str(), mode) != 0 && errno != EEXIST) return false;
    pos = next + 1;
  }
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

std::string SandboxRoot() { return GetEnv("DOWNLOADER_ROOT"); }

std::string EnvOr(const char* name, const std::string& fallback) {
  std::string v = GetEnv(name);
  return v.empty() ? fallback : v;
}

// Why a runtime folder cannot be trusted, or empty when it can: it must be
// a real folder (not a link), owned by this user, and closed to everyone
// else, so that no other user can hold our lock, see our sockets or plant
// links in it.
std::string DistrustOf(const std::string& dir) {
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0) return "it cannot be created";
  if (S_ISLNK(st.st_mode)) return "it is a link";
  if (!S_ISDIR(st.st_mode)) return "it is not a folder";
  if (st.st_uid != geteuid())
    return "it belongs to user " + std::to_string(st.st_uid) + ", not to us";
  if ((st.st_mode & 077) != 0) {
    char mode[16];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return std::string("other users have access to it (mode ") + mode + ")";
  }
  return {};
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
  MakeFolders(dir, 0700);
  std::string why = DistrustOf(dir);
  if (why.empty()) return dir;
  // Said once per process; every user of the folder then finds it empty.
  static std::atomic<bool> told{false};
  if (!told.exchange(true)) {
    std::string line = "runtime folder refused(" + dir + "): " + why;
    Debug(line);
    if (GetEnv("DOWNLOADER_DEBUG") != "1") std::fprintf(stderr, "%s\n", line.c_str());
  }
  return {};
}

std::string PosixLocations::TempDir() {
  std::string root = SandboxRoot();
  if (!root.empty()) {
    MakeFolders(root + "/tmp", 0700);
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

std::string PosixLocations::MachineConfigDir() {
  std::string root = SandboxRoot();
  return root.empty() ? "/etc" : root + "/etc";
}

// "C:\Program Files\X" becomes <root>/drive_c/Program Files/X in a sandbox,
// and /Program Files/X outside one (a path no Linux system has, so such a
// file is simply not found).
std::string PosixLocations::FromWindowsPath(const std::string& windowsPath) {
  const std::string& w = windowsPath;
  bool drive = w.size() >= 3 && std::isalpha(static_cast<unsigned char>(w[0])) && w[1] == ':' &&
               w[2] == '\\';
  if (!drive) return w;
  std::string rest = w.substr(2);
  for (char& c : rest)
    if (c == '\\') c = '/';
  std::string root = SandboxRoot();
  if (root.empty()) return rest;
  return root + "/drive_" + static_cast<char>(std::tolower(static_cast<unsigned char>(w[0]))) +
         rest;
}

OsFacts PosixOsInfo::Query() {
  OsFacts facts;
  facts.versionKnown = true;
  facts.platformId = kPlatformWin32Nt;
  facts.majorVersion = 6;
  facts.minorVersion = 1;
  facts.processorArchitecture = kArchitectureAmd64;
  return facts;
}

}  // namespace platform
