#include "ui/qt/qt_pages.h"

#include <QApplication>
#include <QFileDialog>
#include <QThread>
#include <chrono>
#include <thread>

#include "app/settings.h"
#include "ui/qt/qt_progress_page.h"

namespace {

// A worker that opens the next page waits until no message box is open: a
// page opened under a question would keep it from returning, so a Yes to
// "quit?" could not end the run.
void WaitForOpenQuestions() {
  if (QThread::currentThread() == qApp->thread()) return;
  while (QtDialogs::OpenCount() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// Runs a page modally to its end on the GUI thread.
template <typename Page>
void RunModal(Page& page, const std::function<void(SkinnedPage*)>& shown) {
  page.Open();
  if (shown) shown(&page);
  page.RunModalLoop();
}

}  // namespace

void QtWizard::RunVersionQueryPage() {
  WaitForOpenQuestions();
  OnGuiThread([this] {
    QtQueryPage page(*this);
    RunModal(page, onPageShown);
  });
}

void QtWizard::RunInstallPage() {
  WaitForOpenQuestions();
  OnGuiThread([this] {
    QtInstallPage page(*this);
    RunModal(page, onPageShown);
  });
}

void QtWizard::RunOptionPage() {
  WaitForOpenQuestions();
  OnGuiThread([this] {
    QtOptionPage page(*this);
    RunModal(page, onPageShown);
  });
}

void QtWizard::RunProgressPage(InstallMode mode) {
  WaitForOpenQuestions();
  OnGuiThread([this, mode] {
    QtProgressPage page(mode);
    RunModal(page, onPageShown);
  });
}

void QtWizard::RunUpdatePrompt(int kind) {
  WaitForOpenQuestions();
  OnGuiThread([this, kind] {
    QtUpdatePage page(*this, kind);
    RunModal(page, onPageShown);
  });
}

ModePages QtWizard::modePages() {
  ModePages pages;
  pages.updatePrompt = [this](int kind) { RunUpdatePrompt(kind); };
  pages.progressPage = [this](InstallMode mode) { RunProgressPage(mode); };
  return pages;
}

// ---- version query page (template 130) ----

QtQueryPage::QtQueryPage(WizardPages& pages, CGetInternetDlg::Query query)
    : SkinnedPage(130, 395, 220, true), controller_(*this, pages, std::move(query)) {
  QPushButton* cancel = AddButton(2, "取消", DluRect(312, 185, 55, 15));
  status_ = AddLabel(1029, CGetInternetDlg::kQuerying, DluRect(20, 191, 190, 10), true);
  retry_ = AddButton(1030, "重试", DluRect(249, 185, 55, 15));
  connect(cancel, &QPushButton::clicked, this, [this] { controller_.OnCancel(); });
  connect(retry_, &QPushButton::clicked, this, [this] { controller_.OnRetry(); });
}

void QtQueryPage::Open() {
  retry_->hide();
  SetPicture(controller_.imageId());
  Place(controller_.placement());
  controller_.OnInitDialog();
}

void QtQueryPage::ShowRetry(bool shown) {
  OnGuiThread([this, shown] { retry_->setVisible(shown); });
}

void QtQueryPage::SetStatus(const std::string& text) {
  OnGuiThread([this, text] {
    status_->setText(Q(text));
    RedrawLabel(status_);
  });
}

void QtQueryPage::StartWorker(std::function<void()> fn) { std::thread(std::move(fn)).detach(); }

// ---- welcome page (template 132) ----

QtInstallPage::QtInstallPage(WizardPages& pages)
    : SkinnedPage(132, 395, 220, true), controller_(*this, pages) {
  QPushButton* install = AddButton(1, CInstallDlg::kInstallButton, DluRect(242, 190, 55, 15), true);
  QPushButton* cancel = AddButton(2, CInstallDlg::kCancelButton, DluRect(321, 190, 55, 15));
  connect(install, &QPushButton::clicked, this, [this] { controller_.OnInstall(); });
  connect(cancel, &QPushButton::clicked, this, [this] { controller_.OnCancel(); });
}

void QtInstallPage::Open() {
  SetPicture(controller_.imageId());
  Place(controller_.placement());
}

// ---- options page (template 134) ----

QtOptionPage::QtOptionPage(WizardPages& pages)
    : SkinnedPage(134, 395, 220, true), controller_(*this, pages) {
  QPushButton* next = AddButton(1, "下一步", DluRect(240, 192, 55, 15), true);
  QPushButton* cancel = AddButton(2, "取消", DluRect(326, 192, 55, 15));
  QPushButton* back = AddButton(1011, "后退", DluRect(14, 192, 55, 15));
  AddLabel(1013, "Static", DluRect(52, 26, 285, 8), false);
  AddCheckBox(COptionDlg::kStartMenu, "我的开始菜单程序文件夹", DluRect(78, 44, 104, 10));
  AddCheckBox(COptionDlg::kQuickLaunch, "快速启动栏", DluRect(242, 47, 56, 10));
  AddCheckBox(COptionDlg::kDesktop, "我的桌面", DluRect(78, 61, 48, 10));
  AddCheckBox(COptionDlg::kAutoStart, "是否增加开机启动", DluRect(78, 79, 80, 10));
  AddLabel(0, "目标文件夹", DluRect(52, 119, 48, 8), false);
  folder_ = new QLineEdit(this);
  folder_->setGeometry(DluRect(78, 136, 197, 14));
  Register(1017, folder_);
  QPushButton* browse = AddButton(1018, "浏览..", DluRect(279, 135, 43, 14));

  connect(next, &QPushButton::clicked, this, [this] { controller_.OnNext(); });
  connect(cancel, &QPushButton::clicked, this, [this] { controller_.OnCancel(); });
  connect(back, &QPushButton::clicked, this, [this] { controller_.OnBack(); });
  connect(browse, &QPushButton::clicked, this, [this] { controller_.OnBrowse(); });
  connect(folder_, &QLineEdit::textEdited, this,
          [this](const QString& text) { controller_.OnFolderEdited(text.toStdString()); });
  for (int id : {COptionDlg::kQuickLaunch, COptionDlg::kStartMenu, COptionDlg::kDesktop,
                 COptionDlg::kAutoStart}) {
    auto* box = static_cast<QCheckBox*>(Control(id));
    connect(box, &QCheckBox::clicked, this,
            [this, id](bool checked) { controller_.OnCheckClicked(id, checked); });
  }
}

void QtOptionPage::Open() {
  controller_.OnInitDialog();
  static_cast<QLabel*>(Control(1013))->setText(Q(controller_.heading()));
  for (int id : {COptionDlg::kQuickLaunch, COptionDlg::kStartMenu, COptionDlg::kDesktop,
                 COptionDlg::kAutoStart}) {
    auto* box = static_cast<QCheckBox*>(Control(id));
    box->setChecked(controller_.checked(id));
    box->setVisible(controller_.shown(id));
  }
  SetPicture(controller_.imageId());
  Place(controller_.placement());
}

void QtOptionPage::SetFolderText(const std::string& text) { folder_->setText(Q(text)); }

bool QtOptionPage::BrowseForFolder(const std::string& title, std::string* path) {
  if (picker) return picker(path);
  QString chosen = QFileDialog::getExistingDirectory(this, Q(title));
  if (chosen.isEmpty()) return false;
  *path = chosen.toStdString();
  return true;
}

// ---- update prompt (template 139) ----

QtUpdatePage::QtUpdatePage(WizardPages& pages, int kind)
    : SkinnedPage(139, 296, 138, false), controller_(*this, pages, kind) {
  QPushButton* ok = AddButton(1, CUpdateDlg::kOkButton, DluRect(159, 103, 55, 15), true);
  QPushButton* cancel = AddButton(2, CUpdateDlg::kCancelButton, DluRect(227, 103, 55, 15));
  connect(ok, &QPushButton::clicked, this, [this] { controller_.OnOK(); });
  connect(cancel, &QPushButton::clicked, this, [this] { controller_.OnCancel(); });
}

void QtUpdatePage::Open() {
  SetPicture(controller_.imageId());
  // Without its picture the page still asks its question.
  if (picture().isNull()) setToolTip(Q(controller_.question()));
  Place(controller_.placement());
}
