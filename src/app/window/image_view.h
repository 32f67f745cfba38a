#pragma once

// The on-screen side of an imaging control (LEAD1, LEAD3, LEAD4, ...): a sunken box that shows a
// picture scaled to fit, keeping its aspect. The picture itself lives in an ImagingControl.

#include <QFrame>
#include <QImage>

#include "platform/imaging/image.h"

namespace mirelo::window {

class ImageView : public QFrame {
  Q_OBJECT

 public:
  explicit ImageView(QWidget* parent = nullptr);

  void SetImage(const imaging::Image& image);
  void Clear();
  bool HasImage() const { return !image_.isNull(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
};

// A deep copy of image as a QImage (grey, RGB or indexed).
QImage ToQImage(const imaging::Image& image);

}  // namespace mirelo::window
