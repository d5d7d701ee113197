// The update plan: fetching the manifests, and the passes that fetch the
// components of a first installation, an update and a repair, against a
// loopback file server and a process table in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "install/file_deployment.h"
#include "install/install_context.h"
#include "install/update_plan.h"
#include "tests/fakes.h"
#include "tests/install_fixtures.h"
#include "tests/process_helpers.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

// What a pass itself shows: the transfer's own progress reports (bar
// range and position, "NN.NN%" of the current file) are left out.
Lines Shown(const RecordingSink& sink) {
  Lines shown;
  for (const std::string& call : sink.calls) {
    if (call.rfind("SetCurrentRange(", 0) == 0 || call.rfind("SetCurrentPos(", 0) == 0) continue;
    if (call.rfind("SetCurrentPercent(", 0) == 0 && call.find('.') != std::string::npos) continue;
    shown.push_back(call);
  }
  return shown;
}

class UpdatePlanTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetProcessRecords();
    LoadBankProfileFor(0x801);
    platform::Sys().processes = &processes_;
    platform::Sys().log = &log_;
    processes_.Run("WebUI_801.exe");
    RunSettings.installDir = sandbox_.cwd() + "/inst";
    RunSettings.downloadUrl = server_.base() + "/rel";
  }
  void TearDown() override { ResetProcessRecords(); }

  // A fresh start for one case of a table: the UI program runs again and
  // nothing is installed or recorded.
  void Restart() {
    fs::remove_all(RunSettings.installDir);
    timeline_.Clear();
    sink_.calls.clear();
    if (!processes_.IsRunning("WebUI_801.exe")) processes_.Run("WebUI_801.exe");
  }
  // A context whose folders exist, as the install sequence leaves them.
  InstallContext Context(InstallMode mode) {
    InstallContext c = MakeInstallContext(mode, &sink_);
    EXPECT_TRUE(CreateFolderTree(c.installDir));
    CreateStandardFolders(c);
    return c;
  }
  // Serves body as the release file Path\FileName and returns its entry.
  ManifestEntry Publish(const std::string& path, const std::string& name, const std::string& body) {
    std::string url = "/rel/" + path + "/" + name;
    for (char& ch : url)
      if (ch == '\\') ch = '/';
    server_.Put(url, body);
    return {path, name, DigestOf(body)};
  }
  static void WriteManifest(const std::string& file, const std::vector<ManifestEntry>& entries) {
    std::string text = SignedManifest(entries);
    ASSERT_FALSE(text.empty());
    PutFile(file, text);
  }
  // The folder that holds the sandbox's current folder and root.
  std::string SandboxBase() const { return fs::path(sandbox_.cwd()).parent_path().string(); }

  Sandbox sandbox_;
  ScopedEnv root_{"DOWNLOADER_ROOT", sandbox_.root()};
  ScopedServices scope_;
  RecordingLog log_;
  Timeline timeline_;
  FakeProcesses processes_{&timeline_};
  FileServer server_{&timeline_};
  RecordingSink sink_;
};

