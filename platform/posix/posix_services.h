// The Linux implementations of the platform services.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "platform/platform.h"

namespace platform {

class PosixLocations : public Locations {
 public:
  std::string RuntimeDir() override;
  std::string TempDir() override;
  std::string ProgramFilesDir() override;
  std::string AppDataDir() override;
  std::string MachineConfigDir() override;
  std::string FromWindowsPath(const std::string& windowsPath) override;
};

// flock() on a file of the lock's name in the runtime folder. The file
// descriptor stays open (and is not inherited by child processes) until the
// process ends, which releases the lock even when the process is killed.
class PosixInstanceLock : public InstanceLock {
 public:
  bool Acquire(const std::string& name) override;
};

// A folder named after the message in the runtime folder holds one Unix
// datagram socket per listener. A broadcast sends the message to every socket
// there and removes the ones nobody listens on any more.
class PosixMessageBus : public MessageBus {
 public:
  uint32_t Register(const std::string& name) override;
  void Broadcast(uint32_t id, uint64_t wParam, int64_t lParam) override;
  std::unique_ptr<BroadcastListener> Listen(
      uint32_t id, std::function<void(const BroadcastMessage&)> handler) override;

 private:
  std::string FolderOf(uint32_t id);
  std::mutex mutex_;
  std::map<uint32_t, std::string> names_;
};

class PosixFileSystem : public FileSystem {
 public:
  bool IsFolder(const std::string& path) override;
  bool IsLink(const std::string& path) override;
  bool Exists(const std::string& path) override;
  bool CreateFolder(const std::string& path, int* error) override;
  bool RemoveEmptyFolder(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;
  bool Rename(const std::string& from, const std::string& to) override;
  bool ReplaceFile(const std::string& from, const std::string& to, int* error) override;
  bool ListFolder(const std::string& path, std::vector<FolderEntry>* entries) override;
  bool CopyFile(const std::string& from, const std::string& to, int* error) override;
  std::unique_ptr<InputFile> OpenForReading(const std::string& path) override;
  bool ReadSmallFile(const std::string& path, size_t maxBytes, std::string* content,
                     std::string* why) override;
  std::unique_ptr<OutputFile> CreateNewFile(const std::string& path, bool executable,
                                            int* error) override;
  std::unique_ptr<FileLock> TryLockFile(const std::string& path) override;
  bool SameVolume(const std::string& a, const std::string& b) override;
  DriveKind GetDriveKind(const std::string& path) override;
};

// Appends each line to downloader.log in the temporary folder, and to
// standard error when DOWNLOADER_DEBUG=1.
class PosixDiagnosticLog : public DiagnosticLog {
 public:
  void Write(const std::string& line) override;
};

class PosixProcessExit : public ProcessExit {
 public:
  [[noreturn]] void Immediate(int code) override;
  [[noreturn]] void Normal(int code) override;
};

// The process list from /proc (the executable's base name, or the kernel's
// short name when the executable cannot be read); terminate is SIGKILL;
// programs start with posix_spawn in a session of their own, their output
// going nowhere, with DOWNLOADER_SHOW=shown or hidden in their environment.
class PosixProcesses : public Processes {
 public:
  std::vector<ProcessEntry> List() override;
  bool Terminate(int64_t id, uint32_t exitCode) override;
  void WaitForExit(int64_t id) override;
  bool Start(const std::string& program, const std::string& parameters, ShowMode show,
             bool waitForExit) override;
  std::string OwnExecutablePath() override;
};

class PosixClock : public Clock {
 public:
  void SleepMs(uint32_t ms) override;
};

class PosixIpc : public Ipc {
 public:
  std::unique_ptr<PipeWriter> OpenPipe(const std::string& pipeName) override;
  std::unique_ptr<PipeReader> ServePipe(const std::string& pipeName) override;
  std::unique_ptr<NamedEvent> CreateEvent(const std::string& name) override;
  int WaitForAny(const std::vector<NamedEvent*>& events, uint32_t timeoutMs) override;
};

class PosixKeyStore : public KeyStore {
 public:
  std::unique_ptr<RegistryKey> CreateKey(const std::string& path, KeyView view,
                                         int* error) override;
  std::unique_ptr<RegistryKey> OpenKey(const std::string& path, KeyView view) override;
  std::vector<KeyStoreValue> ListAll() override;
};

// Reports the facts of a system whose runtime library is its own: NT 6.1
// on x64, for which no vendor runtime package is needed.
class PosixOsInfo : public OsInfo {
 public:
  OsFacts Query() override;
};

class PosixShell : public Shell {
 public:
  bool GetSpecialFolder(SpecialFolder folder, std::string* path) override;
  bool SaveShortcut(const std::string& linkPath, const std::string& target) override;
  void NotifyFolderCreated(const std::string& folder, const std::string& parent) override;
};

// Creates every missing folder of an absolute path with the given mode;
// true when it is a folder afterwards.
bool MakeFolders(const std::string& path, unsigned mode);

}  // namespace platform
