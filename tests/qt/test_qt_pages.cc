// The Qt pages under the offscreen platform: sizes and controls, the bar's
// pixels, the sink's repaints, the picture clock, Cancel and the quit
// question. Every page is also written out as a screenshot.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <thread>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "tests/fake_key_store.h"
#include "tests/fakes.h"
#include "tests/page_fixtures.h"
#include "tests/process_helpers.h"
#include "ui/qt/qt_pages.h"
#include "ui/qt/qt_progress_page.h"

namespace {

// Processes events until the condition holds (or 5 s pass).
bool SpinUntil(const std::function<bool()>& condition) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

void Screenshot(QWidget& page, const std::string& name) {
  QDir().mkpath(TEST_OUTPUT_DIR "/screens");
  page.grab().save(QString(TEST_OUTPUT_DIR "/screens/") + Q(name) + ".png");
}

class ManualTimer : public PageTimer {
 public:
  void Start(uint32_t ms, std::function<void()> tick) override {
    period = ms;
    tick_ = std::move(tick);
  }
  void Stop() override { stopped = true; }
  void Fire() { tick_(); }
  uint32_t period = 0;
  bool stopped = false;

 private:
  std::function<void()> tick_;
};

class QtPages : public testing::Test {
 protected:
  void SetUp() override {
    ResetProcessRecords();
    LoadBankProfile();
    createDesktopShortcut = createStartMenuShortcut = createQuickLaunchShortcut = true;
    platform::Sys().dialogs = &dialogs_;
    platform::Sys().processExit = &exit_;
    platform::Sys().keyStore = &keys_;
    platform::Sys().clock = &clock_;
    RunSettings.installDir = sandbox_.cwd() + "/inst";
    RunSettings.downloadUrl = "http://files";
  }
  void TearDown() override { ResetProcessRecords(); }

  Sandbox sandbox_;
  ScopedEnv root_{"DOWNLOADER_ROOT", sandbox_.root()};
  ScopedServices scope_;
  RecordingFrontEnd dialogs_;
  FakeExit exit_;
  FakeKeyStore keys_;
  FakeClock clock_;
  std::vector<std::string> events_;
  RecordingPages pages_{&events_};
};

struct ControlSpec {
  int id;
  const char* text;  // null: not a text control
  QRect dlu;
};

void ExpectControls(SkinnedPage& page, QSize dlu, const std::vector<ControlSpec>& controls) {
  EXPECT_EQ(page.size(), QSize(DluX(dlu.width()), DluY(dlu.height())));
  EXPECT_EQ(page.windowTitle(), Q(windowTitle));
  EXPECT_TRUE(page.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(page.windowIcon().isNull());
  for (const ControlSpec& c : controls) {
    SCOPED_TRACE(c.id);
    QWidget* w = page.Control(c.id);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->geometry(), DluRect(c.dlu.x(), c.dlu.y(), c.dlu.width(), c.dlu.height()));
    if (!c.text) continue;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      EXPECT_EQ(b->text(), QString::fromUtf8(c.text));
    }
    if (auto* l = qobject_cast<QLabel*>(w)) {
      EXPECT_EQ(l->text(), QString::fromUtf8(c.text));
    }
  }
}

TEST_F(QtPages, VersionQueryPage) {
  QtQueryPage page(pages_, [](VersionAnswer*) { return VersionOutcome::NoAnswer; });
  page.Open();
  // The worker's last call sets the status: once it shows, the worker is done.
  ASSERT_TRUE(SpinUntil([&] {
    return page.Control(1030)->isVisible() &&
           static_cast<QLabel*>(page.Control(1029))->text() == "服务器没响应";
  }));
  ExpectControls(page, {395, 220},
                 {{2, "取消", {312, 185, 55, 15}},
                  {1029, "服务器没响应", {20, 191, 190, 10}},
                  {1030, "重试", {249, 185, 55, 15}}});
  EXPECT_FALSE(page.picture().isNull());
  EXPECT_EQ(page.picture().size(), QSize(588, 358));
  Screenshot(page, "130-version-query-no-answer");
}