TEST(UpdatePlanPaths, ContainmentOfManifestPaths) {
  struct Case {
    std::string path;
    bool contained;
  } cases[] = {
      {"a.dll", true},
      {"Plugins\\a.dll", true},
      {"Plugins/Deep\\b.dll", true},
      {"a..b\\...\\.hidden", true},
      {".\\a.dll", true},
      {"..a\\b..", true},
      {"", false},
      {"..", false},
      {"..\\a.dll", false},
      {"../a.dll", false},
      {"Plugins\\..\\..\\a.dll", false},
      {"Plugins/../a.dll", false},
      {"Plugins\\..", false},
      {"\\a.dll", false},
      {"/etc/passwd", false},
      {"C:\\Windows\\a.dll", false},
      {"Plugins\\a.dll:stream", false},
      {std::string("a\0\\..\\b", 7), false},
      {std::string("a.dll\0", 6), false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsContainedPath(c.path), c.contained) << "\"" << c.path << "\"";
}

TEST(UpdatePlanPaths, RelativeAndLocalForms) {
  EXPECT_EQ(RelativePath({"", "a.dll", "d"}), "a.dll");
  EXPECT_EQ(RelativePath({"Plugins", "a.dll", "d"}), "Plugins\\a.dll");
  EXPECT_EQ(RelativePath({"Plugins\\Deep", "b.dll", ""}), "Plugins\\Deep\\b.dll");
  EXPECT_EQ(LocalPath("Plugins\\Deep\\b.dll"), "Plugins/Deep/b.dll");
  EXPECT_EQ(LocalPath("a/b\\c"), "a/b/c");
  EXPECT_EQ(LocalPath(""), "");
}

TEST_F(UpdatePlanTest, InstallPassFetchesEachEntryStraightIntoTheInstallFolder) {
  InstallContext c = Context(Install);
  PutFile(c.installDir + "/harbinet_801.exe", "running main");
  WriteManifest(c.installedManifestCopies[0], {
                                                  Publish("", "harbinet_801.exe", "new main"),
                                                  Publish("Plugins", "a.dll", "plugin a"),
                                                  {"", "", ""},  // no FileName: skipped
                                                  Publish("Plugins\\Deep", "b.dll", "plugin b"),
                                                  Publish("Extra", "c.dat", "extra c"),
                                              });
  c.totalSteps = 8;
  c.currentStep = 3;
  EXPECT_TRUE(RunDownloadPass(c, ManifestKind::Common));

  EXPECT_EQ(timeline_.events(),
            (Lines{"kill WebUI_801.exe", "GET /rel//harbinet_801.exe", "GET /rel/Plugins/a.dll",
                   "GET /rel/Plugins/Deep/b.dll", "GET /rel/Extra/c.dat"}));
  EXPECT_EQ(Shown(sink_), (Lines{
                              "SetStatusText(正在下载 harbinet_801.exe   3/8)",
                              "SetCurrentPercent(0%)",
                              "SetTotalPercent(37.50%)",
                              "SetTotalPos(3)",
                              "SetStatusText(正在下载 a.dll   4/8)",
                              "SetCurrentPercent(0%)",
                              "SetTotalPercent(50.00%)",
                              "SetTotalPos(4)",
                              "SetStatusText(正在下载 b.dll   5/8)",
                              "SetCurrentPercent(0%)",
                              "SetTotalPercent(62.50%)",
                              "SetTotalPos(5)",
                              "SetStatusText(正在下载 c.dat   6/8)",
                              "SetCurrentPercent(0%)",
                              "SetTotalPercent(75.00%)",
                              "SetTotalPos(6)",
                          }));
  EXPECT_EQ(c.currentStep, 7);
  EXPECT_EQ(ReadFileText(c.installDir + "/harbinet_801.exe"), "new main");
  // The running main program was moved aside before its new copy came.
  EXPECT_EQ(ReadFileText(c.installDir + "/harbinet_old.exe"), "running main");
  EXPECT_EQ(ReadFileText(c.installDir + "/Plugins/a.dll"), "plugin a");
  EXPECT_EQ(ReadFileText(c.installDir + "/Plugins/Deep/b.dll"), "plugin b");
  EXPECT_EQ(ReadFileText(c.installDir + "/Extra/c.dat"), "extra c");
  // Nothing goes through the download folder in a first installation.
  for (const auto& e : fs::recursive_directory_iterator(c.downloadDir))
    EXPECT_TRUE(e.is_directory()) << e.path();
}

TEST_F(UpdatePlanTest, InstallPassStopsAtTheFirstEntryThatCannotBePlaced) {
  struct Case {
    const char* name;
    ManifestEntry bad;
    std::string served;   // body served for the entry's URL, when not empty
    std::string earlier;  // content already at the target, when not empty
  } cases[] = {
      {"not on the server", {"Plugins", "gone.dll", DigestOf("gone")}, "", ""},
      {"body differs from its digest",
       {"Plugins", "bad.dll", DigestOf("expected")},
       "tampered",
       "earlier"},
      {"entry without a digest", {"Plugins", "bare.dll", ""}, "anything", ""},
      {"folder whose parent is missing", {"New\\Sub", "x.dll", DigestOf("x")}, "x", ""},
      {"path climbs out", {"..", "evil.dll", DigestOf("evil")}, "evil", ""},
      {"path climbs out deeper", {"Plugins\\..\\..", "evil.dll", DigestOf("evil")}, "evil", ""},
      {"file name climbs out", {"", "..\\evil.dll", DigestOf("evil")}, "evil", ""},
      {"absolute path", {"/tmp", "evil.dll", DigestOf("evil")}, "evil", ""},
      {"drive letter", {"C:\\Windows", "evil.dll", DigestOf("evil")}, "evil", ""},
  };
  for (const Case& cs : cases) {
    SCOPED_TRACE(cs.name);
    Restart();
    InstallContext c = Context(Install);
    const std::string target =
        c.installDir + "/" + LocalPath(cs.bad.Path) + "/" + LocalPath(cs.bad.FileName);
    if (!cs.earlier.empty()) PutFile(target, cs.earlier);
    if (!cs.served.empty()) {
      std::string url = "/rel/" + cs.bad.Path + "/" + cs.bad.FileName;
      for (char& ch : url)
        if (ch == '\\') ch = '/';
      server_.Put(url, cs.served);
      server_.Put("/evil.dll", cs.served);
      server_.Put("/rel/evil.dll", cs.served);
    }
    WriteManifest(c.installedManifestCopies[1],
                  {Publish("", "first.dll", "first"), cs.bad, Publish("", "after.dll", "after")});
    c.totalSteps = 3;
    EXPECT_FALSE(RunDownloadPass(c, ManifestKind::Bank));

    Lines shown = Shown(sink_);
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[shown.size() - 2], "SetStatusText(下载" + cs.bad.FileName + " 失败)");
    EXPECT_EQ(shown.back(), "SetCancelCaption(下载失败)");
    EXPECT_EQ(c.currentStep, 2);  // only the first entry counted
    EXPECT_EQ(ReadFileText(c.installDir + "/first.dll"), "first");
    EXPECT_FALSE(fs::exists(c.installDir + "/after.dll"));
    EXPECT_FALSE(fs::exists(c.installDir + "/New"));  // parents are not made
    for (const std::string& event : timeline_.events())
      EXPECT_EQ(event.find("after.dll"), std::string::npos) << event;
    if (!cs.earlier.empty()) {
      EXPECT_EQ(ReadFileText(target), cs.earlier);
    } else {
      EXPECT_FALSE(fs::exists(target));
    }
    // A refused path is never asked for nor written anywhere.
    if (cs.bad.FileName.find("evil") != std::string::npos) {
      EXPECT_EQ(server_.requests().back(), "/rel//first.dll");
      EXPECT_TRUE(FindNamed(SandboxBase(), "evil.dll").empty());
      EXPECT_TRUE(FindNamed(SandboxBase(), "..\\evil.dll").empty());
    }
  }
}

