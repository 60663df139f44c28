// The window layouts are drawn up in twips, 15 to a pixel at 96 dots per
// inch; these turn them into pixels.
#ifndef QUIBBO_UI_TWIPS_H_
#define QUIBBO_UI_TWIPS_H_

#include <QRect>

namespace quibbo::ui {

inline constexpr int kTwipsPerPixel = 15;

inline QRect Twips(int left, int top, int width, int height) {
  return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel,
               width / kTwipsPerPixel, height / kTwipsPerPixel);
}

}  // namespace quibbo::ui

#endif  // QUIBBO_UI_TWIPS_H_
