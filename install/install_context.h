// The install job's shared state: its mode, paths, counters and list of
// files to fetch, and the sink through which it reports.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class ProgressSink;

enum InstallMode : int32_t { Install = 0, Update = 1, Repair = 2 };

struct InstallContext {
  int32_t updateMode = 0;
  std::string allianceCode;
  std::string downloadUrl;
  std::string installDir;
  std::string serverVersion;
  std::string downloadDir;
  int32_t totalSteps = 0;
  int32_t currentStep = 1;
  std::string serverManifestUrls[2];
  std::string downloadManifestCopies[2];
  std::string installedManifestCopies[2];
  InstallMode mode = Install;
  ProgressSink* sink = nullptr;
  std::vector<std::string> updateList;
  // The manifest digest of each updateList item, checked when it arrives.
  std::map<std::string, std::string> updateDigests;
};

// Builds the context of a job from the run settings and the bank profile.
// An empty download location or install folder is taken from the server
// settings an earlier installation left ("ServerURL", "Path"); the derived
// paths are formed after both are settled.
InstallContext MakeInstallContext(InstallMode mode, ProgressSink* sink);
