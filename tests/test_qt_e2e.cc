// The real Qt downloader on an X server of its own (Xvfb, started here)
// against assistant-server: a first installation clicked through page by
// page with real pointer input (xdotool), checked on the installed files,
// the key store and the started stand-ins.
#include <signal.h>

#include <filesystem>
#include <sstream>

#include "app/settings.h"
#include "tests/release_fixture.h"

namespace fs = std::filesystem;

namespace {

class QtE2E : public ReleaseFixture {
 protected:
  void SetUp() override {
    ReleaseFixture::SetUp();
    // -displayfd prints the number of the display it took.
    ASSERT_TRUE(xvfb_.Start("/usr/bin/Xvfb",
                            {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                            "/", {}));
    ASSERT_TRUE(WaitUntil(
        [&] {
          std::string out = xvfb_.Output();
          return !out.empty() && out.find('\n') != std::string::npos;
        },
        15000))
        << xvfb_.Output();
    display_ = ":" + xvfb_.Output().substr(0, xvfb_.Output().find('\n'));
  }
  void TearDown() override {
    ReleaseFixture::TearDown();
    xvfb_.Kill(SIGTERM);
    xvfb_.Wait(5000);
  }
  // Runs xdotool on our display; its output.
  std::string XDo(const std::vector<std::string>& args) {
    ChildProcess tool;
    if (!tool.Start("/usr/bin/xdotool", args, "/", {{"DISPLAY", display_}})) return {};
    tool.Wait(10000);
    return tool.Output();
  }
  std::string Log() const { return ReadFileText(sandbox_.root() + "/tmp/downloader.log"); }
  bool Shown(int page) {
    return WaitUntil(
        [&] { return Log().find("page " + std::to_string(page) + " shown") != std::string::npos; },
        20000);
  }
  // The position of the page that is shown, once its window is mapped
  // (false when none is within 10 s).
  bool ShownPageAt(int* x, int* y) {
    return WaitUntil(
        [&] {
          std::string geometry = XDo(
              {"search", "--onlyvisible", "--name", windowTitle, "getwindowgeometry", "--shell"});
          bool found = false;
          std::istringstream lines(geometry);
          for (std::string line; std::getline(lines, line);) {
            if (line.rfind("X=", 0) == 0) *x = std::stoi(line.substr(2));
            if (line.rfind("Y=", 0) == 0) *y = std::stoi(line.substr(2));
            if (line.rfind("WIDTH=", 0) == 0) found = std::stoi(line.substr(6)) == 395 * 6 / 4;
          }
          return found;
        },
        10000);
  }
  // Clicks the middle of a control given in dialog units, on the page
  // that is shown.
  void Click(int x, int y, int w, int h) {
    int wx = 0, wy = 0;
    ASSERT_TRUE(ShownPageAt(&wx, &wy));
    int cx = wx + (x + w / 2) * 6 / 4, cy = wy + (y + h / 2) * 13 / 8;
    XDo({"mousemove", "--sync", std::to_string(cx), std::to_string(cy), "click", "1"});
  }

  ChildProcess xvfb_;
  std::string display_;
};

TEST_F(QtE2E, FirstInstallationClickedThroughPageByPage) {
  StartServer("1.0.0.12", 0);
  ChildProcess downloader;
  ASSERT_TRUE(downloader.Start(
      BinPath("downloader"), {}, sandbox_.cwd(),
      {{"DOWNLOADER_ROOT", sandbox_.root()}, {"DISPLAY", display_}, {"QT_QPA_PLATFORM", "xcb"}}));
  ASSERT_TRUE(Shown(130)) << downloader.Output();
  ASSERT_TRUE(Shown(132)) << Log();
  Click(242, 190, 55, 15);  // 安装
  ASSERT_TRUE(Shown(134)) << Log();
  Click(78, 61, 48, 10);    // untick 我的桌面
  Click(240, 192, 55, 15);  // 下一步
  ASSERT_TRUE(Shown(135)) << Log();
  EXPECT_EQ(downloader.Wait(60000), 0) << downloader.Output() << Log();

  EXPECT_EQ(Reg(kSettingsKey, "Version"), "1.0.0.12");
  EXPECT_EQ(Reg(kSettingsKey, "Path"), InstallDir());
  EXPECT_EQ(FilesDifferingFromRelease(), std::vector<std::string>{});
  EXPECT_FALSE(fs::exists(sandbox_.root() + "/desktop/" + BankProfile.assistantName + ".desktop"))
      << "the unticked box";
  EXPECT_TRUE(fs::exists(sandbox_.root() + "/config/Microsoft/Internet Explorer/Quick Launch/" +
                         BankProfile.assistantName + ".desktop"));
  bool started = false;
  for (const std::string& line : StandInLog(InstallDir(), "WebUI_801.exe"))
    if (line.find("start [] shown") != std::string::npos) started = true;
  EXPECT_TRUE(started);
}

}  // namespace
