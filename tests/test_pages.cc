// The wizard's page controllers, driven without any front end.
#include <gtest/gtest.h>

#include <fstream>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "tests/fake_key_store.h"
#include "tests/fakes.h"
#include "tests/install_fixtures.h"
#include "tests/page_fixtures.h"
#include "ui/install_dlg.h"
#include "ui/page_common.h"
#include "ui/update_dlg.h"

namespace fs = std::filesystem;
using platform::DriveKind;
using Events = std::vector<std::string>;

namespace {

class Pages : public testing::Test {
 protected:
  void SetUp() override {
    ResetProcessRecords();
    LoadBankProfile();
    // As start-up leaves them.
    createDesktopShortcut = createStartMenuShortcut = createQuickLaunchShortcut = true;
    platform::Sys().dialogs = &dialogs_;
    platform::Sys().clock = &clock_;
    platform::Sys().processExit = &exit_;
    platform::Sys().processes = &processes_;
    platform::Sys().fileSystem = &files_;
    platform::Sys().keyStore = &keys_;
  }
  void TearDown() override { ResetProcessRecords(); }
  // The texts of the message boxes shown so far.
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& m : dialogs_.messages) texts.push_back(m.text);
    return texts;
  }

  Sandbox sandbox_;
  ScopedEnv root_{"DOWNLOADER_ROOT", sandbox_.root()};
  ScopedServices scope_;
  RecordingFrontEnd dialogs_;
  FakeClock clock_;
  FakeExit exit_;
  Timeline timeline_;
  FakeProcesses processes_{&timeline_};
  DriveMapFileSystem files_;
  FakeKeyStore keys_;
  RecordingView view_;
  RecordingPages pages_{&view_.events};
};

// ---- options page -------------------------------------------------------

TEST_F(Pages, OptionsPageOpensWithAllBoxesTickedTwoHiddenAndTheDefaultFolder) {
  createDesktopShortcut = false;  // an earlier visit unticked it
  COptionDlg page(view_, pages_);
  page.OnInitDialog();
  EXPECT_EQ(page.heading(), "创建" + BankProfile.assistantName + "的快捷方式在：");
  for (int id : {COptionDlg::kStartMenu, COptionDlg::kDesktop, COptionDlg::kQuickLaunch,
                 COptionDlg::kAutoStart})
    EXPECT_TRUE(page.checked(id)) << id;
  EXPECT_TRUE(page.shown(COptionDlg::kStartMenu));
  EXPECT_TRUE(page.shown(COptionDlg::kDesktop));
  EXPECT_FALSE(page.shown(COptionDlg::kQuickLaunch));
  EXPECT_FALSE(page.shown(COptionDlg::kAutoStart));
  EXPECT_TRUE(autoStart);
  EXPECT_FALSE(createDesktopShortcut) << "ticking the display leaves the flag alone";
  std::string expected =
      platform::Sys().locations->ProgramFilesDir() + "/" + BankProfile.installSubdir;
  EXPECT_EQ(page.folderText(), expected);
  EXPECT_EQ(view_.events, Events{"folder " + expected});
  EXPECT_EQ(page.placement(), PagePlacement::AtLastRect);
}

