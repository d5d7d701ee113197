#include "ui/option_dlg.h"

#include "app/settings.h"
#include "install/file_deployment.h"
#include "install/process_control.h"
#include "platform/platform.h"
#include "ui/page_common.h"

namespace {

bool* FlagOf(int id) {
  switch (id) {
    case COptionDlg::kQuickLaunch:
      return &createQuickLaunchShortcut;
    case COptionDlg::kStartMenu:
      return &createStartMenuShortcut;
    case COptionDlg::kDesktop:
      return &createDesktopShortcut;
    case COptionDlg::kAutoStart:
      return &autoStart;
    default:
      return nullptr;
  }
}

// Folders that cannot hold an installation: no root, or media that may go.
bool UnfitDrive(platform::DriveKind kind) {
  return kind == platform::DriveKind::NoRoot || kind == platform::DriveKind::Removable ||
         kind == platform::DriveKind::Optical;
}

// Characters no Windows path may hold (below 0x20) and DEL, or a name with
// no form in the narrow code page (bytes that are not UTF-8 among them):
// such a folder could not be shown, registered or written into a desktop
// entry faithfully.
bool UnfitName(const std::string& folder) {
  for (unsigned char c : folder)
    if (c < 0x20 || c == 0x7f) return true;
  return !folder.empty() && platform::NarrowFromUtf8(folder).empty();
}

void InvalidFolder() {
  platform::Sys().dialogs->ShowMessage(COptionDlg::kInvalidFolder, BankProfile.downloaderTitle,
                                       platform::MessageIcon::Exclamation);
}

}  // namespace

std::string CollapseSeparators(const std::string& folder) {
  std::string out;
  for (char c : folder)
    if (c != platform::kPathSep || out.empty() || out.back() != platform::kPathSep) out += c;
  return out;
}

uint32_t COptionDlg::imageId() const { return BankProfile.optionsImageId; }

void COptionDlg::SetFolder(const std::string& text) {
  folder_ = text;
  view_.SetFolderText(text);
}

void COptionDlg::OnInitDialog() {
  heading_ = "创建" + BankProfile.assistantName + "的快捷方式在：";
  for (int id : {kStartMenu, kDesktop}) shown_[id] = true;
  for (int id : {kQuickLaunch, kAutoStart}) shown_[id] = false;
  // Only the display is ticked: the shortcut flags keep what start-up or an
  // earlier visit of this page left.
  for (int id : {kStartMenu, kDesktop, kAutoStart, kQuickLaunch}) checked_[id] = true;
  autoStart = true;
  SetFolder(DefaultInstallDir());
}

bool COptionDlg::checked(int id) const {
  auto it = checked_.find(id);
  return it != checked_.end() && it->second;
}

bool COptionDlg::shown(int id) const {
  auto it = shown_.find(id);
  return it != shown_.end() && it->second;
}

void COptionDlg::OnCheckClicked(int id, bool checked) {
  bool* flag = FlagOf(id);
  if (!flag) return;
  checked_[id] = checked;
  *flag = checked;
}

void COptionDlg::OnBrowse() {
  std::string chosen;
  if (!view_.BrowseForFolder(kBrowseTitle, &chosen)) return;
  // A root gives a doubled separator, which Next collapses.
  SetFolder(chosen + platform::kPathSep + BankProfile.installSubdir);
}

void COptionDlg::OnNext() {
  if (!ConfirmCloseBrowser(BankProfile.downloaderTitle)) return;
  std::string folder = folder_;
  if (UnfitName(folder) || UnfitDrive(platform::Sys().fileSystem->GetDriveKind(folder))) {
    InvalidFolder();
    return;
  }
  RunSettings.installDir = CollapseSeparators(folder);
  if (!CreateFolderTree(RunSettings.installDir)) {
    InvalidFolder();
    return;
  }
  view_.HidePage();
  pages_.RunProgressPage(Install);
  view_.EndPage(kPageCancel);
}

void COptionDlg::OnBack() {
  view_.HidePage();
  pages_.RunInstallPage();
  view_.EndPage(kPageCancel);
}

void COptionDlg::OnCancel() { ConfirmQuitInstall(); }