TEST_F(QtPages, WelcomeAndOptionsPages) {
  lastWindowRect = {40, 30, 0, 0};
  QtInstallPage welcome(pages_);
  welcome.Open();
  ExpectControls(welcome, {395, 220},
                 {{1, "安装", {242, 190, 55, 15}}, {2, "取消", {321, 190, 55, 15}}});
  EXPECT_EQ(welcome.pos(), QPoint(40, 30)) << "opened at lastWindowRect";
  EXPECT_TRUE(static_cast<QPushButton*>(welcome.Control(1))->isDefault());
  Screenshot(welcome, "132-welcome");

  QtOptionPage options(pages_);
  options.Open();
  ExpectControls(options, {395, 220},
                 {{1, "下一步", {240, 192, 55, 15}},
                  {2, "取消", {326, 192, 55, 15}},
                  {1011, "后退", {14, 192, 55, 15}},
                  {1013, nullptr, {52, 26, 285, 8}},
                  {1015, "我的开始菜单程序文件夹", {78, 44, 104, 10}},
                  {1014, "快速启动栏", {242, 47, 56, 10}},
                  {1016, "我的桌面", {78, 61, 48, 10}},
                  {1031, "是否增加开机启动", {78, 79, 80, 10}},
                  {1017, nullptr, {78, 136, 197, 14}},
                  {1018, "浏览..", {279, 135, 43, 14}}});
  EXPECT_EQ(static_cast<QLabel*>(options.Control(1013))->text(),
            Q("创建" + BankProfile.assistantName + "的快捷方式在："));
  EXPECT_FALSE(options.Control(1014)->isVisible());
  EXPECT_FALSE(options.Control(1031)->isVisible());
  EXPECT_TRUE(static_cast<QCheckBox*>(options.Control(1016))->isChecked());
  EXPECT_EQ(static_cast<QLineEdit*>(options.Control(1017))->text(),
            Q(platform::Sys().locations->ProgramFilesDir() + "/" + BankProfile.installSubdir));
  EXPECT_EQ(options.picture().size(), QSize(600, 365));
  Screenshot(options, "134-options");

  // A click on a box goes to its flag; typing goes to the folder; Next runs
  // the progress page in mode Install.
  static_cast<QCheckBox*>(options.Control(1016))->click();
  EXPECT_FALSE(createDesktopShortcut);
  auto* folder = static_cast<QLineEdit*>(options.Control(1017));
  folder->selectAll();
  folder->del();
  std::string target = sandbox_.cwd() + "/typed";
  for (QChar c : Q(target)) {
    QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(folder, &key);
  }
  EXPECT_EQ(options.controller().folderText(), target);
  static_cast<QPushButton*>(options.Control(1))->click();
  EXPECT_EQ(RunSettings.installDir, target);
  EXPECT_EQ(events_, std::vector<std::string>{"run progress 0"});
}

TEST_F(QtPages, UpdatePromptsCarryTheirQuestion) {
  for (int kind : {0, 1}) {
    QtUpdatePage page(pages_, kind);
    page.Open();
    ExpectControls(page, {296, 138},
                   {{1, "确定", {159, 103, 55, 15}}, {2, "取消", {227, 103, 55, 15}}});
    EXPECT_EQ(page.picture().size(), QSize(420, 220));
    EXPECT_FALSE(page.windowFlags() & Qt::WindowMinimizeButtonHint);
    // Centred by its window rectangle (frame included), unlike the progress page.
    QRect screen = page.screen()->geometry();
    QRect frame = page.frameGeometry();
    EXPECT_EQ(frame.topLeft(), QPoint(screen.width() / 2 - frame.width() / 2,
                                      screen.height() / 2 - frame.height() / 2));
    Screenshot(page, kind == 0 ? "139-update-offered" : "139-reinstall-offered");
  }
  QImage update, reinstall;
  ASSERT_TRUE(LoadArt(&update, BankProfile.updateImageId));
  ASSERT_TRUE(LoadArt(&reinstall, BankProfile.reinstallImageId));
  EXPECT_NE(update, reinstall) << "each kind has its own question";
}

