// The vendor runtime packages: which ones a machine lacks, and fetching and
// starting them, against facts, a key store and a process table in memory
// and a loopback file server standing in for the vendor's host.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "install/install_context.h"
#include "install/runtime_prerequisites.h"
#include "tests/fake_key_store.h"
#include "tests/fakes.h"
#include "tests/install_fixtures.h"
#include "tests/process_helpers.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;
using platform::kArchitectureAmd64;
using platform::kArchitectureIntel;
using platform::kPlatformWin32Nt;

class FakeOsInfo : public platform::OsInfo {
 public:
  platform::OsFacts Query() override { return facts; }
  platform::OsFacts facts;
};

// Counts the keys looked up.
class CountingKeyStore : public FakeKeyStore {
 public:
  std::unique_ptr<platform::RegistryKey> OpenKey(const std::string& path,
                                                 platform::KeyView view) override {
    ++lookups;
    return FakeKeyStore::OpenKey(path, view);
  }
  int lookups = 0;
};

platform::OsFacts Facts(uint32_t platformId, uint32_t major, uint32_t minor, uint16_t arch) {
  platform::OsFacts f;
  f.versionKnown = true;
  f.platformId = platformId;
  f.majorVersion = major;
  f.minorVersion = minor;
  f.processorArchitecture = arch;
  return f;
}

const std::string kX86Body = "x86 package bytes";
const std::string kX64Body = "x64 package bytes";

class RuntimeTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetProcessRecords();
    LoadBankProfileFor(0x801);
    platform::Sys().osInfo = &os_;
    platform::Sys().keyStore = &keys_;
    platform::Sys().processes = &processes_;
    platform::Sys().log = &log_;
    saved_ = RuntimeSources();
    RuntimeSources().host = server_.base().substr(7);
    RuntimeSources().sha256[kRuntimeX86] = Sha256Of(kX86Body);
    RuntimeSources().sha256[kRuntimeX64] = Sha256Of(kX64Body);
  }
  void TearDown() override {
    RuntimeSources() = saved_;
    ResetProcessRecords();
  }
  void Serve(RuntimePackageId id, const std::string& body) {
    server_.Put(RuntimePackageOf(id).serverPath, body);
  }
  static std::string Local(RuntimePackageId id) {
    return platform::Sys().locations->TempDir() + "/" + RuntimePackageOf(id).fileName;
  }
  // Starts that were asked for, as "program parameters shown|hidden wait|nowait".
  Lines Starts() const {
    Lines lines;
    for (const FakeProcesses::Started& s : processes_.started)
      lines.push_back(s.program + " " + s.parameters + " " +
                      (s.show == platform::ShowMode::Shown ? "shown" : "hidden") + " " +
                      (s.waitForExit ? "wait" : "nowait"));
    return lines;
  }
  // What the step shows, without the transfer's own progress reports.
  Lines Shown() const {
    Lines shown;
    for (const std::string& call : sink_.calls)
      if (call.rfind("SetCurrent", 0) != 0) shown.push_back(call);
    return shown;
  }
  InstallContext Context(int currentStep, int totalSteps) {
    InstallContext c = MakeInstallContext(Install, &sink_);
    c.currentStep = currentStep;
    c.totalSteps = totalSteps;
    return c;
  }

  Sandbox sandbox_;
  ScopedEnv root_{"DOWNLOADER_ROOT", sandbox_.root()};
  ScopedServices scope_;
  FakeOsInfo os_;
  CountingKeyStore keys_;
  RecordingLog log_;
  Timeline timeline_;
  FakeProcesses processes_{&timeline_};
  FileServer server_{&timeline_};
  RecordingSink sink_;
  RuntimeSource saved_;
};

TEST_F(RuntimeTest, SystemFactsGiveResultKindAndArchitecture) {
  struct Case {
    platform::OsFacts facts;
    int result, kind, architecture;
  } cases[] = {
      {Facts(kPlatformWin32Nt, 6, 1, kArchitectureAmd64), 1, 1, 0},
      {Facts(kPlatformWin32Nt, 6, 2, kArchitectureIntel), 1, 1, 1},
      {Facts(kPlatformWin32Nt, 6, 0, kArchitectureAmd64), 1, 0, 0},
      {Facts(kPlatformWin32Nt, 6, 3, kArchitectureAmd64), 1, 0, 0},
      {Facts(kPlatformWin32Nt, 10, 0, kArchitectureAmd64), 1, 0, 0},
      {Facts(kPlatformWin32Nt, 10, 0, kArchitectureIntel), 1, 0, 1},
      {Facts(kPlatformWin32Nt, 5, 1, kArchitectureIntel), 1, 0, 1},
      {Facts(kPlatformWin32Nt, 5, 2, 6 /* IA64 */), 1, 0, 1},
      {Facts(kPlatformWin32Nt, 4, 0, kArchitectureIntel), 0, 0, 1},
      {Facts(1 /* Windows 9x */, 6, 1, kArchitectureAmd64), 0, 0, 0},
      {Facts(0, 6, 2, kArchitectureIntel), 0, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "platform " << c.facts.platformId << ", version " << c.facts.majorVersion << "."
                 << c.facts.minorVersion << ", architecture " << c.facts.processorArchitecture);
    os_.facts = c.facts;
    int kind = 7, architecture = 7;
    EXPECT_EQ(QueryOsInfo(&kind, &architecture), c.result);
    EXPECT_EQ(kind, c.kind);
    EXPECT_EQ(architecture, c.architecture);
  }
}

