// An update killed at a random moment (SIGKILL: no clean-up of any kind)
// must leave an installation that the next run brings back to the release:
// every installed file as published and the key store naming the version.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "tests/release_fixture.h"

namespace {

using UpdateCrash = ReleaseFixture;

constexpr int kRuns = 20;

}  // namespace

TEST_F(UpdateCrash, KilledAnywhereTheNextRunRestoresTheRelease) {
  // Three components large enough that, paced by the server, the copy stage
  // and the registration fall inside the window the kills are spread over.
  for (const char* name : {"Plugins/a.dll", "Plugins/b.dll", "Data/c.dat"})
    PutReleaseFile(name, std::string(96 * 1024, '0'));
  Publish();
  StartServer("1.0.0.1", 0);
  std::string out;
  ASSERT_EQ(RunDownloader({}, &out), 0) << out;

  unsigned seed = static_cast<unsigned>(std::random_device{}());
  std::printf("crash runs seeded with %u\n", seed);
  std::mt19937 random(seed);
  for (int run = 1; run <= kRuns; ++run) {
    const std::string version = "1.0.1." + std::to_string(run);
    int killAfterMs = std::uniform_int_distribution<int>(0, 4000)(random);
    SCOPED_TRACE("run " + std::to_string(run) + " of seed " + std::to_string(seed) + ": killed " +
                 std::to_string(killAfterMs) + " ms into the update to " + version);
    // Every component changes in every run.
    for (const char* name : {"Plugins/a.dll", "Plugins/b.dll", "Data/c.dat"})
      PutReleaseFile(name, std::string(96 * 1024, static_cast<char>('a' + run % 26)) + version);
    Publish();
    StartServer(version, 1, 400 * 1024);
    ChildProcess update;
    ASSERT_TRUE(StartDownloader(update, {}));
    update.CloseInput();
    std::this_thread::sleep_for(std::chrono::milliseconds(killAfterMs));
    update.Kill(SIGKILL);
    update.Wait(10000);

    // The next run, a repair or an update check, finishes the job.
    StartServer(version, 1);
    bool repair = run % 2 == 0;
    ASSERT_EQ(RunDownloader({repair ? "-losefile" : "-update"}, &out), 0) << out;
    ASSERT_EQ(FilesDifferingFromRelease(), std::vector<std::string>{}) << out;
    ASSERT_EQ(Reg(kSettingsKey, "Version"), version) << out;
  }
}
