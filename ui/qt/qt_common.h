// What every Qt page shares: dialog units, the skinned frame (picture,
// icon, title, topmost, placement, move tracking, the quit broadcast),
// crossing to the GUI thread, the pictures and the message boxes.
#pragma once

#include <QDialog>
#include <QEventLoop>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "platform/diagnostics.h"
#include "ui/page_common.h"
#include "ui/page_view.h"

class QCheckBox;

// Dialog units of the "MS Shell Dlg" base units to pixels at 96 dpi.
inline int DluX(int x) { return x * 6 / 4; }
inline int DluY(int y) { return y * 13 / 8; }
inline QRect DluRect(int x, int y, int w, int h) { return {DluX(x), DluY(y), DluX(w), DluY(h)}; }

// The application's font (the CJK font the art uses too) and the rule that
// only the wizard decides when the run ends: a hidden page must not end it.
void ConfigureApplication();

// Runs fn on the GUI thread and returns once it has run.
void OnGuiThread(const std::function<void()>& fn);

// The picture of id, unpacked from the program's resources (any earlier
// picture is dropped). False when there is none or it is not well formed.
bool LoadArt(QImage* image, uint32_t id);
// The window icon of the bank (iconId).
QIcon BankIcon();

// A page of the wizard: the picture stretched over the whole client area,
// the controls of its template on top, the bank's icon and title, topmost.
class SkinnedPage : public QDialog, public virtual PageView {
 public:
  // The template's id and size in dialog units.
  SkinnedPage(int templateId, int widthDlu, int heightDlu, bool minimizeBox);
  int templateId() const { return templateId_; }
  ~SkinnedPage() override;

  // PageView, from any thread.
  void HidePage() override;
  void EndPage(int result) override;

  // Swaps the background picture and repaints.
  void SetPicture(uint32_t imageId);
  const QImage& picture() const { return background_; }
  // Repaints the picture under a control at once (after a text change of a
  // see-through label).
  void RedrawLabel(QWidget* control);
  // Places the page as placement says; shows it.
  void Place(PagePlacement placement);
  // Runs the page's modal loop until the page ends; its result. Unlike
  // exec(), hiding the page (while a page it opened runs) does not end it.
  int RunModalLoop();
  void done(int result) override;

  // The controls by id (0 for those without one).
  QPushButton* AddButton(int id, const char* text, QRect dlu, bool isDefault = false);
  QLabel* AddLabel(int id, const char* text, QRect dlu, bool seeThrough);
  QCheckBox* AddCheckBox(int id, const char* text, QRect dlu);
  QWidget* Control(int id) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void Register(int id, QWidget* control);

 private:
  static constexpr int kQueryTemplate = 130;
  static constexpr int kUpdatePromptTemplate = 139;
  bool recordsFirstPlace() const {
    return templateId_ == kQueryTemplate || templateId_ == kUpdatePromptTemplate;
  }
  void RecordFrame();

  int templateId_;
  QEventLoop* loop_ = nullptr;
  bool ended_ = false;
  QImage background_;
  QPixmap stretched_;
  std::vector<std::pair<int, QWidget*>> controls_;
  std::unique_ptr<PageBroadcastGuard> broadcast_;
};

// Message boxes on the GUI thread, whichever thread asks; topmost.
class QtDialogs : public platform::Dialogs {
 public:
  // Message boxes open now, in the whole process.
  static int OpenCount() { return open_; }

  void ShowMessage(const std::string& text, const std::string& caption,
                   platform::MessageIcon icon) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;

 private:
  static std::atomic<int> open_;
};

inline QString Q(const std::string& text) { return QString::fromStdString(text); }
