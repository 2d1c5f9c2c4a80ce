// Where DrawTextA puts its lines in the rectangle, shared by the GDI stand-in and the
// font object that draws into the frame: DT_CALCRECT only measures, a single line may
// sit at the bottom or in the middle, and each line is centred or set right on its own.
#pragma once
#include "platform/platform.h"

// With DT_CALCRECT, grows the rectangle to the text and returns false: nothing is
// drawn. Otherwise sets the first line's top and returns true.
inline bool PlaceTextBox(RECT &rect, UINT format, int widest, int textHeight, int &top) {
  if (format & DT_CALCRECT) {
    rect.right = rect.left + widest;
    rect.bottom = rect.top + textHeight;
    return false;
  }
  top = rect.top;
  if (format & DT_SINGLELINE) {
    if (format & DT_BOTTOM) top = rect.bottom - textHeight;
    else if (format & DT_VCENTER) top = rect.top + (rect.bottom - rect.top - textHeight) / 2;
  }
  return true;
}

// Where a line of the given width starts.
inline int LineStart(const RECT &rect, UINT format, int lineWidth) {
  if (format & DT_CENTER) return rect.left + (rect.right - rect.left - lineWidth) / 2;
  if (format & DT_RIGHT) return rect.right - lineWidth;
  return rect.left;
}
