// The mode driver: what a run does when the assistant is installed already.
#include <gtest/gtest.h>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "app/startup.h"
#include "install/process_control.h"
#include "install/registration.h"
#include "tests/fake_key_store.h"
#include "tests/fakes.h"
#include "tests/install_fixtures.h"
#include "ui/command_line_mode.h"

namespace {

class ModeDriver : public testing::Test {
 protected:
  void SetUp() override {
    ResetProcessRecords();
    LoadBankProfile();
    platform::Sys().dialogs = &dialogs_;
    platform::Sys().processExit = &exit_;
    platform::Sys().processes = &processes_;
    platform::Sys().keyStore = &keys_;
    pages_.updatePrompt = [this](int kind) { shown_.push_back("prompt " + std::to_string(kind)); };
    pages_.progressPage = [this](InstallMode mode) {
      shown_.push_back("progress " + std::to_string(mode) + " " + RunSettings.installDir);
    };
    pages_.queryVersion = [this](VersionAnswer* answer) {
      VersionOutcome o = outcomes_[std::min(queries_, outcomes_.size() - 1)];
      ++queries_;
      *answer = answer_;
      return o;
    };
  }
  void TearDown() override { ResetProcessRecords(); }
  void Install(const std::string& version, const std::string& path = "/opt/bank/assistant") {
    int error = 0;
    auto key = keys_.CreateKey(AssistantSettingsKey(BankProfile.allianceCode, BankProfile.bankId),
                               platform::KeyView::Default, &error);
    key->SetString("Version", version);
    key->SetString("Path", path);
  }
  void Serve(const std::string& v, const std::string& update) {
    outcomes_ = {VersionOutcome::Answer};
    answer_ = {v, "http://files", update};
  }
  bool Run(const std::string& commandLine) {
    CDownloaderApp app(commandLine, StartupHooks{});
    return RunCommandLineMode(commandLine, app, pages_);
  }

