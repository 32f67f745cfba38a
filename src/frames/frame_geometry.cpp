#include "frames/frame_geometry.h"

#include <algorithm>
#include <cmath>

#include "app/utilities.h"

namespace mirelo::frames {

std::int16_t ClampToInt16(double value) {
  if (std::isnan(value)) return 0;
  const double rounded = app::RoundHalfEven(std::clamp(value, -32768.0, 32767.0));
  return static_cast<std::int16_t>(rounded);
}

Rect16 Fold(double left, double top, double width, double height) {
  // Rounded first, folded at full range, held to 16 bits last: a drag across a picture wider
  // than 32767 display pixels keeps its left edge on the picture.
  double l = app::RoundHalfEven(left), t = app::RoundHalfEven(top);
  double w = app::RoundHalfEven(width), h = app::RoundHalfEven(height);
  if (h < 0) {
    t += h;
    h = -h;
  }
  if (w < 0) {
    l += w;
    w = -w;
  }
  return {ClampToInt16(l), ClampToInt16(t), ClampToInt16(w), ClampToInt16(h)};
}

void FrameGeometry::SetView(const Rect16& rect) {
  view_ = rect;
  edit_ = Fold(rect.Left, rect.Top, rect.Width, rect.Height);
  view_ = edit_;
}

void FrameGeometry::ShowStored(std::int16_t left, std::int16_t top, std::int16_t width, std::int16_t height) {
  zoom_ = 100;
  view_ = edit_ = Rect16{left, top, width, height};
  selection_ = true;
}

void FrameGeometry::Loaded(int pictureWidth, int pictureHeight) {
  view_ = edit_ = Rect16{0, 0, ClampToInt16(pictureWidth), ClampToInt16(pictureHeight)};
  selection_ = true;
}

void FrameGeometry::BeginDrag(double x, double y, double displayWidth, double displayHeight) {
  limitX_ = std::max(0.0, displayWidth);
  limitY_ = std::max(0.0, displayHeight);
  dragX_ = std::clamp(x, 0.0, limitX_);
  dragY_ = std::clamp(y, 0.0, limitY_);
  endX_ = dragX_;
  endY_ = dragY_;
  dragging_ = true;
  previous_ = edit_;
  view_ = Rect16{ClampToInt16(dragX_), ClampToInt16(dragY_), 0, 0};
}

void FrameGeometry::MoveDrag(double x, double y) {
  if (!dragging_) return;
  endX_ = std::clamp(x, 0.0, limitX_);
  endY_ = std::clamp(y, 0.0, limitY_);
  view_ = Rect16{ClampToInt16(dragX_), ClampToInt16(dragY_), ClampToInt16(endX_ - dragX_),
                 ClampToInt16(endY_ - dragY_)};
}

void FrameGeometry::EndDrag(double x, double y) {
  if (!dragging_) return;
  MoveDrag(x, y);
  dragging_ = false;
  const Rect16 dragged = Fold(dragX_, dragY_, endX_ - dragX_, endY_ - dragY_);
  // A click or a stroke without area would leave no room for the picture; the rectangle stays.
  view_ = edit_ = dragged.Width == 0 || dragged.Height == 0 ? previous_ : dragged;
  selection_ = true;
}

void FrameGeometry::SetZoom(int percent) {
  zoom_ = std::clamp(percent, 100, 400);
  if (zoom_ == 400) {
    SetView(Rect16{ClampToInt16(4.0 * view_.Left), ClampToInt16(4.0 * view_.Top), ClampToInt16(4.0 * view_.Width),
                   ClampToInt16(4.0 * view_.Height)});
  } else {
    SetView(view_);
  }
  selection_ = true;
}

Rect16 FrameGeometry::PictureRect() const {
  const double factor = app::RoundHalfEven(zoom_ / 100.0);
  return {ClampToInt16(edit_.Left / factor), ClampToInt16(edit_.Top / factor), ClampToInt16(edit_.Width / factor),
          ClampToInt16(edit_.Height / factor)};
}

}  // namespace mirelo::frames
