#include <gtest/gtest.h>

#include <set>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "platform/platform.h"

namespace {

class BankProfileTest : public testing::Test {
 protected:
  void SetUp() override { ResetProcessRecords(); }
  void TearDown() override { ResetProcessRecords(); }
};

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST_F(BankProfileTest, ActiveProfileDerivesEveryName) {
  LoadBankProfile();
  const std::string sep(1, platform::kPathSep);
  EXPECT_EQ(BankProfile.bankId, 0x801u);
  EXPECT_EQ(BankProfile.allianceCode, "NAVRO");
  EXPECT_EQ(RunSettings.uninstallerExeName, "uninst_801.exe");
  EXPECT_EQ(RunSettings.webUiExeName, "WebUI_801.exe");
  EXPECT_EQ(RunSettings.assistantExeName, "harbinet_801.exe");
  EXPECT_EQ(BankProfile.assistantName, "Corvane银行网银助手");
  EXPECT_EQ(windowTitle, "Corvane银行网银助手下载器");
  EXPECT_EQ(BankProfile.downloaderTitle, "Corvane银行网银助手下载器");
  EXPECT_EQ(BankProfile.installSubdir, "Corvane银行网上银行安全组件" + sep + "Corvane银行网银助手");
  EXPECT_EQ(BankProfile.legacyProductKey, "{6B2F9C1E-47A3-4D85-9E0B-2C71F5A8D394}");
  EXPECT_TRUE(g_downloadpath.serverUrls.empty());
  EXPECT_EQ(g_downloadpath.ip.rfind("https://", 0), 0u);
  EXPECT_TRUE(g_downloadpath.port.empty());
  EXPECT_TRUE(g_downloadpath.path.empty());
  const uint32_t ids[] = {BankProfile.iconId,          BankProfile.queryImageId,
                          BankProfile.welcomeImageId,  BankProfile.optionsImageId,
                          BankProfile.progressImageId, BankProfile.progressAltImageId,
                          BankProfile.updateImageId,   BankProfile.reinstallImageId};
  const uint32_t expected[] = {181, 174, 175, 176, 177, 178, 180, 184};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(ids[i], expected[i]) << i;
}

TEST_F(BankProfileTest, ProgramNamesUseLowerCaseZeroPaddedHex) {
  struct Case {
    uint32_t id;
    const char* webUi;
  } cases[] = {{0x80a, "WebUI_80a.exe"},
               {0xa1, "WebUI_0a1.exe"},
               {0x1, "WebUI_001.exe"},
               {0xffff, "WebUI_ffff.exe"},
               {0x815, "WebUI_815.exe"}};
  for (const Case& c : cases) {
    ResetProcessRecords();
    LoadBankProfileFor(c.id);
    EXPECT_EQ(RunSettings.webUiExeName, c.webUi) << std::hex << c.id;
    EXPECT_EQ(RunSettings.assistantExeName, "harbinet" + BankExeSuffix(c.id));
  }
}

TEST_F(BankProfileTest, IdWithoutRowLeavesNamesEmpty) {
  LoadBankProfileFor(0x80a);
  EXPECT_EQ(windowTitle, "网银助手下载器");
  EXPECT_EQ(BankProfile.assistantName, "网银助手");
  EXPECT_EQ(BankProfile.installSubdir,
            std::string("网上银行安全组件") + platform::kPathSep + "网银助手");
  EXPECT_TRUE(g_downloadpath.ip.empty());
  EXPECT_TRUE(g_downloadpath.serverUrls.empty());
  EXPECT_TRUE(BankProfile.legacyProductKey.empty());
  EXPECT_EQ(RunSettings.uninstallerExeName, "uninst_80a.exe");
}

TEST_F(BankProfileTest, RowWithServerListPutsSiteFirst) {
  for (uint32_t id : {0x802u, 0x815u, 0x867u}) {
    ResetProcessRecords();
    LoadBankProfileFor(id);
    ASSERT_EQ(g_downloadpath.serverUrls.size(), 4u) << std::hex << id;
    EXPECT_EQ(g_downloadpath.serverUrls[0], g_downloadpath.ip);
    for (const std::string& url : g_downloadpath.serverUrls)
      EXPECT_EQ(url.rfind("https://", 0), 0u);
  }
}

TEST_F(BankProfileTest, TableHasThirtyFictionalRowsWithTheRightColumns) {
  const auto& table = BankProfileTable();
  ASSERT_EQ(table.size(), 30u);
  std::set<uint32_t> ids;
  int productCodes = 0, legacyNames = 0, lists = 0;
  for (const BankProfileRow& row : table) {
    ids.insert(row.bankId);
    EXPECT_GE(row.bankId, 0x103u);
    EXPECT_LE(row.bankId, 0x867u);
    std::string name = row.displayName, site = row.siteUrl;
    EXPECT_TRUE(EndsWith(name, "银行")) << name;
    EXPECT_LT(name.size(), 260u);
    EXPECT_EQ(site.rfind("https://", 0), 0u) << site;
    EXPECT_TRUE(EndsWith(site, ".example")) << site;
    if (row.legacyProductKey) {
      std::string key = row.legacyProductKey;
      if (key.front() == '{') {
        ++productCodes;
        EXPECT_EQ(key.size(), 38u);
        EXPECT_EQ(key.find_first_not_of("{}-0123456789ABCDEF"), std::string::npos) << key;
      } else {
        ++legacyNames;
      }
    }
    if (!row.serverUrls.empty()) {
      ++lists;
      EXPECT_EQ(row.serverUrls.size(), 4u);
      EXPECT_EQ(std::string(row.serverUrls[0]), site);
    }
  }
  EXPECT_EQ(ids.size(), 30u);
  EXPECT_EQ(productCodes, 16);
  EXPECT_EQ(legacyNames, 4);
  EXPECT_EQ(lists, 3);
}

}  // namespace
