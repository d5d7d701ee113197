// Removing the older assistant before a first installation: the recipe of
// each bank, and running it in a sandbox's current folder with a process
// table in memory (and once with a real uninstaller stand-in).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "install/legacy_removal.h"
#include "tests/fakes.h"
#include "tests/install_fixtures.h"
#include "tests/process_helpers.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

const std::string kBrennicX86 = "C:\\Program Files (x86)\\TRV\\EBankingAssistant\\uninst.exe";
const std::string kBrennicX64 = "C:\\Program Files\\TRV\\EBankingAssistant\\uninst.exe";
const std::string kOstrelX86 = "C:\\Program Files (x86)\\PSKWAssistant\\uninst.exe";
const std::string kOstrelX64 = "C:\\Program Files\\PSKWAssistant\\uninst.exe";

TEST(LegacyRecipe, EachBankGetsItsRecipe) {
  struct Case {
    uint32_t bankId;
    std::string status, kill;
    Lines uninstallers;
    std::string parameters;
    bool installerService;
  } cases[] = {
      {0x166,
       "卸载Brennic老版助手",
       "TRVAssistantTool.exe",
       {kBrennicX86, kBrennicX64},
       "/S",
       false},
      {0x861,
       "卸载Brennic老版助手",
       "TRVAssistantTool.exe",
       {kBrennicX86, kBrennicX64},
       "/S",
       false},
      {0x866,
       "卸载Brennic老版助手",
       "TRVAssistantTool.exe",
       {kBrennicX86, kBrennicX64},
       "/S",
       false},
      {0x867,
       "卸载Brennic老版助手",
       "TRVAssistantTool.exe",
       {kBrennicX86, kBrennicX64},
       "/S",
       false},
      {0x831,
       "卸载Ostrel老版助手",
       "EbankingAssistant.PSKW.x86.exe",
       {kOstrelX86, kOstrelX64},
       "/S",
       false},
      {0x801, "卸载Lumaro老版助手", "", {}, "/X{KEY-1} /quiet", true},
      {0x830, "卸载Lumaro老版助手", "", {}, "/X{KEY-1} /quiet", true},
      {0x862, "卸载Lumaro老版助手", "", {}, "/X{KEY-1} /quiet", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.bankId);
    LegacyRemovalRecipe r = LegacyRecipeFor(c.bankId, "{KEY-1}");
    EXPECT_EQ(r.statusText, c.status);
    EXPECT_EQ(r.processToKill, c.kill);
    EXPECT_EQ(r.uninstallers, c.uninstallers);
    EXPECT_EQ(r.parameters, c.parameters);
    EXPECT_EQ(r.installerService, c.installerService);
  }
}

class LegacyRemovalTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetProcessRecords();
    platform::Sys().processes = &processes_;
    platform::Sys().clock = &clock_;
    platform::Sys().log = &log_;
    processes_.ownPath = "/usr/local/bin/downloader_801.exe";
  }
  void TearDown() override { ResetProcessRecords(); }

  // Runs the removal with the sandbox's current folder as the current folder.
  void Remove() {
    InFolder(sandbox_.cwd(), [&] { EXPECT_TRUE(RemoveLegacyAssistant(&sink_)); });
  }
  std::string Here(const std::string& name) const { return sandbox_.cwd() + "/" + name; }
  static std::string Local(const std::string& windowsPath) {
    return platform::Sys().locations->FromWindowsPath(windowsPath);
  }
  // Every file below the sandbox with its content, to see that nothing changed.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> all;
    for (const auto& e : fs::recursive_directory_iterator(fs::path(sandbox_.cwd()).parent_path()))
      if (e.is_regular_file()) all[e.path().string()] = ReadFileText(e.path().string());
    return all;
  }

  Sandbox sandbox_;
  ScopedEnv root_{"DOWNLOADER_ROOT", sandbox_.root()};
  ScopedServices scope_;
  Timeline timeline_;
  FakeProcesses processes_{&timeline_};
  FakeClock clock_;
  RecordingLog log_;
  RecordingSink sink_;
};

TEST_F(LegacyRemovalTest, NothingHappensWithoutALegacyProductKey) {
  for (uint32_t bankId : {0x867u, 0x861u, 0x831u, 0x801u}) {
    SCOPED_TRACE(testing::Message() << std::hex << bankId);
    LoadBankProfileFor(bankId);
    if (bankId != 0x867) BankProfile.legacyProductKey.clear();
    ASSERT_TRUE(BankProfile.legacyProductKey.empty());
    for (const char* program :
         {"TRVAssistantTool.exe", "EbankingAssistant.PSKW.x86.exe", "msiexec.exe"})
      processes_.Run(program);
    for (const std::string& path : {kBrennicX86, kBrennicX64, kOstrelX86, kOstrelX64})
      PutFile(Local(path), "uninstaller");
    PutFile(Here("Orvupdate.exe"), "parked");
    PutFile(Here("killprocess.vbs"), "script");
    PutFile(Here("downloader_801.exe"), "self");
    const auto before = Snapshot();
    Remove();
    EXPECT_TRUE(sink_.calls.empty());
    EXPECT_TRUE(timeline_.events().empty());
    EXPECT_TRUE(clock_.sleeps.empty());
    EXPECT_EQ(Snapshot(), before);
    ResetProcessRecords();
  }
}

