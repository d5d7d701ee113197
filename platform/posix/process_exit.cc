#include <cstdio>
#include <cstdlib>

#include "platform/posix/posix_services.h"

namespace platform {

void PosixProcessExit::Immediate(int code) {
  // The log is written unbuffered; flush what the front end printed. Only the
  // output streams: another thread may be blocked reading standard input
  // while holding its lock.
  std::fflush(stdout);
  std::fflush(stderr);
  _Exit(code);
}

void PosixProcessExit::Normal(int code) { std::exit(code); }

}  // namespace platform
