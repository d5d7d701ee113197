// The Qt pages of the wizard, each a skinned page over its page controller,
// and the chain that opens them.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <functional>
#include <memory>

#include "ui/command_line_mode.h"
#include "ui/get_internet_dlg.h"
#include "ui/install_dlg.h"
#include "ui/option_dlg.h"
#include "ui/qt/qt_common.h"
#include "ui/update_dlg.h"

// Opens the pages modally on the GUI thread, whichever thread asks.
class QtWizard : public WizardPages {
 public:
  void RunVersionQueryPage();
  void RunInstallPage() override;
  void RunOptionPage() override;
  void RunProgressPage(InstallMode mode) override;
  void RunUpdatePrompt(int kind);
  // The update prompt and the progress page, for the mode driver.
  ModePages modePages();

  // Called with each page once it is shown (for tests and screenshots).
  std::function<void(SkinnedPage*)> onPageShown;
};

class QtQueryPage : public SkinnedPage, public GetInternetView {
 public:
  explicit QtQueryPage(WizardPages& pages, CGetInternetDlg::Query query = nullptr);
  CGetInternetDlg& controller() { return controller_; }
  // Initialises the page, starts the query and shows the page.
  void Open();

  void ShowRetry(bool shown) override;
  void SetStatus(const std::string& text) override;
  void StartWorker(std::function<void()> fn) override;

 protected:
  void reject() override { controller_.OnCancel(); }

 private:
  CGetInternetDlg controller_;
  QPushButton* retry_;
  QLabel* status_;
};

class QtInstallPage : public SkinnedPage {
 public:
  explicit QtInstallPage(WizardPages& pages);
  CInstallDlg& controller() { return controller_; }
  void Open();

 protected:
  void reject() override { controller_.OnCancel(); }

 private:
  CInstallDlg controller_;
};

class QtOptionPage : public SkinnedPage, public OptionView {
 public:
  explicit QtOptionPage(WizardPages& pages);
  COptionDlg& controller() { return controller_; }
  void Open();

  void SetFolderText(const std::string& text) override;
  bool BrowseForFolder(const std::string& title, std::string* path) override;
  // Replaces the folder picker (tests).
  std::function<bool(std::string*)> picker;

 protected:
  void reject() override { controller_.OnCancel(); }

 private:
  COptionDlg controller_;
  QLineEdit* folder_;
};

class QtUpdatePage : public SkinnedPage {
 public:
  QtUpdatePage(WizardPages& pages, int kind);
  CUpdateDlg& controller() { return controller_; }
  void Open();

 protected:
  void reject() override { controller_.OnCancel(); }

 private:
  CUpdateDlg controller_;
};
