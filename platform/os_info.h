// The operating-system facts that decide which vendor runtime packages an
// installation needs: the system's platform id, version and processor
// architecture, as GetVersionEx and GetNativeSystemInfo report them on
// Windows.
#pragma once

#include <cstdint>

namespace platform {

inline constexpr uint32_t kPlatformWin32Nt = 2;  // VER_PLATFORM_WIN32_NT
inline constexpr uint16_t kArchitectureIntel = 0;
inline constexpr uint16_t kArchitectureAmd64 = 9;

struct OsFacts {
  bool versionKnown = false;  // false: the version query failed
  uint32_t platformId = 0;
  uint32_t majorVersion = 0;
  uint32_t minorVersion = 0;
  uint16_t processorArchitecture = 0;
};

class OsInfo {
 public:
  virtual ~OsInfo() = default;
  virtual OsFacts Query() = 0;
};

}  // namespace platform