TEST_F(Pages, OptionsPageFolderRules) {
  const std::string box = sandbox_.cwd();
  std::ofstream(box + "/plainfile") << "x";
  files_.kinds = {{"/media/usb", DriveKind::Removable},
                  {"/media/cdrom", DriveKind::Optical},
                  {box + "/share", DriveKind::Remote},
                  {box + "/ram", DriveKind::RamDisk},
                  {box + "/odd", DriveKind::Unknown}};
  struct Case {
    std::string folder;
    bool accepted;
    std::string installDir;  // what Next leaves in installDir
  };
  const Case cases[] = {
      {"", false, "before"},
      {"relative/folder", false, "before"},
      {"/media/usb/bank", false, "before"},
      {"/media/cdrom/bank", false, "before"},
      // A folder that cannot be made: installDir already holds the new text.
      {box + "/plainfile/sub", false, box + "/plainfile/sub"},
      {box + "//deep///new/", true, box + "/deep/new/"},
      {box + "/share/a", true, box + "/share/a"},
      {box + "/ram/a", true, box + "/ram/a"},
      {box + "/odd/a", true, box + "/odd/a"},
      // Names no Windows path may hold, or with no narrow form.
      {box + "/x\x1b[31mred", false, "before"},
      {box + "/tab\there", false, "before"},
      {box + "/bad\xff\xfeutf8", false, "before"},
      {box + "/中文 目录", true, box + "/中文 目录"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    RunSettings.installDir = "before";
    view_.events.clear();
    dialogs_.messages.clear();
    COptionDlg page(view_, pages_);
    page.OnInitDialog();
    view_.events.clear();
    page.OnFolderEdited(c.folder);
    page.OnNext();
    EXPECT_EQ(RunSettings.installDir, c.installDir);
    if (c.accepted) {
      EXPECT_TRUE(Messages().empty());
      EXPECT_EQ(view_.events, (Events{"hide", "run progress 0", "end 2"}));
      EXPECT_TRUE(fs::is_directory(c.installDir));
    } else {
      EXPECT_EQ(Messages(), std::vector<std::string>{"路径不合法"});
      EXPECT_EQ(dialogs_.messages[0].caption, BankProfile.downloaderTitle);
      EXPECT_TRUE(view_.events.empty()) << "the page stays";
    }
  }
  EXPECT_FALSE(fs::exists("/media/usb/bank"));
}

TEST_F(Pages, NextAsksAboutTheBrowserFirst) {
  processes_.Run("IEXPLORE.EXE");
  COptionDlg page(view_, pages_);
  page.OnInitDialog();
  page.OnFolderEdited("relative");
  view_.events.clear();

  dialogs_.answer = false;  // keep the browser: nothing else happens
  page.OnNext();
  EXPECT_EQ(Messages(), std::vector<std::string>{"安装过程中需关闭IE浏览器，是否继续？"});
  EXPECT_EQ(dialogs_.messages[0].caption, BankProfile.downloaderTitle);
  EXPECT_TRUE(processes_.IsRunning("IEXPLORE.EXE"));
  EXPECT_TRUE(RunSettings.installDir.empty());
  EXPECT_TRUE(view_.events.empty());

  // Yes closes the browser; the folder then proves invalid and the page stays.
  dialogs_.answer = true;
  dialogs_.messages.clear();
  page.OnNext();
  EXPECT_FALSE(processes_.IsRunning("IEXPLORE.EXE"));
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{"安装过程中需关闭IE浏览器，是否继续？", "路径不合法"}));
  EXPECT_TRUE(view_.events.empty());
}

TEST_F(Pages, BrowseAppendsTheSubfolderAndARootCollapsesOnNext) {
  COptionDlg page(view_, pages_);
  page.OnInitDialog();
  std::string before = page.folderText();
  page.OnBrowse();  // cancelled picker
  EXPECT_EQ(page.folderText(), before);

  std::string root = sandbox_.cwd() + "/";  // a folder given with its separator
  view_.browseAnswer = &root;
  page.OnBrowse();
  EXPECT_EQ(page.folderText(), root + "/" + BankProfile.installSubdir);
  EXPECT_EQ(view_.events.back(), "folder " + page.folderText());
  EXPECT_EQ(view_.events[view_.events.size() - 2], "browse 选择网银的安装路径:");
  page.OnNext();
  EXPECT_EQ(RunSettings.installDir, sandbox_.cwd() + "/" + BankProfile.installSubdir);
  EXPECT_TRUE(fs::is_directory(RunSettings.installDir));
}

