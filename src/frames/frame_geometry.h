#pragma once

// The coordinates of the frame editor without its widgets: the view's zoom, its selection
// rectangle in display pixels (picture pixels times the zoom, the picture's top-left corner at
// 0, 0), the folded EditRect and OK's conversion back into picture pixels. Every value that
// leaves this class is held to the signed 16-bit range the settings store; nothing overflows.

#include <cstdint>

namespace mirelo::frames {

struct Rect16 {
  std::int16_t Left = 0;
  std::int16_t Top = 0;
  std::int16_t Width = 0;
  std::int16_t Height = 0;
  friend bool operator==(const Rect16&, const Rect16&) = default;
};

// Nearest integer (a half to the even neighbour), then held to -32768..32767.
std::int16_t ClampToInt16(double value);

// A rectangle with negative extents folded: a negative width moves the left edge and becomes
// positive, the same for the height. Each value is rounded (a half to the even neighbour) and
// the folded result held to 16 bits.
Rect16 Fold(double left, double top, double width, double height);

class FrameGeometry {
 public:
  int ZoomPercent() const { return zoom_; }
  // The view's selection rectangle in display pixels, as it is drawn (during a drag it may have
  // negative extents; otherwise it equals EditRect).
  const Rect16& ViewRect() const { return view_; }
  const Rect16& EditRect() const { return edit_; }
  // Selection on: the rectangle is drawn and a new one can be dragged.
  bool SelectionOn() const { return selection_; }
  void SetSelectionOn(bool on) { selection_ = on; }
  bool Dragging() const { return dragging_; }

  // Activation with a stored frame: zoom 100, the view's rectangle and EditRect as stored.
  void ShowStored(std::int16_t left, std::int16_t top, std::int16_t width, std::int16_t height);
  // A picture was loaded: EditRect 0, 0, its size in pixels, whatever the zoom.
  void Loaded(int pictureWidth, int pictureHeight);

  // A drag with the mouse, in display pixels. Points are held to the displayed picture (0 to
  // displayWidth, 0 to displayHeight) so the rectangle never leaves it.
  void BeginDrag(double x, double y, double displayWidth, double displayHeight);
  void MoveDrag(double x, double y);
  // End of the drag: EditRect := the view's rectangle, rounded and folded.
  void EndDrag(double x, double y);

  // Zoom buttons: 100, 200, 300 keep the rectangle's display coordinates; 400 multiplies each of
  // them by a fixed four, whatever the zoom was.
  void SetZoom(int percent);

  // OK: EditRect divided by round(zoom / 100), each value rounded to the nearest integer, a half
  // to the even neighbour.
  Rect16 PictureRect() const;

  // Display pixels of a picture coordinate at the current zoom, and back.
  double ToDisplay(double picture) const { return picture * zoom_ / 100.0; }
  double ToPicture(double display) const { return display * 100.0 / zoom_; }

 private:
  void SetView(const Rect16& rect);

  int zoom_ = 100;
  Rect16 view_;
  Rect16 edit_;
  bool selection_ = true;
  bool dragging_ = false;
  double dragX_ = 0, dragY_ = 0;       // where the drag began
  double endX_ = 0, endY_ = 0;         // where it is now
  double limitX_ = 0, limitY_ = 0;     // the displayed picture's size
  Rect16 previous_;                    // EditRect before the drag
};

}  // namespace mirelo::frames