TEST_F(UpdatePlanTest, InstallPassNeverWritesThroughALinkInTheInstallFolder) {
  InstallContext c = Context(Install);
  const std::string outside = SandboxBase() + "/outside";
  fs::create_directories(outside);
  fs::create_directories(c.installDir);
  fs::create_directory_symlink(outside, c.installDir + "/Linked");
  server_.Put("/rel/Linked/x.dll", "x");
  WriteManifest(c.installedManifestCopies[1], {Publish("Linked", "x.dll", "x")});
  c.totalSteps = 1;
  EXPECT_FALSE(RunDownloadPass(c, ManifestKind::Bank));
  EXPECT_FALSE(fs::exists(outside + "/x.dll"));
  EXPECT_EQ(Shown(sink_).back(), "SetCancelCaption(下载失败)");
}

TEST_F(UpdatePlanTest, CompanionIsStoppedBeforeItsEntryIsLookedAt) {
  processes_.Run("TolvanePop.exe");
  processes_.Run("TolvanePop_801.exe");
  processes_.Run("Other.exe");
  InstallContext c = Context(Install);
  WriteManifest(c.installedManifestCopies[0],
                {Publish("", "a.dll", "a"), Publish("", "TolvanePop_801.exe", "pop"),
                 Publish("Plugins", "b.dll", "b")});
  c.totalSteps = 3;
  EXPECT_TRUE(RunDownloadPass(c, ManifestKind::Common));
  EXPECT_EQ(timeline_.events(),
            (Lines{"kill WebUI_801.exe", "GET /rel//a.dll", "kill TolvanePop_801.exe",
                   "GET /rel//TolvanePop_801.exe", "GET /rel/Plugins/b.dll"}));
  // Only the program of exactly that name.
  EXPECT_TRUE(processes_.IsRunning("TolvanePop.exe"));
  EXPECT_TRUE(processes_.IsRunning("Other.exe"));

  // In an update the companion is stopped even when its file is up to date
  // and nothing is fetched at all.
  processes_.Run("WebUI_801.exe");
  processes_.Run("TolvanePop_801.exe");
  timeline_.Clear();
  InstallContext u = Context(Update);
  fs::copy_file(c.installedManifestCopies[0], u.downloadManifestCopies[0]);
  EXPECT_TRUE(RunDownloadPass(u, ManifestKind::Common));
  EXPECT_TRUE(u.updateList.empty());
  EXPECT_EQ(timeline_.events(), (Lines{"kill WebUI_801.exe", "kill TolvanePop_801.exe"}));
  EXPECT_TRUE(processes_.IsRunning("TolvanePop.exe"));
}

