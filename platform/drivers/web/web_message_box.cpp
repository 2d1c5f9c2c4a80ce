// The browser driver's message box. A page cannot stop the program to wait for an
// answer, so the box's caption and text are shown on the page and user32 answers at once
// as if the box was closed: OK for an OK box, No for a Yes/No box. (The start-up question
// is asked by the page itself before the game starts, with the same two answers.)
#include <cstdio>
#include "platform/drivers/web/web_driver.h"
#include "platform/drivers/web/web_page.h"

int WebShowMessageBox(const MessageBoxRequest &box) {
  std::fprintf(stderr, "%s: %s\n", box.captionUtf8, box.textUtf8);
  WebShowMessage(box.captionUtf8, box.textUtf8);
  return 0;
}
