#include "app/window/image_view.h"

#include <QPainter>
#include <cstring>

namespace mirelo::window {

QImage ToQImage(const imaging::Image& image) {
  if (image.empty()) return {};
  QImage::Format format = QImage::Format_RGB888;
  if (image.format == imaging::PixelFormat::Gray8) format = QImage::Format_Grayscale8;
  if (image.format == imaging::PixelFormat::Palette8) format = QImage::Format_Indexed8;
  QImage out(image.width, image.height, format);
  if (out.isNull()) return {};
  for (int y = 0; y < image.height; ++y) {
    std::memcpy(out.scanLine(y), image.row(y), image.stride());
  }
  if (format == QImage::Format_Indexed8) {
    QList<QRgb> table;
    for (const imaging::Rgb& c : image.palette) table.append(qRgb(c.r, c.g, c.b));
    while (table.size() < 256) table.append(qRgb(0, 0, 0));
    out.setColorTable(table);
  }
  return out;
}

ImageView::ImageView(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
}

void ImageView::SetImage(const imaging::Image& image) {
  image_ = ToQImage(image);
  update();
}

void ImageView::Clear() {
  image_ = QImage();
  update();
}

void ImageView::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  if (image_.isNull()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const QRect box = contentsRect();
  QSize size = image_.size();
  size.scale(box.size(), Qt::KeepAspectRatio);
  const QRect target(box.x() + (box.width() - size.width()) / 2, box.y() + (box.height() - size.height()) / 2,
                     size.width(), size.height());
  painter.drawImage(target, image_);
}

}  // namespace mirelo::window
