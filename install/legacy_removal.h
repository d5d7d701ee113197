// Before a first installation: the silent removal of the older assistant a
// bank's customers may still have, chosen by the bank id.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ProgressSink;

struct LegacyRemovalRecipe {
  std::string statusText;                 // "卸载Lumaro老版助手"
  std::string processToKill;              // empty: none
  std::vector<std::string> uninstallers;  // Windows paths, the first existing one runs
  std::string parameters;                 // "/S"
  bool installerService = false;          // removed by product code through msiexec.exe
};

// The recipe for a bank id.
LegacyRemovalRecipe LegacyRecipeFor(uint32_t bankId, const std::string& legacyProductKey);

// Runs the recipe of the compiled-in bank when it has a legacy product key,
// showing its status text. The uninstallers are started hidden and waited
// for; the downloader's own file in the current folder is parked as
// "Orvupdate.exe" meanwhile and comes back as assistantExeName. Always true.
bool RemoveLegacyAssistant(ProgressSink* sink);
