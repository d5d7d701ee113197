// Draws the bank's art into a folder: the seven page pictures in their
// sizes, the 48 × 48 window icon and the 25 × 20 progress-bar tile, as PNG
// files to look at and as the pixels the program packs, named by their
// resource ids. Every picture carries the bank's name;
// the update prompts carry their question. Run by the build.
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "ui/qt/art_pixels.h"

namespace {

const char* kFont = "WenQuanYi Micro Hei";

QString Name() {
  const BankProfileRow* row = FindBankProfileRow(kCompiledBankId);
  return QString::fromUtf8(row ? row->displayName : "");
}

QFont Font(int pixels, bool bold = false) {
  QFont font(kFont);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

// The bank's emblem: a ring with the first character of its name.
void Emblem(QPainter& p, QRectF box) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(255, 214, 102), box.width() / 12));
  p.setBrush(QColor(176, 24, 40));
  p.drawEllipse(
      box.adjusted(box.width() / 16, box.width() / 16, -box.width() / 16, -box.width() / 16));
  p.setPen(QColor(255, 240, 200));
  p.setFont(Font(static_cast<int>(box.height() * 0.5), true));
  p.drawText(box, Qt::AlignCenter, Name().left(1));
}

// A page picture: a coloured band with the emblem, the bank's name and a
// line of text, over a pale area where the controls sit. band is the
// band's share of the height.
QImage Page(int w, int h, const QString& line, QColor top, QColor bottom, bool alpha,
            double band = 0.5) {
  QImage image(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  QPainter p(&image);
  const int bandHeight = static_cast<int>(h * band);
  p.fillRect(image.rect(), QColor(246, 242, 236));
  QLinearGradient gradient(0, 0, 0, bandHeight);
  gradient.setColorAt(0, top);
  gradient.setColorAt(1, bottom);
  p.fillRect(QRect(0, 0, w, bandHeight), gradient);
  p.fillRect(QRect(0, bandHeight - 3, w, 3), QColor(255, 214, 102));
  // A narrow band holds only the emblem and the name, in one row.
  const bool narrow = band < 0.2;
  int emblem = narrow ? bandHeight - 10 : h / 6;
  Emblem(p, QRectF(16, narrow ? 4 : 12, emblem, emblem));
  p.setPen(Qt::white);
  p.setFont(Font(emblem / 2, true));
  p.drawText(QRect(24 + emblem, narrow ? 4 : 12, w / 2, emblem), Qt::AlignVCenter | Qt::AlignLeft,
             Name() + "网银助手");
  p.setFont(Font(std::max(13, h / 18)));
  if (narrow) {
    p.drawText(QRect(w / 2, 4, w / 2 - 16, emblem), Qt::AlignVCenter | Qt::AlignRight, line);
  } else {
    p.drawText(QRect(16, 20 + emblem, w - 32, bandHeight - 24 - emblem), Qt::AlignCenter, line);
  }
  return image;
}

// The tile: one colour per row, the first pixel of the first and the last
// row lighter; 8 bits per pixel.
QImage Tile() {
  const QRgb rows[20] = {
      qRgb(208, 212, 214), qRgb(132, 182, 138), qRgb(83, 201, 105), qRgb(83, 201, 105),
      qRgb(74, 198, 97),   qRgb(61, 194, 85),   qRgb(46, 189, 72),  qRgb(30, 184, 58),
      qRgb(30, 184, 58),   qRgb(16, 180, 46),   qRgb(6, 177, 37),   qRgb(6, 177, 37),
      qRgb(6, 177, 37),    qRgb(6, 177, 37),    qRgb(6, 177, 37),   qRgb(6, 177, 37),
      qRgb(6, 177, 37),    qRgb(6, 177, 37),    qRgb(6, 177, 37),   qRgb(208, 212, 214)};
  QVector<QRgb> table;
  for (QRgb c : rows)
    if (!table.contains(c)) table.push_back(c);
  const QRgb corner = qRgb(211, 213, 215);
  table.push_back(corner);
  QImage tile(25, 20, QImage::Format_Indexed8);
  tile.setColorTable(table);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 25; ++x)
      tile.setPixel(x, y, table.indexOf((x == 0 && (y == 0 || y == 19)) ? corner : rows[y]));
  return tile;
}

QImage Icon() {
  QImage icon(48, 48, QImage::Format_ARGB32);
  icon.fill(Qt::transparent);
  QPainter p(&icon);
  Emblem(p, QRectF(0, 0, 48, 48));
  return icon;
}

// The picture as the program packs it: the pixels ready to paint, so that
// showing a page decodes nothing (see ui/qt/art_pixels.h).
bool SavePixels(const QImage& image, const QString& path) {
  const QImage bits =
      image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  ArtPixelsHeader header;
  header.width = static_cast<uint32_t>(bits.width());
  header.height = static_cast<uint32_t>(bits.height());
  header.format = static_cast<uint32_t>(bits.format());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  bool ok = file.write(reinterpret_cast<const char*>(&header), sizeof header) == sizeof header;
  for (int y = 0; ok && y < bits.height(); ++y) {
    const qint64 row = static_cast<qint64>(bits.width()) * 4;
    ok = file.write(reinterpret_cast<const char*>(bits.constScanLine(y)), row) == row;
  }
  return ok && file.flush();
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: generate-art FOLDER\n");
    return 2;
  }
  LoadBankProfile();
  QDir dir(QString::fromLocal8Bit(argv[1]));
  dir.mkpath(".");
  const QColor red(150, 20, 36), deep(92, 10, 24);
  const QColor blue(22, 74, 140), navy(10, 36, 80);
  struct Picture {
    uint32_t id;
    QImage image;
  };
  const Picture pictures[] = {
      {BankProfile.queryImageId, Page(588, 358, "正在连接" + Name() + "服务器", red, deep, false)},
      {BankProfile.welcomeImageId,
       Page(588, 358, "欢迎安装" + Name() + "网银助手", red, deep, false)},
      {BankProfile.optionsImageId, Page(600, 365, "安装选项", red, deep, true, 0.11)},
      {BankProfile.progressImageId, Page(588, 358, "正在为您安装网银助手", blue, navy, false)},
      {BankProfile.progressAltImageId,
       Page(588, 358, Name() + "网上银行  安全 · 便捷", navy, blue, false)},
      {BankProfile.updateImageId,
       Page(420, 220, "网银助手有新版本，是否现在更新？", red, deep, false, 0.62)},
      {BankProfile.reinstallImageId,
       Page(420, 220, "是否重新安装网银助手？", red, deep, false, 0.62)},
      {BankProfile.iconId, Icon()},
      {148, Tile()},
  };
  for (const Picture& picture : pictures) {
    QString png = dir.filePath(QString("%1.png").arg(picture.id));
    QString pixels = dir.filePath(QString("%1.pixels").arg(picture.id));
    if (!picture.image.save(png, "PNG") || !SavePixels(picture.image, pixels)) {
      std::fprintf(stderr, "generate-art: cannot write %s\n", png.toLocal8Bit().constData());
      return 1;
    }
  }
  return 0;
}
