#include "ui/qt/qt_common.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QMessageBox>
#include <QMoveEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QResource>
#include <QScreen>
#include <QThread>
#include <cstring>

#include "app/settings.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "ui/qt/art_pixels.h"

void ConfigureApplication() {
  QApplication::setFont(QFont("WenQuanYi Micro Hei", 9));
  QApplication::setQuitOnLastWindowClosed(false);
}

void OnGuiThread(const std::function<void()>& fn) {
  if (!qApp || QThread::currentThread() == qApp->thread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(qApp, fn, Qt::BlockingQueuedConnection);
}

// The art is packed into a static library: its resources are registered
// on first use.
static void RegisterArt() {
  static bool done = [] {
    Q_INIT_RESOURCE(art);
    return true;
  }();
  (void)done;
}

bool LoadArt(QImage* image, uint32_t id) {
  RegisterArt();
  *image = QImage();
  QResource resource(QString(":/art/%1.pixels").arg(id));
  if (!resource.isValid()) return false;
  // The pixels are packed compressed (they shrink to a few percent); zstd
  // unpacks them far faster than an image format would decode them.
  QByteArray bytes = resource.uncompressedData();
  ArtPixelsHeader header;
  if (bytes.size() < static_cast<qsizetype>(sizeof header)) return false;
  std::memcpy(&header, bytes.constData(), sizeof header);
  const QImage::Format format = static_cast<QImage::Format>(header.format);
  if (std::memcmp(header.magic, "DLPX", 4) != 0 || header.width == 0 || header.height == 0 ||
      header.width > 4096 || header.height > 4096 ||
      (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32) ||
      bytes.size() !=
          static_cast<qsizetype>(sizeof header) + qsizetype{header.width} * header.height * 4)
    return false;
  // The image keeps the unpacked bytes and frees them with its last copy.
  auto* kept = new QByteArray(std::move(bytes));
  *image = QImage(
      reinterpret_cast<uchar*>(kept->data()) + sizeof header, static_cast<int>(header.width),
      static_cast<int>(header.height), static_cast<qsizetype>(header.width) * 4, format,
      [](void* info) { delete static_cast<QByteArray*>(info); }, kept);
  return true;
}

QIcon BankIcon() {
  QImage icon;
  if (!LoadArt(&icon, BankProfile.iconId)) return {};
  return QIcon(QPixmap::fromImage(icon));
}

SkinnedPage::SkinnedPage(int templateId, int widthDlu, int heightDlu, bool minimizeBox)
    : templateId_(templateId) {
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint;
  if (minimizeBox) flags |= Qt::WindowMinimizeButtonHint;
  setWindowFlags(flags);
  setFixedSize(DluX(widthDlu), DluY(heightDlu));
  setWindowIcon(BankIcon());
  setWindowTitle(Q(::windowTitle));
  setWindowModality(Qt::ApplicationModal);
  // The quit broadcast of other copies reaches the page for its whole life,
  // hidden or not, and during the hand-off before it is shown.
  if (TheApp()) broadcast_ = std::make_unique<PageBroadcastGuard>(TheApp()->singleMsgId);
}

SkinnedPage::~SkinnedPage() = default;

void SkinnedPage::HidePage() {
  OnGuiThread([this] { hide(); });
}

void SkinnedPage::EndPage(int result) {
  OnGuiThread([this, result] { done(result); });
}

void SkinnedPage::SetPicture(uint32_t imageId) {
  // A missing picture leaves the page plain; it still works.
  LoadArt(&background_, imageId);
  stretched_ = QPixmap();
  update();
}

void SkinnedPage::RedrawLabel(QWidget* control) {
  if (!control) return;
  repaint(control->geometry());
}

void SkinnedPage::Place(PagePlacement placement) {
  if (placement == PagePlacement::AtLastRect) move(lastWindowRect.left, lastWindowRect.top);
  show();
  if (placement == PagePlacement::Centered) {
    // The update prompt is centred by its window rectangle, the progress
    // page by its client area.
    QSize size = templateId_ == kUpdatePromptTemplate ? frameGeometry().size() : this->size();
    QRect screen = (this->screen() ? this->screen() : QGuiApplication::primaryScreen())->geometry();
    move(screen.width() / 2 - size.width() / 2, screen.height() / 2 - size.height() / 2);
  }
  // Pages that record every move (the version query and the update prompt)
  // record where they were first put, as the window system tells them.
  if (recordsFirstPlace()) RecordFrame();
}

void SkinnedPage::RecordFrame() {
  QRect r = frameGeometry();
  RecordWindowRect({r.left(), r.top(), r.right() + 1, r.bottom() + 1});
}

int SkinnedPage::RunModalLoop() {
  if (!ended_) {
    QEventLoop loop;
    loop_ = &loop;
    loop.exec(QEventLoop::DialogExec);
    loop_ = nullptr;
  }
  return result();
}

void SkinnedPage::done(int result) {
  ended_ = true;
  QDialog::done(result);
  if (loop_) loop_->exit(result);
}

void SkinnedPage::Register(int id, QWidget* control) { controls_.push_back({id, control}); }

QWidget* SkinnedPage::Control(int id) const {
  for (const auto& [cid, w] : controls_)
    if (cid == id) return w;
  return nullptr;
}

QPushButton* SkinnedPage::AddButton(int id, const char* text, QRect dlu, bool isDefault) {
  auto* button = new QPushButton(QString::fromUtf8(text), this);
  button->setGeometry(dlu);
  button->setDefault(isDefault);
  button->setAutoDefault(isDefault);
  Register(id, button);
  return button;
}

QLabel* SkinnedPage::AddLabel(int id, const char* text, QRect dlu, bool seeThrough) {
  auto* label = new QLabel(QString::fromUtf8(text), this);
  label->setGeometry(dlu);
  // A see-through label lets the picture show under its text; the others
  // keep the platform's look, a box of the window colour.
  label->setAutoFillBackground(!seeThrough);
  Register(id, label);
  return label;
}

QCheckBox* SkinnedPage::AddCheckBox(int id, const char* text, QRect dlu) {
  auto* box = new QCheckBox(QString::fromUtf8(text), this);
  box->setGeometry(dlu);
  box->setAutoFillBackground(true);
  Register(id, box);
  return box;
}

void SkinnedPage::paintEvent(QPaintEvent* event) {
  if (background_.isNull()) return;
  // The picture is stretched over the whole page (nearest pixel, as the
  // default stretch mode on Windows does) once per picture and size; each
  // repaint then copies only the part it needs.
  if (stretched_.size() != size())
    stretched_ = QPixmap::fromImage(
        background_.scaled(size(), Qt::IgnoreAspectRatio, Qt::FastTransformation));
  QPainter painter(this);
  painter.drawPixmap(event->rect(), stretched_, event->rect());
}

void SkinnedPage::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  if (isVisible()) RecordFrame();
}

