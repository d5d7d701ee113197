// What the downloader needs of the operating system, as small interfaces.
// The logic calls these and never the system directly, so tests can swap any
// service for a fake and another system can bring its own implementation.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Separator used when paths are joined by concatenation.
inline constexpr char kPathSep = '/';

// Machine-wide and per-user locations. With DOWNLOADER_ROOT set, every one of
// them lies below that folder, so nothing outside it is touched.
class Locations {
 public:
  virtual ~Locations() = default;
  // Folder for locks, broadcast sockets and pipes; created (mode 0700) on demand.
  virtual std::string RuntimeDir() = 0;
  // The temporary folder (holds the diagnostic log).
  virtual std::string TempDir() = 0;
  // Where programs are installed ("Program Files").
  virtual std::string ProgramFilesDir() = 0;
  // Per-user application data.
  virtual std::string AppDataDir() = 0;
};

// A named lock shared by all processes of the user, held until the process ends.
class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
  // Takes the lock of that name. Returns false when another live process
  // already holds it. A lock left by a process that died is free again.
  virtual bool Acquire(const std::string& name) = 0;
};

// A message received from the broadcast channel.
struct BroadcastMessage {
  uint32_t id = 0;
  uint64_t wParam = 0;
  int64_t lParam = 0;
};

// Stops delivery when destroyed.
class BroadcastListener {
 public:
  virtual ~BroadcastListener() = default;
};

// Registered messages: every process that registers the same name gets the
// same non-zero id, and a broadcast reaches every process listening on it.
class MessageBus {
 public:
  virtual ~MessageBus() = default;
  // Returns the id of the named message, 0 when it cannot be registered.
  virtual uint32_t Register(const std::string& name) = 0;
  // Posts the message to every listener of a registered id; does not wait.
  virtual void Broadcast(uint32_t id, uint64_t wParam, int64_t lParam) = 0;
  // Delivers every message posted to `id` to `handler`, on a thread of its
  // own, for as long as the returned object lives. Null when the id is not
  // registered or no listening endpoint can be made.
  virtual std::unique_ptr<BroadcastListener> Listen(
      uint32_t id, std::function<void(const BroadcastMessage&)> handler) = 0;
};

// One entry of a folder listing.
struct FolderEntry {
  std::string name;
  bool isFolder = false;
};

// Files and folders. Operations that fail report the system's error code.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual bool IsFolder(const std::string& path) = 0;
  // True for any existing file or folder.
  virtual bool Exists(const std::string& path) = 0;
  // Creates one folder (not its parents).
  virtual bool CreateFolder(const std::string& path, int* error) = 0;
  virtual bool DeleteFile(const std::string& path) = 0;
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  // The entries of a folder, "." and ".." included as the system lists them.
  // False when the folder cannot be listed.
  virtual bool ListFolder(const std::string& path, std::vector<FolderEntry>* entries) = 0;
  // Copies a file over an existing one.
  virtual bool CopyFile(const std::string& from, const std::string& to, int* error) = 0;
};

// Diagnostic lines (the debugger output of the original system).
class DiagnosticLog {
 public:
  virtual ~DiagnosticLog() = default;
  virtual void Write(const std::string& line) = 0;
};

// Ending the process.
class ProcessExit {
 public:
  virtual ~ProcessExit() = default;
  // Ends at once: no exit handlers, no destructors.
  [[noreturn]] virtual void Immediate(int code) = 0;
  // Ends through the C runtime's exit (exit handlers run).
  [[noreturn]] virtual void Normal(int code) = 0;
};

// The services in use. Starts with the native implementations; tests may
// replace single members and restore them afterwards.
struct Services {
  Locations* locations = nullptr;
  InstanceLock* instanceLock = nullptr;
  MessageBus* messageBus = nullptr;
  FileSystem* fileSystem = nullptr;
  DiagnosticLog* log = nullptr;
  ProcessExit* processExit = nullptr;
};

Services& Sys();
// The native implementations of this system.
Services NativeServices();

// Shorthand for Sys().log->Write(line).
void Debug(const std::string& line);

// Environment variable, or empty text when unset.
std::string GetEnv(const char* name);

}  // namespace platform
