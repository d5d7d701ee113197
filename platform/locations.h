// Machine-wide and per-user locations. With DOWNLOADER_ROOT set, every one
// of them lies below that folder, so nothing outside it is touched.
#pragma once

#include <string>

namespace platform {

// Separator used when paths are joined by concatenation.
inline constexpr char kPathSep = '/';

// The folder part of a path: everything before its last separator ("." when
// there is none, the separator itself for a path directly below the root).
std::string ParentFolder(const std::string& path);

class Locations {
 public:
  virtual ~Locations() = default;
  // Folder for locks, broadcast sockets and pipes, private to this user;
  // created (mode 0700) on demand. Empty when no safe folder can be had
  // (one that another user owns or may write to is refused, with the reason
  // in the log and on standard error).
  virtual std::string RuntimeDir() = 0;
  // The temporary folder (holds the diagnostic log).
  virtual std::string TempDir() = 0;
  // Where programs are installed ("Program Files").
  virtual std::string ProgramFilesDir() = 0;
  // Per-user application data.
  virtual std::string AppDataDir() = 0;
  // The machine's configuration folder (holds the key store).
  virtual std::string MachineConfigDir() = 0;
  // The local path of a fixed Windows path such as "C:\Program Files\X\a.exe"
  // (a drive letter, a colon, "\"-separated folders). Other texts are
  // returned as they are.
  virtual std::string FromWindowsPath(const std::string& windowsPath) = 0;
};

}  // namespace platform