void SkinnedPage::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  platform::Debug("page " + std::to_string(templateId_) + " shown");
}

std::atomic<int> QtDialogs::open_{0};

void QtDialogs::ShowMessage(const std::string& text, const std::string& caption,
                            platform::MessageIcon icon) {
  OnGuiThread([&] {
    QMessageBox::Icon shown = icon == platform::MessageIcon::Error         ? QMessageBox::Critical
                              : icon == platform::MessageIcon::Exclamation ? QMessageBox::Warning
                              : icon == platform::MessageIcon::Question    ? QMessageBox::Question
                                                                        : QMessageBox::Information;
    QMessageBox box(shown, Q(caption), Q(text), QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setText("确定");
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setWindowIcon(BankIcon());
    ++open_;
    box.exec();
    --open_;
  });
}

bool QtDialogs::AskYesNo(const std::string& text, const std::string& caption) {
  bool yes = false;
  OnGuiThread([&] {
    QMessageBox box(QMessageBox::Question, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No);
    box.button(QMessageBox::Yes)->setText("是(&Y)");
    box.button(QMessageBox::No)->setText("否(&N)");
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setWindowIcon(BankIcon());
    ++open_;
    yes = box.exec() == QMessageBox::Yes;
    --open_;
  });
  return yes;
}
