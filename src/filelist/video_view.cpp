#include "filelist/video_view.h"

#include <QPaintEvent>
#include <QPainter>
#include <cmath>

#include "platform/video/mpv_player.h"

namespace mirelo::filelist {

VideoView::VideoView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral(u"VideoWindow"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void VideoView::RenderFrom(video::MpvPlayer& player) {
  const qreal ratio = devicePixelRatioF();
  const QSize size(std::max(1, static_cast<int>(std::lround(width() * ratio))),
                   std::max(1, static_cast<int>(std::lround(height() * ratio))));
  if (frame_.size() != size) frame_ = QImage(size, QImage::Format_RGBX8888);
  // QImage rows are 32-bit aligned, which is all libmpv needs for "rgb0".
  if (!player.Render(size.width(), size.height(), static_cast<std::size_t>(frame_.bytesPerLine()), frame_.bits())) {
    frame_.fill(Qt::black);
  }
  frame_.setDevicePixelRatio(ratio);
  update();
}

void VideoView::Clear() {
  frame_ = QImage();
  update();
}

void VideoView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (frame_.isNull()) {
    painter.fillRect(rect(), Qt::black);
    return;
  }
  painter.drawImage(rect(), frame_);
}

}  // namespace mirelo::filelist
