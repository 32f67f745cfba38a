#pragma once

// The video window over Shape1: paints the frames the preview player renders for it. Nothing is
// embedded natively, so the picture shows alike on X11, Wayland, Xvfb and the offscreen platform.

#include <QImage>
#include <QWidget>

namespace mirelo::video {
class MpvPlayer;
}

namespace mirelo::filelist {

class VideoView : public QWidget {
  Q_OBJECT

 public:
  explicit VideoView(QWidget* parent = nullptr);

  // Asks the player for its current frame at the view's size (in device pixels) and repaints.
  void RenderFrom(video::MpvPlayer& player);
  // Shows nothing (black).
  void Clear();
  const QImage& Frame() const { return frame_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage frame_;
};

}  // namespace mirelo::filelist