// ---- the bar ----

TEST(MyProgress, FillIsTruncatedAndTiled) {
  CMyProgress bar;
  bar.resize(318, 16);
  const QColor background(128, 119, 122);
  auto image = [&](int upper, int pos) {
    bar.setRange(0, upper);
    bar.setValue(pos);
    return bar.grab().toImage();
  };
  QImage zero = image(1000, 0);
  for (int x = 0; x < 318; x += 7) EXPECT_EQ(zero.pixelColor(x, 8), background) << x;

  QImage full = image(1000, 1000);
  EXPECT_EQ(full.pixelColor(317, 12), QColor(6, 177, 37))
      << "the upper bound reaches the right edge";
  EXPECT_EQ(full.pixelColor(0, 5), QColor(61, 194, 85)) << "row 5 of the tile";
  EXPECT_EQ(full.pixelColor(10, 1), QColor(132, 182, 138));
  EXPECT_EQ(full.pixelColor(25, 0), QColor(211, 213, 215)) << "the tile repeats from the origin";

  QImage half = image(1000, 500);
  EXPECT_EQ(half.pixelColor(158, 12), QColor(6, 177, 37));
  EXPECT_EQ(half.pixelColor(159, 12), background);

  // 318 / 7 * 3 = 136.28...: the width is truncated.
  QImage third = image(7, 3);
  EXPECT_EQ(third.pixelColor(135, 12), QColor(6, 177, 37));
  EXPECT_EQ(third.pixelColor(136, 12), background);
  EXPECT_EQ(third.pixelColor(100, 8), QColor(30, 184, 58)) << "rows 7 and 8";
  EXPECT_EQ(CMyProgress::FilledWidth(318, 0, 7, 3), 136);
  EXPECT_EQ(CMyProgress::FilledWidth(318, 5, 5, 3), 0) << "an empty range fills nothing";
}

// ---- progress page ----

class QtProgress : public QtPages {
 protected:
  // A job that waits until released, then runs body.
  CProgressDlg::Job Held(std::function<void(ProgressSink*)> body) {
    return [this, body](ProgressSink* sink, std::unique_ptr<InstallContext>) {
      started_ = true;
      while (!release_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      if (body) body(sink);
      done_ = true;
    };
  }
  void TearDown() override {
    // A job still held is let go and finished before the fixture goes.
    release_ = true;
    if (started_) SpinUntil([&] { return done_.load(); });
    QtPages::TearDown();
  }
  std::atomic<bool> release_{false};
  std::atomic<bool> done_{false};
  std::atomic<bool> started_{false};
};

TEST_F(QtProgress, PageSinkRepaintsPicturesAndCancel) {
  QtProgressPage page(Install, Held([](ProgressSink* sink) {
                        sink->SetStatusText("正在下载 Plugins/组件.dll   3/6");
                        sink->SetCurrentRange(100);
                        sink->SetCurrentPos(100);
                        sink->SetCurrentPercent("100.00%");
                        sink->SetTotalRange(6);
                        sink->SetTotalPos(3);
                        sink->SetTotalPercent("50.00%");
                        sink->SetStatusText("下载组件.dll 失败");
                        sink->SetWorkerFinished();
                      }));
  auto timer = std::make_unique<ManualTimer>();
  ManualTimer* clock = timer.get();
  page.SetTimer(std::move(timer));
  page.Open();
  ExpectControls(page, {395, 220},
                 {{2, "取消", {325, 190, 50, 14}},
                  {1020, "正在下载", {45, 116, 147, 8}},
                  {1021, nullptr, {85, 134, 212, 10}},
                  {1022, nullptr, {85, 158, 212, 10}},
                  {1023, "0%", {305, 134, 40, 8}},
                  {1024, "0%", {305, 159, 35, 8}}});
  EXPECT_EQ(clock->period, 4000u);
  Screenshot(page, "135-progress-start");

  // The pictures alternate on each tick of the clock.
  QImage first, second;
  ASSERT_TRUE(LoadArt(&first, BankProfile.progressImageId));
  ASSERT_TRUE(LoadArt(&second, BankProfile.progressAltImageId));
  EXPECT_EQ(page.picture(), first);
  clock->Fire();
  EXPECT_EQ(page.picture(), second);
  Screenshot(page, "135-progress-second-picture");
  clock->Fire();
  EXPECT_EQ(page.picture(), first);

  // Cancel while the worker runs asks; No changes nothing.
  dialogs_.answer = false;
  page.controller().OnCancel();
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, "下载还未完成，确定取消？");
  EXPECT_TRUE(page.isVisible());