TEST_F(Pages, BackAndNextKeepTheFlagsTheUserSet) {
  COptionDlg first(view_, pages_);
  first.OnInitDialog();
  first.OnCheckClicked(COptionDlg::kDesktop, false);
  EXPECT_FALSE(createDesktopShortcut);
  EXPECT_TRUE(createStartMenuShortcut);
  view_.events.clear();
  first.OnBack();
  EXPECT_EQ(view_.events, (Events{"hide", "run install", "end 2"}));

  // The welcome page's Install opens a new options page.
  view_.events.clear();
  CInstallDlg welcome(view_, pages_);
  welcome.OnInstall();
  EXPECT_EQ(view_.events, (Events{"hide", "run option", "end 2"}));
  COptionDlg second(view_, pages_);
  second.OnInitDialog();
  EXPECT_TRUE(second.checked(COptionDlg::kDesktop)) << "the box shows ticked again";
  EXPECT_FALSE(createDesktopShortcut) << "but the shortcut stays off";
  second.OnCheckClicked(COptionDlg::kStartMenu, false);
  second.OnCheckClicked(COptionDlg::kDesktop, true);
  second.OnFolderEdited(sandbox_.cwd() + "/x");
  second.OnNext();
  EXPECT_TRUE(createDesktopShortcut);
  EXPECT_FALSE(createStartMenuShortcut);
  EXPECT_TRUE(createQuickLaunchShortcut);
  EXPECT_TRUE(autoStart);
}

TEST(DriveKinds, LinuxVolumes) {
  platform::PosixFileSystem files;
  EXPECT_EQ(files.GetDriveKind(""), DriveKind::NoRoot);
  EXPECT_EQ(files.GetDriveKind("opt/bank"), DriveKind::NoRoot);
  Sandbox sandbox;
  // A folder yet to be made lies on its nearest existing parent's volume.
  EXPECT_EQ(files.GetDriveKind(sandbox.cwd() + "/not/yet/made"), files.GetDriveKind(sandbox.cwd()));
  EXPECT_NE(files.GetDriveKind(sandbox.cwd()), DriveKind::NoRoot);
  if (fs::is_directory("/dev/shm")) {
    EXPECT_EQ(files.GetDriveKind("/dev/shm/x"), DriveKind::RamDisk);
  }
  EXPECT_EQ(files.GetDriveKind("/proc/self"), DriveKind::Fixed);
}

TEST(CollapseSeparators, RunsBecomeOne) {
  EXPECT_EQ(CollapseSeparators("/a//b///c/"), "/a/b/c/");
  EXPECT_EQ(CollapseSeparators("//"), "/");
  EXPECT_EQ(CollapseSeparators(""), "");
}

// ---- version query page -------------------------------------------------

class QueryPage : public Pages {
 protected:
  // Answers the queries in turn with outcomes; the last one repeats.
  CGetInternetDlg::Query Script(std::vector<VersionOutcome> outcomes) {
    return [this, outcomes](VersionAnswer* answer) {
      VersionOutcome o = outcomes[std::min(queries_, outcomes.size() - 1)];
      ++queries_;
      if (o == VersionOutcome::Answer) *answer = {"1.0.0.12", "http://files", "0"};
      return o;
    };
  }
  size_t queries_ = 0;
};

TEST_F(QueryPage, TwoRetriesThenOnlyCancel) {
  CGetInternetDlg page(view_, pages_, Script({VersionOutcome::NoAnswer}));
  page.OnInitDialog();
  EXPECT_EQ(view_.events,
            (Events{"retry hidden", "worker", "retry hidden", "status 正在获取版本信息...",
                    "retry shown", "status 服务器没响应"}));
  EXPECT_EQ(page.state(), CGetInternetDlg::State::NoAnswerRetry);
  EXPECT_EQ(page.retriesLeft(), 2);
  page.OnRetry();
  EXPECT_EQ(page.retriesLeft(), 1);
  EXPECT_TRUE(page.retryShown());
  view_.events.clear();
  page.OnRetry();  // the third attempt fails too
  EXPECT_EQ(page.retriesLeft(), 0);
  EXPECT_EQ(view_.events.back(), "status 服务器没响应");
  EXPECT_EQ(view_.events[view_.events.size() - 2], "retry hidden");
  EXPECT_EQ(page.state(), CGetInternetDlg::State::NoAnswerFinal);
  page.OnRetry();  // the button is hidden: nothing happens
  EXPECT_EQ(queries_, 3u);
  EXPECT_EQ(page.retriesLeft(), 0);
}