TEST_F(RuntimeTest, MissingPackagesAreTheOnesWithoutAReadableVersion) {
  const std::string fits(259, '1');     // with its terminator, 260 bytes
  const std::string tooLong(260, '1');  // does not fit a buffer of 260
  const platform::OsFacts x64 = Facts(kPlatformWin32Nt, 10, 0, kArchitectureAmd64);
  struct Case {
    const char* name;
    platform::OsFacts facts;
    std::string x86Version, x64Version;  // "-": no key; "": a key without Version
    int result, needX86, needX64;
  } cases[] = {
      {"64-bit, nothing installed", x64, "-", "-", 1, 1, 1},
      {"64-bit, both installed", x64, "10.0.40219", "10.0.40219", 1, 0, 0},
      {"64-bit 6.0, only x86 installed", Facts(kPlatformWin32Nt, 6, 0, kArchitectureAmd64),
       "10.0.40219", "-", 1, 0, 1},
      {"64-bit, only x64 installed", x64, "-", "10.0.40219", 1, 1, 0},
      {"32-bit never needs x64", Facts(kPlatformWin32Nt, 10, 0, kArchitectureIntel), "-", "-", 1, 1,
       0},
      {"keys without Version", x64, "", "", 1, 1, 1},
      {"Version that just fits", x64, fits, fits, 1, 0, 0},
      {"Version too long to read", x64, tooLong, tooLong, 1, 1, 1},
      {"not NT: both", Facts(1, 6, 0, kArchitectureIntel), "10.0.40219", "10.0.40219", 0, 1, 1},
      {"NT 4: both", Facts(kPlatformWin32Nt, 4, 0, kArchitectureIntel), "10.0.40219", "10.0.40219",
       0, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CountingKeyStore keys;
    platform::Sys().keyStore = &keys;
    for (RuntimePackageId id : {kRuntimeX86, kRuntimeX64}) {
      const std::string& version = id == kRuntimeX86 ? c.x86Version : c.x64Version;
      if (version == "-") continue;
      auto key =
          keys.CreateKey(RuntimePackageOf(id).uninstallKey, platform::KeyView::Default, nullptr);
      ASSERT_TRUE(key);
      key->SetString("DisplayName", "runtime");
      if (!version.empty()) key->SetString("Version", version);
    }
    os_.facts = c.facts;
    int needX86 = 7, needX64 = 7;
    EXPECT_EQ(DetectMissingRuntimes(&needX86, &needX64), c.result);
    EXPECT_EQ(needX86, c.needX86);
    EXPECT_EQ(needX64, c.needX64);
  }
}

TEST_F(RuntimeTest, VersionsSixOneAndSixTwoNeedNothingAndLookNothingUp) {
  for (uint32_t minor : {1u, 2u}) {
    for (uint16_t arch : {kArchitectureAmd64, kArchitectureIntel}) {
      os_.facts = Facts(kPlatformWin32Nt, 6, minor, arch);
      keys_.lookups = 0;
      int needX86 = 7, needX64 = 7;
      EXPECT_EQ(DetectMissingRuntimes(&needX86, &needX64), 1);
      EXPECT_EQ(needX86, 0);
      EXPECT_EQ(needX64, 0);
      EXPECT_EQ(keys_.lookups, 0) << "6." << minor;
    }
  }
}

TEST_F(RuntimeTest, EachPackageIsFetchedCountedAndStartedWithoutWaiting) {
  Serve(kRuntimeX86, kX86Body);
  Serve(kRuntimeX64, kX64Body);
  InstallContext c = Context(1, 8);
  EXPECT_EQ(InstallMissingRuntimes(c, 1, 1), 1);
  EXPECT_EQ(Shown(), (Lines{
                         "SetStatusText(正在下载 vcredist_x86.exe)",
                         "SetTotalPercent(12.50%)",
                         "SetTotalPos(1)",
                         "SetStatusText(正在安装 vcredist_x86.exe)",
                         "SetStatusText(正在下载 vcredist_x64.exe)",
                         "SetTotalPercent(25.00%)",
                         "SetTotalPos(2)",
                         "SetStatusText(正在安装 vcredist_x64.exe)",
                     }));
  EXPECT_EQ(c.currentStep, 3);
  EXPECT_EQ(server_.requests(), (Lines{RuntimePackageOf(kRuntimeX86).serverPath,
                                       RuntimePackageOf(kRuntimeX64).serverPath}));
  EXPECT_EQ(Starts(), (Lines{Local(kRuntimeX86) + " /q shown nowait",
                             Local(kRuntimeX64) + " /q shown nowait"}));
  EXPECT_EQ(ReadFileText(Local(kRuntimeX86)), kX86Body);
  EXPECT_EQ(ReadFileText(Local(kRuntimeX64)), kX64Body);

  // A digest configured in capitals is the same digest.
  std::string upper = Sha256Of(kX86Body);
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  RuntimeSources().sha256[kRuntimeX86] = upper;
  processes_.started.clear();
  InstallContext again = Context(1, 8);
  EXPECT_EQ(InstallMissingRuntimes(again, 1, 0), 1);
  EXPECT_EQ(Starts(), Lines{Local(kRuntimeX86) + " /q shown nowait"});

  // Only what is needed is fetched.
  processes_.started.clear();
  sink_.calls.clear();
  InstallContext only = Context(2, 4);
  EXPECT_EQ(InstallMissingRuntimes(only, 0, 1), 1);
  EXPECT_EQ(Starts(), Lines{Local(kRuntimeX64) + " /q shown nowait"});
  EXPECT_EQ(Shown().front(), "SetStatusText(正在下载 vcredist_x64.exe)");
  EXPECT_EQ(only.currentStep, 3);
  EXPECT_EQ(InstallMissingRuntimes(only, 0, 0), 1);
  EXPECT_EQ(processes_.started.size(), 1u);
  EXPECT_EQ(server_.requests().size(), 4u);  // x86, x64, x86 again, x64
}

TEST_F(RuntimeTest, PackageThatFailsOrIsNotTheExpectedOneIsNeverStarted) {
  struct Case {
    const char* name;
    std::string served;   // empty: not on the server
    std::string earlier;  // left in the temporary folder by an earlier run
    std::string pinned;   // the SHA-256 expected for x86
  } cases[] = {
      {"not on the server", "", "", Sha256Of(kX86Body)},
      {"other bytes", "replaced on the way", "", Sha256Of(kX86Body)},
      {"no digest configured", kX86Body, "", ""},
      {"not on the server, other bytes left from before", "", "planted", Sha256Of(kX86Body)},
      // A file this run did not fetch may belong to someone who can still
      // change it between the check and the start.
      {"not on the server, the right bytes left from before", "", kX86Body, Sha256Of(kX86Body)},
  };
  for (const Case& cs : cases) {
    SCOPED_TRACE(cs.name);
    FileServer server(&timeline_);
    RuntimeSources().host = server.base().substr(7);
    RuntimeSources().sha256[kRuntimeX86] = cs.pinned;
    if (!cs.served.empty()) server.Put(RuntimePackageOf(kRuntimeX86).serverPath, cs.served);
    server.Put(RuntimePackageOf(kRuntimeX64).serverPath, kX64Body);
    fs::remove(Local(kRuntimeX86));
    if (!cs.earlier.empty()) PutFile(Local(kRuntimeX86), cs.earlier);
    processes_.started.clear();
    sink_.calls.clear();
    InstallContext c = Context(1, 8);
    EXPECT_EQ(InstallMissingRuntimes(c, 1, 1), 1);
    // The failure is shown, the bar stays, and x64 takes the same step.
    EXPECT_EQ(Shown(), (Lines{
                           "SetStatusText(正在下载 vcredist_x86.exe)",
                           "SetStatusText(下载vcredist_x86.exe 失败)",
                           "SetCancelCaption(下载VS库失败)",
                           "SetStatusText(正在下载 vcredist_x64.exe)",
                           "SetTotalPercent(12.50%)",
                           "SetTotalPos(1)",
                           "SetStatusText(正在安装 vcredist_x64.exe)",
                       }));
    EXPECT_EQ(c.currentStep, 2);
    EXPECT_EQ(Starts(), Lines{Local(kRuntimeX64) + " /q shown nowait"});
  }
}

}  // namespace