TEST_F(UpdatePlanTest, UpdateListsWhatIsMissingOrDiffers) {
  const ManifestEntry current = Publish("Plugins", "a.dll", "new a");
  struct Case {
    const char* name;
    std::vector<ManifestEntry> reference;  // the installed manifest; empty: none
    std::string installed;                 // the installed file; empty: missing
    bool listed;
  } cases[] = {
      {"up to date", {current}, "new a", false},
      {"installed file missing", {current}, "", true},
      {"installed file differs", {current}, "old a", true},
      {"installed manifest lists another digest",
       {{"Plugins", "a.dll", DigestOf("old a")}},
       "new a",
       true},
      {"installed manifest lists it in another folder",
       {{"", "a.dll", current.Digest}},
       "new a",
       true},
      {"no installed manifest", {}, "new a", true},
  };
  for (const Case& cs : cases) {
    SCOPED_TRACE(cs.name);
    Restart();
    InstallContext c = Context(Update);
    if (!cs.reference.empty()) WriteManifest(c.installedManifestCopies[0], cs.reference);
    if (!cs.installed.empty()) PutFile(c.installDir + "/Plugins/a.dll", cs.installed);
    PutFile(c.installDir + "/top.exe", "top");
    WriteManifest(c.downloadManifestCopies[0], {current, {"", "top.exe", DigestOf("new top")}});
    // The common pass of an update only collects.
    EXPECT_TRUE(RunDownloadPass(c, ManifestKind::Common));
    Lines expected = cs.listed ? Lines{"Plugins\\a.dll", "top.exe"} : Lines{"top.exe"};
    EXPECT_EQ(c.updateList, expected);
    EXPECT_EQ(timeline_.events(), Lines{"kill WebUI_801.exe"});
    EXPECT_TRUE(sink_.calls.empty());
  }
}

TEST_F(UpdatePlanTest, UpdateFetchesBothListsIntoTheDownloadFolderAndGoesOnAfterAFailure) {
  InstallContext c = Context(Update);
  const ManifestEntry same = Publish("", "same.dll", "same");
  PutFile(c.installDir + "/same.dll", "same");
  WriteManifest(c.installedManifestCopies[0], {same});
  WriteManifest(c.downloadManifestCopies[0], {same, Publish("", "x.dll", "x")});
  ManifestEntry tampered = Publish("Plugins", "z.dll", "z");
  server_.Put("/rel/Plugins/z.dll", "not z");
  WriteManifest(c.downloadManifestCopies[1], {tampered, Publish("Plugins", "y.dll", "y")});

  EXPECT_TRUE(RunDownloadPass(c, ManifestKind::Common));
  EXPECT_TRUE(server_.requests().empty());
  EXPECT_FALSE(RunDownloadPass(c, ManifestKind::Bank));

  EXPECT_EQ(c.updateList, (Lines{"x.dll", "Plugins\\z.dll", "Plugins\\y.dll"}));
  EXPECT_EQ(Shown(sink_), (Lines{
                              "SetTotalRange(3)",
                              "SetTotalPos(0)",
                              "SetStatusText(正在下载 x.dll   1/3)",
                              "SetCurrentPercent(0%)",
                              "SetTotalPercent(33.33%)",
                              "SetTotalPos(1)",
                              "SetStatusText(正在下载 Plugins\\z.dll   2/3)",
                              "SetCurrentPercent(0%)",
                              "SetStatusText(下载Plugins\\z.dll 失败)",
                              "SetCancelCaption(下载失败)",
                              "SetStatusText(正在下载 Plugins\\y.dll   3/3)",
                              "SetCurrentPercent(0%)",
                              "SetTotalPercent(100.00%)",
                              "SetTotalPos(3)",
                          }));
  EXPECT_EQ(ReadFileText(c.downloadDir + "/x.dll"), "x");
  EXPECT_EQ(ReadFileText(c.downloadDir + "/Plugins/y.dll"), "y");
  // A body that differs from its digest never reaches the download folder.
  EXPECT_FALSE(fs::exists(c.downloadDir + "/Plugins/z.dll"));
  // The install folder is left to the copy step.
  EXPECT_FALSE(fs::exists(c.installDir + "/x.dll"));
  EXPECT_FALSE(fs::exists(c.installDir + "/Plugins/y.dll"));
  Lines requests = server_.requests();
  EXPECT_EQ(requests.front(), "/rel/x.dll");
  EXPECT_EQ(requests.back(), "/rel/Plugins/y.dll");
  EXPECT_EQ(timeline_.events().front(), "kill WebUI_801.exe");
}