TEST_F(LegacyRemovalTest, UninstallerRecipesRunTheFirstUninstallerThatExists) {
  struct Case {
    uint32_t bankId;
    std::string status, kill;
    Lines present;     // Windows paths of the uninstallers that exist
    std::string runs;  // the one started; empty: none
  } cases[] = {
      {0x861,
       "卸载Brennic老版助手",
       "TRVAssistantTool.exe",
       {kBrennicX86, kBrennicX64},
       kBrennicX86},
      {0x866, "卸载Brennic老版助手", "TRVAssistantTool.exe", {kBrennicX64}, kBrennicX64},
      {0x861, "卸载Brennic老版助手", "TRVAssistantTool.exe", {}, ""},
      {0x831,
       "卸载Ostrel老版助手",
       "EbankingAssistant.PSKW.x86.exe",
       {kOstrelX86, kOstrelX64},
       kOstrelX86},
      {0x831, "卸载Ostrel老版助手", "EbankingAssistant.PSKW.x86.exe", {kOstrelX64}, kOstrelX64},
      // Another bank's uninstaller is not this bank's.
      {0x831, "卸载Ostrel老版助手", "EbankingAssistant.PSKW.x86.exe", {kBrennicX86}, ""},
      {0x831, "卸载Ostrel老版助手", "EbankingAssistant.PSKW.x86.exe", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.bankId << " runs " << c.runs);
    fs::remove_all(sandbox_.root());
    fs::remove_all(sandbox_.cwd());
    fs::create_directories(sandbox_.cwd());
    timeline_.Clear();
    processes_.started.clear();
    sink_.calls.clear();
    LoadBankProfileFor(c.bankId);
    ASSERT_FALSE(BankProfile.legacyProductKey.empty());
    processes_.Run("Other.exe");
    processes_.Run(c.kill);
    for (const std::string& path : c.present) PutFile(Local(path), "uninstaller");
    PutFile(Here("Orvupdate.exe"), "parked");
    Remove();

    EXPECT_EQ(sink_.calls, Lines{"SetStatusText(" + c.status + ")"});
    Lines events{"kill " + c.kill};
    if (!c.runs.empty()) events.push_back("start " + Local(c.runs) + " /S");
    EXPECT_EQ(timeline_.events(), events);
    if (!c.runs.empty()) {
      ASSERT_EQ(processes_.started.size(), 1u);
      EXPECT_EQ(processes_.started[0].show, platform::ShowMode::Hidden);
      EXPECT_TRUE(processes_.started[0].waitForExit);
      // After the uninstaller, the parked file comes back as the main program.
      EXPECT_FALSE(fs::exists(Here("Orvupdate.exe")));
      EXPECT_EQ(ReadFileText(Here(RunSettings.assistantExeName)), "parked");
    } else {
      EXPECT_EQ(ReadFileText(Here("Orvupdate.exe")), "parked");
      EXPECT_FALSE(fs::exists(Here(RunSettings.assistantExeName)));
    }
    EXPECT_TRUE(processes_.IsRunning("Other.exe"));
    ResetProcessRecords();
  }
}

