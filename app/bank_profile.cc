#include "app/bank_profile.h"

#include <cstdio>

#include "platform/platform.h"

const std::vector<BankProfileRow>& BankProfileTable() {
  // One row per bank served by this downloader. Only the row of the
  // compiled-in id is used by a build.
  static const std::vector<BankProfileRow> table = {
      {0x103,
       "Aldmere银行",
       "https://ebank.aldmere.example",
       "{1D2250DE-5AF5-4C0C-B49D-C9BE1AEA17DC}",
       {}},
      {0x111, "Bexley银行", "https://ebank.bexley.example", nullptr, {}},
      {0x166, "Calder银行", "https://ebank.calder.example", "Brennic网银助手", {}},
      {0x203, "Dunmore银行", "https://ebank.dunmore.example", nullptr, {}},
      {0x601, "Elsworth银行", "https://ebank.elsworth.example", nullptr, {}},
      {0x602,
       "Fenwick银行",
       "https://ebank.fenwick.example",
       "{1817A34E-7E61-4DCC-85C7-2240CD032D49}",
       {}},
      {0x603, "Garrow银行", "https://ebank.garrow.example", nullptr, {}},
      {0x606, "Halden银行", "https://ebank.halden.example", nullptr, {}},
      {0x610,
       "Ivesby银行",
       "https://ebank.ivesby.example",
       "{142CC0E5-CE24-42B5-9F12-CEE57F15D67E}",
       {}},
      {0x613,
       "Jarrow银行",
       "https://ebank.jarrow.example",
       "{86DC099D-54EC-466A-A0D3-1AC622104B23}",
       {}},
      {0x615,
       "Kestrel银行",
       "https://ebank.kestrel.example",
       "{EE566E35-DC88-4526-8F6A-58BB3584EF79}",
       {}},
      {0x620, "Lindqvist银行", "https://ebank.lindqvist.example", nullptr, {}},
      {0x801,
       "Corvane银行",
       "https://ebank.corvane.example",
       "{6B2F9C1E-47A3-4D85-9E0B-2C71F5A8D394}",
       {}},
      {0x802,
       "Marlow银行",
       "https://ebank.marlow.example",
       "{B025E384-A2D7-47A8-A7EA-AD417AE27427}",
       {"https://ebank.marlow.example", "https://assist1.marlow.example",
        "https://assist2.marlow.example", "https://assist3.marlow.example"}},
      {0x803,
       "Norcastle银行",
       "https://ebank.norcastle.example",
       "{483AA74E-956F-4AAB-B227-F2A44C92658F}",
       {}},
      {0x806,
       "Orrin银行",
       "https://ebank.orrin.example",
       "{293D99A5-F298-4D7A-8249-5BE61A0494EE}",
       {}},
      {0x808,
       "Pellam银行",
       "https://ebank.pellam.example",
       "{F7244A4C-47F7-4F3F-ACA1-481D55B3EA4D}",
       {}},
      {0x809,
       "Quarry银行",
       "https://ebank.quarry.example",
       "{9C1121CD-8474-4935-A199-AFD3FA2B66B3}",
       {}},
      {0x810,
       "Ravensby银行",
       "https://ebank.ravensby.example",
       "{952051BF-B6B3-48EE-9843-FDE69832CD0E}",
       {}},
      {0x811,
       "Selwyn银行",
       "https://ebank.selwyn.example",
       "{72B77D2F-F8FD-47ED-B137-D9E97F28652F}",
       {}},
      {0x812,
       "Thornbury银行",
       "https://ebank.thornbury.example",
       "{67323964-62D0-4880-8443-181E4B019170}",
       {}},
      {0x815,
       "Ulvane银行",
       "https://ebank.ulvane.example",
       "{F19C6EC1-5AF7-45AC-BB68-76A18EBB95EB}",
       {"https://ebank.ulvane.example", "https://assist1.ulvane.example",
        "https://assist2.ulvane.example", "https://assist3.ulvane.example"}},
      {0x816, "Varrick银行", "https://ebank.varrick.example", nullptr, {}},
      {0x817, "Wexcombe银行", "https://ebank.wexcombe.example", nullptr, {}},
      {0x818,
       "Yarrowby银行",
       "https://ebank.yarrowby.example",
       "{26098153-AE08-4A5C-931A-E854445D4615}",
       {}},
      {0x830, "Zennor银行", "https://ebank.zennor.example", nullptr, {}},
      {0x831, "Ashcombe银行", "https://ebank.ashcombe.example", "Ostrel网银助手", {}},
      {0x861, "Brackley银行", "https://ebank.brackley.example", "Brennic网银助手", {}},
      {0x866, "Coldwell银行", "https://ebank.coldwell.example", "Brennic网银助手", {}},
      {0x867,
       "Draymoor银行",
       "https://ebank.draymoor.example",
       nullptr,
       {"https://ebank.draymoor.example", "https://assist1.draymoor.example",
        "https://assist2.draymoor.example", "https://assist3.draymoor.example"}},
  };
  return table;
}

const BankProfileRow* FindBankProfileRow(uint32_t bankId) {
  for (const BankProfileRow& row : BankProfileTable()) {
    if (row.bankId == bankId) return &row;
  }
  return nullptr;
}

std::string BankExeSuffix(uint32_t bankId) {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "_%03x.exe", bankId);
  return suffix;
}

void LoadBankProfileFor(uint32_t bankId) {
  BankProfile.legacyProductKey.clear();
  BankProfile.bankId = bankId;
  BankProfile.allianceCode = "NAVRO";
  const std::string suffix = BankExeSuffix(bankId);

  std::string name;
  if (const BankProfileRow* row = FindBankProfileRow(bankId)) {
    name = row->displayName;
    g_downloadpath.ip = row->siteUrl;
    for (const char* url : row->serverUrls) g_downloadpath.serverUrls.push_back(url);
    if (row->legacyProductKey) BankProfile.legacyProductKey = row->legacyProductKey;
  }

  RunSettings.uninstallerExeName = "uninst" + suffix;
  RunSettings.webUiExeName = "WebUI" + suffix;
  RunSettings.assistantExeName = "harbinet" + suffix;

  BankProfile.iconId = 181;
  BankProfile.queryImageId = 174;
  BankProfile.welcomeImageId = 175;
  BankProfile.optionsImageId = 176;
  BankProfile.progressImageId = 177;
  BankProfile.progressAltImageId = 178;
  BankProfile.updateImageId = 180;
  BankProfile.reinstallImageId = 184;

  windowTitle = name + "网银助手下载器";
  BankProfile.downloaderTitle = name + "网银助手下载器";
  BankProfile.assistantName = name + "网银助手";
  BankProfile.installSubdir = name + "网上银行安全组件" + platform::kPathSep + name + "网银助手";
}

void LoadBankProfile() { LoadBankProfileFor(kCompiledBankId); }