TEST_F(QueryPage, AnAnswerThatCannotBeReadLeavesThePageStuck) {
  for (VersionOutcome o : {VersionOutcome::CannotOpen, VersionOutcome::NotJson}) {
    view_.events.clear();
    CGetInternetDlg page(view_, pages_, Script({o}));
    page.OnInitDialog();
    EXPECT_EQ(page.state(), CGetInternetDlg::State::Stuck);
    EXPECT_FALSE(page.retryShown());
    EXPECT_EQ(view_.events.back(), "status 正在获取版本信息...");
    size_t before = queries_;
    page.OnRetry();
    EXPECT_EQ(queries_, before) << "Retry is not offered";
  }
}

TEST_F(QueryPage, AnAnswerAfterARetryRunsTheWizardAndEndsThePage) {
  CGetInternetDlg page(view_, pages_, Script({VersionOutcome::NoAnswer, VersionOutcome::Answer}));
  page.OnInitDialog();
  view_.events.clear();
  page.OnRetry();
  EXPECT_EQ(view_.events, (Events{"retry hidden", "worker", "retry hidden",
                                  "status 正在获取版本信息...", "hide", "run install", "end 0"}));
  EXPECT_EQ(RunSettings.serverVersion, "1.0.0.12");
  EXPECT_EQ(RunSettings.downloadUrl, "http://files");
  EXPECT_EQ(clock_.sleeps, std::vector<uint32_t>{500});
  EXPECT_EQ(page.placement(), PagePlacement::Platform);
}

// ---- quit question ------------------------------------------------------

TEST_F(Pages, QuitQuestionYesEndsWithZeroNoChangesNothing) {
  CGetInternetDlg query(view_, pages_, [](VersionAnswer*) { return VersionOutcome::NoAnswer; });
  query.OnInitDialog();
  CInstallDlg welcome(view_, pages_);
  COptionDlg options(view_, pages_);
  options.OnInitDialog();
  const std::vector<std::function<void()>> cancels = {
      [&] { query.OnCancel(); }, [&] { welcome.OnCancel(); }, [&] { options.OnCancel(); }};
  for (const auto& cancel : cancels) {
    view_.events.clear();
    dialogs_.messages.clear();
    dialogs_.answer = false;
    cancel();
    ASSERT_EQ(Messages(), std::vector<std::string>{"是否退出网银助手安装？"});
    EXPECT_EQ(dialogs_.messages[0].caption, BankProfile.downloaderTitle);
    EXPECT_TRUE(view_.events.empty());
    dialogs_.answer = true;
    try {
      cancel();
      ADD_FAILURE() << "Yes must end the process";
    } catch (const ExitCalled& e) {
      EXPECT_EQ(e.code, 0);
      EXPECT_TRUE(e.immediate);
    }
  }
  EXPECT_EQ(query.state(), CGetInternetDlg::State::NoAnswerRetry);
}

// ---- update prompt ------------------------------------------------------

TEST_F(Pages, UpdatePromptKinds) {
  struct Case {
    int kind;
    uint32_t image;
    std::string question;
  };
  const Case cases[] = {{0, 180, "网银助手有新版本，是否现在更新？"},
                        {1, 184, "是否重新安装网银助手？"},
                        {7, 184, "是否重新安装网银助手？"}};
  for (const Case& c : cases) {
    CUpdateDlg page(view_, pages_, c.kind);
    EXPECT_EQ(page.imageId(), c.image) << c.kind;
    EXPECT_EQ(page.question(), c.question) << c.kind;
    EXPECT_EQ(page.placement(), PagePlacement::Centered);
  }
}