TEST_F(LegacyRemovalTest, RealProgramsRunHiddenAndAreWaitedFor) {
  // A script stands in for the uninstaller and for msiexec.exe: after a
  // short pause it notes its arguments, how it was shown and whether the
  // downloader is parked; the note is there on return only when the start
  // waited for it.
  const std::string script =
      "#!/bin/sh\nsleep 0.2\n"
      "{ printf 'args=%s show=%s\\n' \"$*\" \"$DOWNLOADER_SHOW\";"
      " [ -e Orvupdate.exe ] && echo parked; } > \"$(dirname \"$0\")/ran.log\"\n";
  platform::Sys().processes = platform::NativeServices().processes;
  const std::string bin = fs::path(sandbox_.cwd()).parent_path().string() + "/bin";
  ScopedEnv path("PATH", bin + ":" + platform::GetEnv("PATH"));
  // The test program's own file name, which the Lumaro recipe parks.
  const std::string ownName =
      fs::path(platform::Sys().processes->OwnExecutablePath()).filename().string();
  struct Case {
    uint32_t bankId;
    std::string program;  // where the script is put
    std::string note;
  } cases[] = {
      {0x861, Local(kBrennicX86), "args=/S show=hidden\nparked\n"},
      {0x801, bin + "/msiexec.exe",
       "args=/X{6B2F9C1E-47A3-4D85-9E0B-2C71F5A8D394} /quiet show=hidden\nparked\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    LoadBankProfileFor(c.bankId);
    PutFile(c.program, script);
    fs::permissions(c.program, fs::perms::owner_all);
    PutFile(Here("Orvupdate.exe"), "self");
    PutFile(Here(ownName), "self");
    InFolder(sandbox_.cwd(), [&] {
      EXPECT_TRUE(RemoveLegacyAssistant(&sink_));
      // Read before anything else could finish a run that was not waited for.
      EXPECT_EQ(ReadFileText(fs::path(c.program).parent_path().string() + "/ran.log"), c.note);
    });
    EXPECT_EQ(ReadFileText(Here(RunSettings.assistantExeName)), "self");
    fs::remove_all(sandbox_.cwd());
    fs::create_directories(sandbox_.cwd());
    ResetProcessRecords();
  }
}

TEST_F(LegacyRemovalTest, InstallerServiceRecipeParksTheDownloaderWhileMsiexecRuns) {
  struct Case {
    const char* name;
    std::string ownPath;
    bool parkedBefore, script, own;
  } cases[] = {
      {"everything there", "/usr/local/bin/downloader_801.exe", true, true, true},
      {"Windows separators", "C:\\Users\\me\\Downloads\\downloader_801.exe", false, true, true},
      {"no script", "/usr/local/bin/downloader_801.exe", true, false, true},
      {"own file elsewhere", "/usr/local/bin/downloader_801.exe", true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(sandbox_.cwd());
    fs::create_directories(sandbox_.cwd());
    processes_.started.clear();
    sink_.calls.clear();
    clock_.sleeps.clear();
    LoadBankProfileFor(0x801);
    processes_.ownPath = c.ownPath;
    if (c.parkedBefore) PutFile(Here("Orvupdate.exe"), "left from before");
    if (c.script) PutFile(Here("killprocess.vbs"), "kill the downloader");
    if (c.own) PutFile(Here("downloader_801.exe"), "self");
    // What msiexec finds when it runs.
    bool parked = false, ownThere = true, scriptEmpty = false;
    processes_.onStart = [&](const FakeProcesses::Started&) {
      parked = fs::exists(Here("Orvupdate.exe"));
      ownThere = fs::exists(Here("downloader_801.exe"));
      scriptEmpty =
          fs::exists(Here("killprocess.vbs")) && fs::file_size(Here("killprocess.vbs")) == 0;
      if (parked) {
        EXPECT_EQ(ReadFileText(Here("Orvupdate.exe")), "self");
      }
    };
    Remove();

    EXPECT_EQ(sink_.calls, Lines{"SetStatusText(卸载Lumaro老版助手)"});
    ASSERT_EQ(processes_.started.size(), 1u);
    const FakeProcesses::Started& s = processes_.started[0];
    EXPECT_EQ(s.program, "msiexec.exe");
    EXPECT_EQ(s.parameters, "/X{6B2F9C1E-47A3-4D85-9E0B-2C71F5A8D394} /quiet");
    EXPECT_EQ(s.show, platform::ShowMode::Hidden);
    EXPECT_TRUE(s.waitForExit);
    EXPECT_EQ(parked, c.own);  // a file from before is removed, not kept
    EXPECT_FALSE(ownThere);
    EXPECT_EQ(scriptEmpty, c.script);
    EXPECT_EQ(fs::exists(Here("killprocess.vbs")), c.script);
    EXPECT_EQ(clock_.sleeps, c.script ? std::vector<uint32_t>{500} : std::vector<uint32_t>{});
    EXPECT_FALSE(fs::exists(Here("Orvupdate.exe")));
    if (c.own) {
      EXPECT_EQ(ReadFileText(Here("harbinet_801.exe")), "self");
    } else {
      EXPECT_FALSE(fs::exists(Here("harbinet_801.exe")));
    }
    processes_.onStart = nullptr;
    ResetProcessRecords();
  }
}

TEST_F(LegacyRemovalTest, EmptyingTheKillScriptNeverWritesThroughALink) {
  const std::string outside = fs::path(sandbox_.cwd()).parent_path().string() + "/outside";
  fs::create_directories(outside);
  struct Case {
    const char* name;
    bool targetExists;
  } cases[] = {{"link to a file", true}, {"link to nothing", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(sandbox_.cwd());
    fs::create_directories(sandbox_.cwd());
    fs::remove(outside + "/precious.txt");
    if (c.targetExists) PutFile(outside + "/precious.txt", "keep me");
    fs::create_symlink(outside + "/precious.txt", Here("killprocess.vbs"));
    LoadBankProfileFor(0x801);
    Remove();
    if (c.targetExists) {
      EXPECT_EQ(ReadFileText(outside + "/precious.txt"), "keep me");
    } else {
      EXPECT_FALSE(fs::exists(outside + "/precious.txt"));
    }
    // The script itself is left empty.
    EXPECT_FALSE(fs::is_symlink(Here("killprocess.vbs")));
    EXPECT_TRUE(fs::is_regular_file(Here("killprocess.vbs")));
    EXPECT_EQ(fs::file_size(Here("killprocess.vbs")), 0u);
    ResetProcessRecords();
  }
}

}  // namespace
