#include <cstdlib>

#include "platform/posix/posix_services.h"

namespace platform {

Services NativeServices() {
  static PosixLocations locations;
  static PosixInstanceLock lock;
  static PosixMessageBus bus;
  static PosixFileSystem fileSystem;
  static PosixDiagnosticLog log;
  static PosixProcessExit processExit;
  return Services{&locations, &lock, &bus, &fileSystem, &log, &processExit};
}

Services& Sys() {
  static Services services = NativeServices();
  return services;
}

void Debug(const std::string& line) { Sys().log->Write(line); }

std::string GetEnv(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

}  // namespace platform