TEST_F(Pages, UpdatePromptCancelAndOk) {
  processes_.Run("iexplore.exe");
  CUpdateDlg page(view_, pages_, 0);
  page.OnCancel();
  EXPECT_EQ(view_.events, Events{"end 2"});
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_TRUE(processes_.IsRunning("iexplore.exe"));

  view_.events.clear();
  dialogs_.answer = false;
  page.OnOK();  // the browser stays: so does the page
  EXPECT_TRUE(view_.events.empty());
  EXPECT_TRUE(processes_.IsRunning("iexplore.exe"));
  EXPECT_EQ(dialogs_.messages.at(0).caption, BankProfile.assistantName);

  dialogs_.answer = true;
  page.OnOK();
  EXPECT_FALSE(processes_.IsRunning("iexplore.exe"));
  EXPECT_EQ(view_.events, (Events{"hide", "run progress 1", "end 2"}));
}

// ---- progress page ------------------------------------------------------

class ProgressPage : public Pages {
 protected:
  void SetUp() override {
    Pages::SetUp();
    RunSettings.installDir = sandbox_.cwd() + "/inst";
    RunSettings.downloadUrl = "http://files";
    RunSettings.serverVersion = "1.0.0.12";
  }
  // A job that only notes what it was given and runs body.
  CProgressDlg::Job Job(std::function<void(ProgressSink*)> body) {
    return [this, body](ProgressSink* sink, std::unique_ptr<InstallContext> context) {
      jobMode_ = context->mode;
      jobDir_ = context->installDir;
      jobSink_ = context->sink;
      if (body) body(sink);
    };
  }
  InstallMode jobMode_ = Install;
  std::string jobDir_;
  ProgressSink* jobSink_ = nullptr;
};

TEST_F(ProgressPage, OpeningStartsTheJobAndTheTimerAndRegistersThePage) {
  for (InstallMode mode : {Install, Update, Repair}) {
    view_.events.clear();
    CProgressDlg page(view_, mode, Job(nullptr));
    page.OnInitDialog();
    EXPECT_EQ(view_.events, (Events{"label 1024 0%", "picture 177", "worker", "timer 4000"}));
    EXPECT_EQ(jobMode_, mode);
    EXPECT_EQ(jobDir_, RunSettings.installDir);
    EXPECT_EQ(jobSink_, &page);
    EXPECT_EQ(progressDialog, &page);
    EXPECT_EQ(page.placement(),
              mode == Install ? PagePlacement::AtLastRect : PagePlacement::Centered);
  }
  EXPECT_EQ(progressDialog, nullptr) << "a page that is gone is no longer registered";
}

// Notes each sleep among the view's events.
class EventClock : public platform::Clock {
 public:
  explicit EventClock(std::vector<std::string>* events) : events_(events) {}
  void SleepMs(uint32_t ms) override { events_->push_back("sleep " + std::to_string(ms)); }

 private:
  std::vector<std::string>* events_;
};

TEST_F(ProgressPage, AForcedUpdateHandsOffBeforeThePageShows) {
  EventClock clock(&view_.events);
  platform::Sys().clock = &clock;
  fs::create_directories(RunSettings.installDir);
  std::ofstream(RunSettings.installDir + "/" + RunSettings.webUiExeName) << "ui";
  for (int32_t updateMode : {PromptUpdate, ForceUpdate}) {
    view_.events.clear();
    timeline_.Clear();
    RunSettings.updateMode = updateMode;
    CProgressDlg page(view_, Update, Job(nullptr));
    page.OnInitDialog();
    if (updateMode == ForceUpdate) {
      EXPECT_EQ(view_.events,
                (Events{"sleep 3000", "label 1024 0%", "picture 177", "worker", "timer 4000"}));
      // The UI program was told to quit first.
      ASSERT_FALSE(processes_.started.empty());
      EXPECT_EQ(processes_.started.back().parameters, "-t");
    } else {
      EXPECT_EQ(view_.events, (Events{"label 1024 0%", "picture 177", "worker", "timer 4000"}));
    }
  }
}

