// The services registry: every operating-system facility the logic uses,
// reached through Sys(). It starts with the native implementations; tests
// may replace single members and restore them afterwards.
#pragma once

#include <string>

namespace platform {

class Locations;
class InstanceLock;
class MessageBus;
class FileSystem;
class DiagnosticLog;
class ProcessExit;
class Dialogs;
class Processes;
class Clock;
class Ipc;
class KeyStore;
class Shell;
class OsInfo;

struct Services {
  Locations* locations = nullptr;
  InstanceLock* instanceLock = nullptr;
  MessageBus* messageBus = nullptr;
  FileSystem* fileSystem = nullptr;
  DiagnosticLog* log = nullptr;
  ProcessExit* processExit = nullptr;
  // Message boxes and questions; the front end sets its own.
  Dialogs* dialogs = nullptr;
  Processes* processes = nullptr;
  Clock* clock = nullptr;
  Ipc* ipc = nullptr;
  KeyStore* keyStore = nullptr;
  Shell* shell = nullptr;
  OsInfo* osInfo = nullptr;
};

Services& Sys();
// The native implementations of this system (one file per system).
Services NativeServices();

// Writes one diagnostic line. Control characters are escaped and an overlong
// line is cut (its full length noted), so no value can forge log lines.
void Debug(const std::string& line);

// Environment variable, or empty text when unset.
std::string GetEnv(const char* name);

}  // namespace platform
