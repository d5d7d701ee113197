// The install options page: the install folder and the shortcuts. Next
// checks the folder, closes the browser if the user agrees and runs the
// progress page; Back returns to a new welcome page.
#pragma once

#include <map>
#include <string>

#include "ui/page_view.h"

class OptionView : public virtual PageView {
 public:
  // New text of the folder field (1017).
  virtual void SetFolderText(const std::string& text) = 0;
  // The platform's folder picker with title. False when the user cancels;
  // path is empty when the choice has no file-system path.
  virtual bool BrowseForFolder(const std::string& title, std::string* path) = 0;
};

class COptionDlg {
 public:
  // The check boxes, by control id.
  enum CheckBox : int {
    kQuickLaunch = 1014,
    kStartMenu = 1015,
    kDesktop = 1016,
    kAutoStart = 1031
  };
  static constexpr const char* kInvalidFolder = "路径不合法";
  static constexpr const char* kBrowseTitle = "选择网银的安装路径:";

  COptionDlg(OptionView& view, WizardPages& pages) : view_(view), pages_(pages) {}

  PagePlacement placement() const { return PagePlacement::AtLastRect; }
  uint32_t imageId() const;

  // Heading, check boxes (all ticked, two hidden), autoStart, the folder.
  void OnInitDialog();
  // A check box was clicked: its state goes to its flag.
  void OnCheckClicked(int id, bool checked);
  // The user changed the folder field.
  void OnFolderEdited(const std::string& text) { folder_ = text; }
  void OnBrowse();
  void OnNext();
  void OnBack();
  void OnCancel();

  const std::string& heading() const { return heading_; }
  const std::string& folderText() const { return folder_; }
  bool checked(int id) const;
  bool shown(int id) const;

 private:
  void SetFolder(const std::string& text);

  OptionView& view_;
  WizardPages& pages_;
  std::string heading_ = "Static";
  std::string folder_;
  std::map<int, bool> checked_;
  std::map<int, bool> shown_;
};

// The folder with every run of separators made one.
std::string CollapseSeparators(const std::string& folder);