TEST_F(ProgressPage, EverySinkCallReachesThePage) {
  view_.holdWorkers = true;
  CProgressDlg page(view_, Install, Job(nullptr));
  page.OnInitDialog();
  view_.events.clear();
  ProgressSink& sink = page;
  sink.SetStatusText("正在下载 a.dll");
  sink.SetCurrentRange(200);
  sink.SetCurrentPos(50);
  sink.SetCurrentPercent("25.00%");
  sink.SetTotalRange(4);
  sink.SetTotalPos(1);
  sink.SetTotalPercent("25.00%");
  sink.SetCurrentPercent("100%");
  sink.SetCancelCaption("下载完成");
  EXPECT_EQ(view_.events, (Events{"label 1020 正在下载 a.dll", "bar 1021 0/200", "bar 1021 50/200",
                                  "label 1023 25.00%", "bar 1022 0/4", "bar 1022 1/4",
                                  "label 1024 25.00%", "label 1023 100%", "caption 下载完成"}));
  EXPECT_EQ(page.label(CProgressDlg::kStatus), "正在下载 a.dll");
  EXPECT_EQ(page.label(CProgressDlg::kCurrentPercent), "100%");
  EXPECT_EQ(page.barPos(CProgressDlg::kTotalBar), 1u);
  EXPECT_EQ(page.cancelCaption(), "下载完成");
  EXPECT_FALSE(page.workerFinished());
  sink.SetWorkerFinished();
  EXPECT_TRUE(page.workerFinished());
}

TEST_F(ProgressPage, PicturesAlternateOnEveryTick) {
  CProgressDlg page(view_, Install, Job(nullptr));
  page.OnInitDialog();
  view_.events.clear();
  for (int i = 0; i < 3; ++i) page.OnTimer();
  EXPECT_EQ(view_.events, (Events{"picture 178", "picture 177", "picture 178"}));
}

TEST_F(ProgressPage, CancelAsksWhileTheWorkerRuns) {
  view_.holdWorkers = true;  // the job is still running
  CProgressDlg page(view_, Install, Job(nullptr));
  page.OnInitDialog();
  view_.events.clear();
  dialogs_.answer = false;
  page.OnCancel();
  EXPECT_EQ(Messages(), std::vector<std::string>{"下载还未完成，确定取消？"});
  EXPECT_EQ(dialogs_.messages[0].caption, BankProfile.downloaderTitle);
  EXPECT_TRUE(view_.events.empty()) << "No changes nothing";
  page.SetStatusText("still going");
  EXPECT_EQ(view_.events, Events{"label 1020 still going"});

  // Yes while the worker runs ends the run: the worker never reaches a page
  // that has gone.
  dialogs_.answer = true;
  try {
    page.OnCancel();
    ADD_FAILURE() << "the run must end";
  } catch (const ExitCalled& e) {
    EXPECT_EQ(e.code, 0);
  }
}

TEST_F(ProgressPage, CancelAfterAFailureClosesAtOnce) {
  CProgressDlg page(view_, Update, Job([](ProgressSink* sink) {
                      sink->SetStatusText("下载a.dll 失败");
                      sink->SetWorkerFinished();
                    }));
  page.OnInitDialog();
  EXPECT_TRUE(page.workerReturned());
  view_.events.clear();
  page.OnCancel();
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(view_.events, (Events{"stop timer", "end 2"}));
  page.SetStatusText("late");  // a page that has ended is not reached any more
  EXPECT_EQ(view_.events, (Events{"stop timer", "end 2"}));
}

TEST_F(ProgressPage, AJobThatStoppedWithoutTheFlagStillAsks) {
  CProgressDlg page(view_, Update, Job(nullptr));
  page.OnInitDialog();
  view_.events.clear();
  dialogs_.answer = true;
  page.OnCancel();
  EXPECT_EQ(Messages(), std::vector<std::string>{"下载还未完成，确定取消？"});
  EXPECT_EQ(view_.events, (Events{"stop timer", "end 2"}));
}

}  // namespace