  // The worker reports from its thread; the labels repaint.
  QImage before = page.grab(page.Control(1020)->geometry()).toImage();
  release_ = true;
  ASSERT_TRUE(SpinUntil([&] {
    return done_ && static_cast<QLabel*>(page.Control(1020))->text() == "下载组件.dll 失败";
  }));
  QApplication::processEvents();
  EXPECT_EQ(static_cast<QLabel*>(page.Control(1023))->text(), "100.00%");
  EXPECT_EQ(static_cast<QLabel*>(page.Control(1024))->text(), "50.00%");
  EXPECT_EQ(static_cast<QProgressBar*>(page.Control(1022))->value(), 3);
  EXPECT_NE(page.grab(page.Control(1020)->geometry()).toImage(), before);
  Screenshot(page, "135-progress-failed");

  // After the failure Cancel closes at once.
  ASSERT_TRUE(SpinUntil([&] { return page.controller().workerReturned(); }));
  dialogs_.messages.clear();
  page.controller().OnCancel();
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_FALSE(page.isVisible());
  EXPECT_EQ(page.result(), kPageCancel);
  EXPECT_TRUE(clock->stopped);
}

TEST_F(QtPages, QuitQuestionYesEndsWithZero) {
  QtInstallPage page(pages_);
  page.Open();
  dialogs_.answer = false;
  page.controller().OnCancel();
  EXPECT_TRUE(page.isVisible());
  dialogs_.answer = true;
  try {
    page.controller().OnCancel();
    ADD_FAILURE() << "Yes ends the process";
  } catch (const ExitCalled& e) {
    EXPECT_EQ(e.code, 0);
    EXPECT_TRUE(e.immediate);
  }
}

TEST_F(QtPages, TheArtHasItsSizes) {
  struct Art {
    uint32_t id;
    QSize size;
  };
  for (Art a : {Art{174, {588, 358}}, Art{175, {588, 358}}, Art{176, {600, 365}},
                Art{177, {588, 358}}, Art{178, {588, 358}}, Art{180, {420, 220}},
                Art{184, {420, 220}}, Art{181, {48, 48}}, Art{148, {25, 20}}}) {
    QImage image;
    ASSERT_TRUE(LoadArt(&image, a.id)) << a.id;
    EXPECT_EQ(image.size(), a.size) << a.id;
  }
  QImage options;
  LoadArt(&options, 176);
  EXPECT_TRUE(options.hasAlphaChannel());
  EXPECT_EQ(options.pixelColor(300, 300).alpha(), 255) << "fully opaque";
  QImage missing;
  EXPECT_FALSE(LoadArt(&missing, 999));
}

