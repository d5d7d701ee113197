// Local security: the shared runtime folder, the lock and the log never
// trust what another user may have put there; private keys are private.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/posix/posix_services.h"
#include "tests/fakes.h"
#include "tests/process_helpers.h"

namespace fs = std::filesystem;

namespace {

TEST(RuntimeFolder, OneThatIsNotOursOrOpenToOthersIsRefused) {
  Sandbox sandbox;
  ScopedServices scope;
  RecordingLog log;
  platform::Sys().log = &log;
  ScopedEnv env;
  env.Set("DOWNLOADER_ROOT", nullptr);
  env.Set("XDG_RUNTIME_DIR", nullptr);
  env.Set("TMPDIR", sandbox.cwd().c_str());
  const std::string dir = sandbox.cwd() + "/downloader-runtime-" + std::to_string(getuid());
  platform::PosixLocations locations;
  struct Case {
    const char* name;
    std::function<void()> make;
    std::string why;  // empty: the folder is used
  } cases[] = {
      {"made by us", [] {}, ""},
      {"open to everyone", [&] { fs::create_directory(dir), chmod(dir.c_str(), 0777); },
       "other users have access to it (mode 0777)"},
      {"a link", [&] { fs::create_directory_symlink(sandbox.cwd(), dir); }, "it is a link"},
      {"another user's", [&] { fs::create_directory(dir), chown(dir.c_str(), 65534, 65534); },
       "it belongs to user 65534, not to us"},
  };
  for (const Case& c : cases) {
    if (c.why.find("65534") != std::string::npos && geteuid() != 0) continue;  // needs root
    fs::remove_all(dir);
    c.make();
    log.lines.clear();
    EXPECT_EQ(locations.RuntimeDir(), c.why.empty() ? dir : "") << c.name;
    if (!c.why.empty()) {
      // Said once per process: the first refusal of this run is in the log.
      EXPECT_TRUE(log.lines.empty() || log.lines[0].find(c.why) != std::string::npos)
          << c.name << ": " << (log.lines.empty() ? "" : log.lines[0]);
    }
  }
  fs::remove_all(dir);
}

TEST(RuntimeFolder, RefusalIsExplainedAndStartUpCannotInitialize) {
  Sandbox sandbox;
  const std::string tmp = sandbox.cwd() + "/tmp";
  const std::string dir = tmp + "/downloader-runtime-" + std::to_string(getuid());
  fs::create_directories(dir);
  chmod(dir.c_str(), 0777);
  ChildProcess cli;
  ASSERT_TRUE(cli.Start(BinPath("downloader-cli"), {}, sandbox.cwd(),
                        {{"DOWNLOADER_ROOT", ""},
                         {"XDG_RUNTIME_DIR", ""},
                         {"TMPDIR", tmp},
                         {"DOWNLOADER_UNATTENDED", "1"}}));
  EXPECT_EQ(cli.Wait(20000), 0);
  EXPECT_NE(cli.Output().find("runtime folder refused(" + dir +
                              "): other users have access to it (mode 0777)"),
            std::string::npos)
      << cli.Output();
  EXPECT_NE(cli.Output().find("Can not initialize."), std::string::npos);
  EXPECT_NE(ReadFileText(tmp + "/downloader.log").find("runtime folder refused"),
            std::string::npos);
}

TEST(RuntimeFolder, LockAndLogAreNeverOpenedThroughALink) {
  Sandbox sandbox;
  ScopedServices scope;
  const std::string victim = sandbox.cwd() + "/victim";
  const std::string runtime = platform::Sys().locations->RuntimeDir();
  ASSERT_FALSE(runtime.empty());
  fs::remove(runtime + "/downloader_NAVRO_999");
  fs::create_symlink(victim, runtime + "/downloader_NAVRO_999");
  platform::PosixInstanceLock lock;
  lock.Acquire("downloader_NAVRO_999");
  EXPECT_FALSE(fs::exists(victim));
  fs::remove(runtime + "/downloader_NAVRO_999");

  const std::string logPath = platform::Sys().locations->TempDir() + "/downloader.log";
  fs::remove(logPath);
  fs::create_symlink(victim, logPath);
  platform::PosixDiagnosticLog log;
  log.Write("must not land in the victim");
  EXPECT_FALSE(fs::exists(victim));
  fs::remove(logPath);
}

TEST(KeyFiles, PrivateKeysAreOnlyForTheirOwner) {
  Sandbox sandbox;
  ChildProcess keygen;
  const std::string out = sandbox.cwd() + "/keys";
  ASSERT_TRUE(keygen.Start(BinPath("release-tool"), {"keygen", "--out", out}, "/", {}));
  ASSERT_EQ(keygen.Wait(60000), 0) << keygen.Output();
  auto mode = [](const std::string& p) {
    struct stat st {};
    stat(p.c_str(), &st);
    return st.st_mode & 0777;
  };
  EXPECT_EQ(mode(out + "/envelope-key.txt"), 0600u);
  EXPECT_EQ(mode(out + "/manifest-private.pem"), 0600u);
  EXPECT_EQ(mode(out + "/manifest-public.pem"), 0644u);
}

}  // namespace
