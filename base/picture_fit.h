// Where a picture goes in a larger (or smaller) area: the largest rectangle of the
// picture's own shape that fits, centred, with black bands on the other two sides. The
// window's surfaces, the hardware device's present and the mouse all place the picture
// by this one rule, so the hand moves under the pointer exactly where it is drawn.
//
// How it is scaled: a whole multiple (a 1600 x 1200 drawable, a dense screen's pixels)
// samples the nearest pixel, every game pixel an even square, as sharp as at 1:1. Any
// other size is scaled linearly. Nearest sampling there would double every fourth
// column and row at 1.25 times, so the one-pixel strokes of the text and the sprites'
// edges come out one and two pixels wide in turn and shimmer as things move; the linear
// scale keeps every stroke the same width, softened by less than a pixel. Holding the
// picture to the largest whole multiple instead would leave a 1080-line screen a picture
// of 600 lines, half of it bands.
#pragma once
#include <cstdint>

struct PictureFit {
  int x, y, width, height;
  // The picture is a whole number of times its own size (each of its pixels an even
  // square of the screen's), which nearest sampling keeps sharp.
  bool wholeMultiple;
};

inline PictureFit FitPicture(int areaWidth, int areaHeight, int pictureWidth, int pictureHeight) {
  if (areaWidth <= 0 || areaHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0)
    return PictureFit{0, 0, areaWidth > 0 ? areaWidth : 0, areaHeight > 0 ? areaHeight : 0, false};
  int width = areaWidth, height = areaHeight;
  if (static_cast<int64_t>(areaWidth) * pictureHeight > static_cast<int64_t>(areaHeight) * pictureWidth)
    width = static_cast<int>(static_cast<int64_t>(areaHeight) * pictureWidth / pictureHeight);
  else
    height = static_cast<int>(static_cast<int64_t>(areaWidth) * pictureHeight / pictureWidth);
  if (width < 1) width = 1;
  if (height < 1) height = 1;
  const bool whole = width % pictureWidth == 0 && height % pictureHeight == 0 &&
                     width / pictureWidth == height / pictureHeight;
  return PictureFit{(areaWidth - width) / 2, (areaHeight - height) / 2, width, height, whole};
}
