#pragma once

// The window's design units: 15 twips per pixel at 96 dpi. Qt's device-pixel ratio takes care of
// HiDPI screens, so every geometry below is in logical pixels.

#include <QRect>
#include <cmath>
#include <cstdint>

namespace mirelo::window {

inline constexpr int kTwipsPerPixel = 15;

inline int Px(double twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }
inline std::int32_t Twips(int pixels) { return static_cast<std::int32_t>(pixels) * kTwipsPerPixel; }

// left, top, width, height in twips.
inline QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(Px(left), Px(top), Px(width), Px(height));
}

}  // namespace mirelo::window
