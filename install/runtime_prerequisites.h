// The vendor runtime library ("VS库") the assistant needs: which of its two
// packages (32-bit and 64-bit) the machine lacks, and fetching and starting
// the missing ones before any component is downloaded.
#pragma once

#include <string>

struct InstallContext;

enum RuntimePackageId { kRuntimeX86 = 0, kRuntimeX64 = 1 };

struct RuntimePackage {
  const char* fileName;      // "vcredist_x86.exe"
  const char* uninstallKey;  // present when this key holds a "Version"
  const char* serverPath;    // path on the vendor's download host
};
const RuntimePackage& RuntimePackageOf(RuntimePackageId id);

// Where the packages come from and the SHA-256 (lower-case hex) their bytes
// must have. Set by the build (VENDOR_DOWNLOAD_HOST, VCREDIST_X86_SHA256,
// VCREDIST_X64_SHA256); tests point them elsewhere. A package without a
// digest is never started.
struct RuntimeSource {
  std::string host;
  std::string sha256[2];
};
RuntimeSource& RuntimeSources();

// 0 when the system is not NT-family or its major version is 4 or below,
// else 1. kind: 1 for versions 6.1 and 6.2, else 0. architecture: 0 for
// x64, 1 otherwise (also when the version is unknown or not 6).
int QueryOsInfo(int* kind, int* architecture);

// needX86, needX64: 1 when that package must be installed. Returns the
// result of QueryOsInfo.
int DetectMissingRuntimes(int* needX86, int* needX64);

// Downloads each needed package (x86 first) into the temporary folder, one
// whole-job step each, and starts the ones whose bytes are the expected ones
// with "/q", without waiting. Failures are shown and passed over. Always 1.
int InstallMissingRuntimes(InstallContext& context, int needX86, int needX64);