  ScopedServices scope_;
  RecordingFrontEnd dialogs_;
  FakeExit exit_;
  Timeline timeline_;
  FakeProcesses processes_{&timeline_};
  FakeKeyStore keys_;
  ModePages pages_;
  std::vector<VersionOutcome> outcomes_{VersionOutcome::Answer};
  VersionAnswer answer_;
  size_t queries_ = 0;
  std::vector<std::string> shown_;
};

TEST_F(ModeDriver, NotInstalledGoesInteractiveWhateverTheCommandLine) {
  for (const char* commandLine : {"", "-update", "-losefile", "anything"}) {
    EXPECT_FALSE(Run(commandLine)) << commandLine;
  }
  // A key without Path, or a Version too long for the reader, is not an installation.
  int error = 0;
  auto key = keys_.CreateKey(AssistantSettingsKey(BankProfile.allianceCode, BankProfile.bankId),
                             platform::KeyView::Default, &error);
  key->SetString("Version", "1.0.0.1");
  EXPECT_FALSE(Run(""));
  Install(std::string(260, '1'));
  EXPECT_FALSE(Run(""));
  EXPECT_EQ(queries_, 0u);
  EXPECT_TRUE(shown_.empty());
}

TEST_F(ModeDriver, WhatEachAnswerLeadsTo) {
  struct Case {
    std::string installed, server, update, commandLine;
    std::vector<std::string> shown;
    bool browserKilled;
  };
  const std::string p = " /opt/bank/assistant";
  const Case cases[] = {
      // The comparison is numeric per component: 5 is lower than 12.
      {"1.0.0.5", "1.0.0.12", "1", "", {"prompt 0"}, false},
      {"1.0.0.5", "1.0.0.12", "1", "-update", {"prompt 0"}, false},
      {"1.0.0.12", "1.0.0.12", "1", "", {"prompt 1"}, false},
      {"1.0.0.13", "1.0.0.12", "1", "", {"prompt 1"}, false},
      {"1.0.0.12", "1.0.0.12", "1", "-update", {}, false},
      {"1.0.0.5", "1.0.0.12", "2", "", {"progress 1" + p}, true},
      {"1.0.0.5", "1.0.0.12", "2", "-update", {"progress 1" + p}, true},
      {"1.0.0.12", "1.0.0.12", "2", "", {"progress 1" + p}, true},
      {"1.0.0.12", "1.0.0.12", "2", "-update", {}, false},
      {"1.0.0.5", "1.0.0.12", "0", "", {}, false},
      {"1.0.0.5", "1.0.0.12", "7", "", {}, false},
      {"1.0.0.5", "1.0.0.12", " +1x", "", {"prompt 0"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.installed + " vs " + c.server + " update \"" + c.update + "\" " + c.commandLine);
    ResetProcessRecords();
    LoadBankProfile();
    shown_.clear();
    processes_.Run("iexplore.exe");
    Install(c.installed);
    Serve(c.server, c.update);
    EXPECT_TRUE(Run(c.commandLine));
    EXPECT_EQ(shown_, c.shown);
    EXPECT_EQ(processes_.IsRunning("iexplore.exe"), !c.browserKilled);
    EXPECT_TRUE(dialogs_.messages.empty()) << "a forced update kills without asking";
    EXPECT_EQ(RunSettings.serverVersion, c.server);
    EXPECT_EQ(RunSettings.downloadUrl, "http://files");
    while (processes_.IsRunning("iexplore.exe")) (void)KillBrowserProcess(0);
  }
}

TEST_F(ModeDriver, NoUpdateWithTheUpdateSwitchEndsBeforeTheVersionsAreCompared) {
  Install("1.0.0.5");
  Serve("1.0.0.12", "0");
  EXPECT_TRUE(Run("-update"));
  EXPECT_TRUE(shown_.empty());
  EXPECT_EQ(RunSettings.updateMode, NoUpdate);
  EXPECT_TRUE(RunSettings.installDir.empty()) << "the installed Path was never taken";
  // Without the switch the driver goes on and takes the Path.
  EXPECT_TRUE(Run(""));
  EXPECT_EQ(RunSettings.installDir, "/opt/bank/assistant");
}

TEST_F(ModeDriver, RepairIgnoresTheVersionsAndAsksAboutARunningBrowser) {
  Install("1.0.0.12", "/srv/assistant");
  for (const char* update : {"0", "1", "2"}) {
    shown_.clear();
    Serve("1.0.0.12", update);
    EXPECT_TRUE(Run("-losefile"));
    EXPECT_EQ(shown_, std::vector<std::string>{"progress 2 /srv/assistant"}) << update;
  }
  EXPECT_TRUE(dialogs_.messages.empty()) << "no browser: no question";

  processes_.Run("iexplore.exe");
  shown_.clear();
  dialogs_.answer = false;
  EXPECT_TRUE(Run("-losefile"));
  EXPECT_TRUE(shown_.empty());
  EXPECT_TRUE(processes_.IsRunning("iexplore.exe"));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, "安装过程中需关闭IE浏览器，是否继续？");
  EXPECT_EQ(dialogs_.messages[0].caption, BankProfile.assistantName);
}

TEST_F(ModeDriver, AnUnreachableServerGetsFourAttemptsThenTheRunEndsSilently) {
  Install("1.0.0.5");
  outcomes_ = {VersionOutcome::NoAnswer};
  try {
    Run("");
    ADD_FAILURE() << "the run must end";
  } catch (const ExitCalled& e) {
    EXPECT_EQ(e.code, 0);
    EXPECT_FALSE(e.immediate) << "through the C runtime's exit";
  }
  EXPECT_EQ(queries_, 4u);
  EXPECT_TRUE(shown_.empty());
  EXPECT_TRUE(dialogs_.messages.empty());

  // An answer at the fourth attempt is used.
  queries_ = 0;
  outcomes_ = {VersionOutcome::NoAnswer, VersionOutcome::NoAnswer, VersionOutcome::NoAnswer,
               VersionOutcome::Answer};
  answer_ = {"1.0.0.12", "http://files", "1"};
  EXPECT_TRUE(Run(""));
  EXPECT_EQ(queries_, 4u);
  EXPECT_EQ(shown_, std::vector<std::string>{"prompt 0"});
}

TEST_F(ModeDriver, AnAnswerThatCannotBeReadEndsTheRunWithNothingShown) {
  Install("1.0.0.5");
  for (VersionOutcome o : {VersionOutcome::CannotOpen, VersionOutcome::NotJson}) {
    queries_ = 0;
    outcomes_ = {o};
    EXPECT_TRUE(Run(""));
    EXPECT_EQ(queries_, 1u);
  }
  EXPECT_TRUE(shown_.empty());
}

}  // namespace