TEST_F(UpdatePlanTest, RepairFetchesTheWholeListInEachPass) {
  InstallContext c = Context(Repair);
  WriteManifest(c.downloadManifestCopies[0], {Publish("", "a.dll", "a")});
  WriteManifest(c.downloadManifestCopies[1], {Publish("Data", "b.dat", "b")});
  EXPECT_TRUE(RunDownloadPass(c, ManifestKind::Common));
  EXPECT_TRUE(RunDownloadPass(c, ManifestKind::Bank));
  EXPECT_EQ(server_.requests(), (Lines{"/rel/a.dll", "/rel/a.dll", "/rel/Data/b.dat"}));
  EXPECT_EQ(Shown(sink_), (Lines{
                              "SetTotalRange(1)",
                              "SetTotalPos(0)",
                              "SetStatusText(正在下载 a.dll   1/1)",
                              "SetCurrentPercent(0%)",
                              "SetTotalPercent(100.00%)",
                              "SetTotalPos(1)",
                              "SetTotalRange(2)",
                              "SetTotalPos(0)",
                              "SetStatusText(正在下载 a.dll   1/2)",
                              "SetCurrentPercent(0%)",
                              "SetTotalPercent(50.00%)",
                              "SetTotalPos(1)",
                              "SetStatusText(正在下载 Data\\b.dat   2/2)",
                              "SetCurrentPercent(0%)",
                              "SetTotalPercent(100.00%)",
                              "SetTotalPos(2)",
                          }));
  EXPECT_EQ(ReadFileText(c.downloadDir + "/a.dll"), "a");
  EXPECT_EQ(ReadFileText(c.downloadDir + "/Data/b.dat"), "b");
}

TEST_F(UpdatePlanTest, NothingToFetchFillsBothBars) {
  for (InstallMode mode : {Update, Repair}) {
    SCOPED_TRACE(mode);
    Restart();
    InstallContext c = Context(mode);
    const ManifestEntry e = Publish("Plugins", "a.dll", "a");
    PutFile(c.installDir + "/Plugins/a.dll", "a");
    WriteManifest(c.installedManifestCopies[1], {e});
    WriteManifest(c.downloadManifestCopies[1], {e, {"", "", ""}});
    EXPECT_TRUE(RunDownloadPass(c, ManifestKind::Bank));
    EXPECT_EQ(sink_.calls, (Lines{"SetCurrentRange(1)", "SetCurrentPos(1)", "SetTotalRange(1)",
                                  "SetTotalPos(1)", "SetStatusText(无需更新)",
                                  "SetCurrentPercent(100%)", "SetTotalPercent(100%)"}));
    EXPECT_EQ(timeline_.events(), Lines{"kill WebUI_801.exe"});
  }
}

TEST_F(UpdatePlanTest, UpdateRefusesEntriesThatLeaveTheFolderOrHaveNoDigest) {
  InstallContext c = Context(Update);
  server_.Put("/evil.dll", "evil");
  server_.Put("/rel/evil.dll", "evil");
  server_.Put("/rel/bare.dll", "unchecked");
  WriteManifest(
      c.downloadManifestCopies[1],
      {{"..", "evil.dll", DigestOf("evil")}, {"", "bare.dll", ""}, Publish("", "ok.dll", "ok")});
  EXPECT_FALSE(RunDownloadPass(c, ManifestKind::Bank));
  EXPECT_EQ(c.updateList, (Lines{"..\\evil.dll", "bare.dll", "ok.dll"}));
  Lines shown = Shown(sink_);
  for (const char* failed : {"..\\evil.dll", "bare.dll"}) {
    EXPECT_NE(std::find(shown.begin(), shown.end(),
                        std::string("SetStatusText(下载") + failed + " 失败)"),
              shown.end())
        << failed;
  }
  EXPECT_EQ(shown.back(), "SetTotalPos(3)");
  EXPECT_TRUE(FindNamed(SandboxBase(), "evil.dll").empty());
  EXPECT_FALSE(fs::exists(c.downloadDir + "/bare.dll"));
  EXPECT_EQ(ReadFileText(c.downloadDir + "/ok.dll"), "ok");
  for (const std::string& path : server_.requests())
    EXPECT_EQ(path.find("evil"), std::string::npos) << path;
}

