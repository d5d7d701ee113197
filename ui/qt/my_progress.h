// The progress page's bar: a progress control that paints itself as a
// background of (128, 119, 122) with the filled part tiled from the bank's
// 25 × 20 tile. No border, text or percentage.
#pragma once

#include <QImage>
#include <QProgressBar>

class CMyProgress : public QProgressBar {
 public:
  explicit CMyProgress(QWidget* parent = nullptr);

  // The filled width for a client width, range and position: width ÷
  // (upper − lower) × position, truncated; 0 when the range is empty.
  static int FilledWidth(int clientWidth, int lower, int upper, int pos);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage tile_;
};
