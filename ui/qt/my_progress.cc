#include "ui/qt/my_progress.h"

#include <QPainter>

#include "ui/qt/qt_common.h"

namespace {
constexpr uint32_t kTileId = 148;
}

CMyProgress::CMyProgress(QWidget* parent) : QProgressBar(parent) {
  LoadArt(&tile_, kTileId);
  setTextVisible(false);
}

int CMyProgress::FilledWidth(int clientWidth, int lower, int upper, int pos) {
  if (upper == lower || pos <= 0) return 0;
  // The position is not reduced by the lower bound; callers use 0.
  double filled = static_cast<double>(clientWidth) / (upper - lower) * pos;
  if (filled > clientWidth) filled = clientWidth;
  return static_cast<int>(filled);
}

void CMyProgress::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(128, 119, 122));
  int filled = FilledWidth(width(), minimum(), maximum(), value());
  if (filled <= 0 || tile_.isNull()) return;
  // The tile's origin is the client origin.
  painter.setBrushOrigin(0, 0);
  painter.fillRect(QRect(0, 0, filled, height()), QBrush(tile_));
}
