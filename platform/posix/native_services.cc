#include "platform/posix/posix_services.h"

namespace platform {

Services NativeServices() {
  static PosixLocations locations;
  static PosixInstanceLock lock;
  static PosixMessageBus bus;
  static PosixFileSystem fileSystem;
  static PosixDiagnosticLog log;
  static PosixProcessExit processExit;
  Services s;
  s.locations = &locations;
  s.instanceLock = &lock;
  s.messageBus = &bus;
  s.fileSystem = &fileSystem;
  s.log = &log;
  s.processExit = &processExit;
  return s;
}

}  // namespace platform