TEST_F(UpdatePlanTest, UpdateManifestsGoToAnEmptiedDownloadFolder) {
  const std::string common = SignedManifest({{"", "a.dll", DigestOf("a")}});
  const std::string bank = SignedManifest({{"Plugins", "b.dll", DigestOf("b")}});
  server_.Put("/rel/Digest.xml", common);
  server_.Put("/rel/Digest_801.xml", bank);
  for (InstallMode mode : {Update, Repair}) {
    SCOPED_TRACE(mode);
    Restart();
    InstallContext c = Context(mode);
    // What a killed run left, and the installation's own copies.
    PutFile(c.downloadDir + "/Plugins/stale.dll", "stale");
    PutFile(c.downloadManifestCopies[0], "stale manifest");
    PutFile(c.installedManifestCopies[0], "installed common");
    PutFile(c.installedManifestCopies[1], "installed bank");
    EXPECT_TRUE(DownloadManifests(c));
    EXPECT_EQ(ReadFileText(c.downloadManifestCopies[0]), common);
    EXPECT_EQ(ReadFileText(c.downloadManifestCopies[1]), bank);
    EXPECT_EQ(ReadFileText(c.installedManifestCopies[0]), "installed common");
    EXPECT_EQ(ReadFileText(c.installedManifestCopies[1]), "installed bank");
    EXPECT_FALSE(fs::exists(c.downloadDir + "/Plugins/stale.dll"));
    EXPECT_TRUE(fs::is_directory(c.downloadDir + "/Plugins"));
    EXPECT_EQ(sink_.calls,
              (Lines{"SetStatusText(正在下载 配置文件)", "SetStatusText(正在下载 配置文件)"}));
  }

  // A first installation fetches them as the installed copies.
  fs::remove_all(RunSettings.installDir);
  InstallContext c = Context(Install);
  EXPECT_TRUE(DownloadManifests(c));
  EXPECT_EQ(ReadFileText(c.installedManifestCopies[0]), common);
  EXPECT_EQ(ReadFileText(c.installedManifestCopies[1]), bank);
  EXPECT_FALSE(fs::exists(c.downloadManifestCopies[0]));
  EXPECT_FALSE(fs::exists(c.downloadManifestCopies[1]));
}

TEST_F(UpdatePlanTest, ManifestsThatDoNotArriveWholeAndSignedStopTheJob) {
  const std::string common = SignedManifest({{"", "a.dll", DigestOf("a")}});
  const std::string bank = SignedManifest({{"Plugins", "b.dll", DigestOf("b")}});
  std::string tampered = bank;
  tampered.replace(tampered.find("b.dll"), 5, "c.dll");
  struct Case {
    const char* name;
    InstallMode mode;
    std::string common, bank;  // served; empty: not on the server
    bool bankAsked;
  } cases[] = {
      {"common manifest missing", Update, "", bank, false},
      {"bank manifest missing", Repair, common, "", true},
      {"common manifest unsigned", Install, ManifestDocument({{"", "a.dll", DigestOf("a")}}), bank,
       false},
      {"bank manifest changed after signing", Update, common, tampered, true},
      {"bank manifest changed after signing", Install, common, tampered, true},
  };
  for (const Case& cs : cases) {
    SCOPED_TRACE(cs.name);
    Restart();
    FileServer server(&timeline_);
    RunSettings.downloadUrl = server.base() + "/rel";
    if (!cs.common.empty()) server.Put("/rel/Digest.xml", cs.common);
    if (!cs.bank.empty()) server.Put("/rel/Digest_801.xml", cs.bank);
    InstallContext c = Context(cs.mode);
    // A whole, signed copy from a killed run does not stand in for a
    // manifest that did not arrive.
    if (cs.mode != Install) PutFile(c.downloadManifestCopies[1], bank);
    EXPECT_FALSE(DownloadManifests(c));
    Lines requests = server.requests();
    bool bankAsked =
        std::find(requests.begin(), requests.end(), "/rel/Digest_801.xml") != requests.end();
    EXPECT_EQ(bankAsked, cs.bankAsked);
  }
}

}  // namespace
