// The compiled-in bank profile table and the step that loads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/settings.h"

// One row of the profile table.
struct BankProfileRow {
  uint32_t bankId;
  const char* displayName;
  const char* siteUrl;
  const char* legacyProductKey;         // null when the row has none
  std::vector<const char*> serverUrls;  // empty, or exactly four entries
};

// The bank id this program was built for (set per executable by the build).
extern const uint32_t kCompiledBankId;

const std::vector<BankProfileRow>& BankProfileTable();
// The row of an id, or null when the table has none.
const BankProfileRow* FindBankProfileRow(uint32_t bankId);

// Fills BankProfile, windowTitle, g_downloadpath.ip and .serverUrls and the
// three program names of RunSettings from the row of the compiled-in id.
void LoadBankProfile();
// The same for a given id (an id without a row gives empty name texts).
void LoadBankProfileFor(uint32_t bankId);

// "_%03x.exe" of a bank id.
std::string BankExeSuffix(uint32_t bankId);