TEST_F(QtPages, EscapeAndTheCloseBoxAskTheQuitQuestion) {
  QtInstallPage welcome(pages_);
  welcome.Open();
  dialogs_.answer = false;
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&welcome, &escape);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, "是否退出网银助手安装？");
  welcome.close();
  EXPECT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_TRUE(welcome.isVisible()) << "No keeps the page";

  // The update prompt's close box only ends it.
  QtUpdatePage prompt(pages_, 0);
  prompt.Open();
  prompt.close();
  EXPECT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_FALSE(prompt.isVisible());
  EXPECT_EQ(prompt.result(), kPageCancel);
}

TEST_F(QtPages, PagesOpenWhereTheLastOneWas) {
  // The version query is put where the window system puts it, and that
  // place is recorded: the welcome page opens there.
  QtQueryPage query(pages_, [](VersionAnswer*) { return VersionOutcome::NoAnswer; });
  query.Open();
  ASSERT_TRUE(SpinUntil(
      [&] { return static_cast<QLabel*>(query.Control(1029))->text() == "服务器没响应"; }));
  QPoint queryAt = query.frameGeometry().topLeft();
  EXPECT_EQ(QPoint(lastWindowRect.left, lastWindowRect.top), queryAt);
  query.hide();
  QtInstallPage welcome(pages_);
  welcome.Open();
  EXPECT_EQ(welcome.pos(), queryAt);

  // A moved page hands its place on.
  welcome.move(123, 77);
  EXPECT_EQ(lastWindowRect.left, 123);
  EXPECT_EQ(lastWindowRect.top, 77);
  welcome.hide();
  QtOptionPage options(pages_);
  options.Open();
  EXPECT_EQ(options.pos(), QPoint(123, 77));
}

TEST_F(QtProgress, InstallOpensAtTheLastPlaceUpdatesCentred) {
  lastWindowRect = {31, 17, 0, 0};
  for (InstallMode mode : {Install, Update, Repair}) {
    QtProgressPage page(mode, [](ProgressSink*, std::unique_ptr<InstallContext>) {});
    page.SetTimer(std::make_unique<ManualTimer>());
    page.Open();
    QRect screen = page.screen()->geometry();
    QPoint expected = mode == Install ? QPoint(31, 17)
                                      : QPoint(screen.width() / 2 - page.width() / 2,
                                               screen.height() / 2 - page.height() / 2);
    EXPECT_EQ(page.pos(), expected) << mode;
    ASSERT_TRUE(SpinUntil([&] { return page.controller().workerReturned(); }));
  }
}

TEST_F(QtPages, YesToQuitIsNotHeldUpByTheWizardOpeningBehindIt) {
  // The server answers while the quit question is open: the welcome page
  // waits until the question is answered.
  QtDialogs dialogs;
  platform::Sys().dialogs = &dialogs;
  std::atomic<bool> answer{false};
  QtWizard wizard;
  std::vector<int> shown;
  bool boxOpenWhenShown = false;
  wizard.onPageShown = [&](SkinnedPage* page) {
    shown.push_back(page->templateId());
    boxOpenWhenShown = boxOpenWhenShown || QtDialogs::OpenCount() > 0;
    if (page->templateId() == 132) page->EndPage(kPageCancel);
  };
  QtQueryPage query(wizard, [&](VersionAnswer* a) {
    while (!answer) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    *a = {"1.0.0.12", "http://files", "0"};
    return VersionOutcome::Answer;
  });
  query.Open();
  // Inside the question's loop: the answer comes, time passes, then No.
  QTimer::singleShot(50, [&] { answer = true; });
  QTimer::singleShot(800, [&] {
    EXPECT_TRUE(shown.empty()) << "no page opened under the question";
    if (auto* box = QApplication::activeModalWidget())
      static_cast<QDialog*>(box)->done(QMessageBox::No);
  });
  query.controller().OnCancel();
  EXPECT_EQ(query.RunModalLoop(), 0) << "the wizard ended, then the query page";
  EXPECT_EQ(shown, std::vector<int>{132});
  EXPECT_FALSE(boxOpenWhenShown);
}

}  // namespace
