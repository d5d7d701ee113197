#include "platform/posix/posix_services.h"

namespace platform {

Services NativeServices() {
  static PosixLocations locations;
  static PosixInstanceLock lock;
  static PosixMessageBus bus;
  static PosixFileSystem fileSystem;
  static PosixDiagnosticLog log;
  static PosixProcessExit processExit;
  static PosixProcesses processes;
  static PosixClock clock;
  static PosixIpc ipc;
  static PosixKeyStore keyStore;
  static PosixShell shell;
  static PosixOsInfo osInfo;
  Services s;
  s.locations = &locations;
  s.instanceLock = &lock;
  s.messageBus = &bus;
  s.fileSystem = &fileSystem;
  s.log = &log;
  s.processExit = &processExit;
  s.processes = &processes;
  s.clock = &clock;
  s.ipc = &ipc;
  s.keyStore = &keyStore;
  s.shell = &shell;
  s.osInfo = &osInfo;
  return s;
}

}  // namespace platform
