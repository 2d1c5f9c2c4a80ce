// The quit signals in the browser: a page is never sent one, so the message loop never
// sees its window closed that way.
#include "platform/kernel32/signals.h"

int QuitSignal() { return 0; }
