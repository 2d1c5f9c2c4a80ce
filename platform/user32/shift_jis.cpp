// Shift-JIS (code page 932) text as UTF-8, for the window title and the message box,
// on the desktop and in the browser alike. A byte that starts no character shows as '?'.
#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/kernel32/unsupported.h"
#include "platform/user32/window_internal.h"

std::string Cp932ToUtf8(const char *text) {
  if (!text) return std::string();
  std::string result;
  iconv_t converter = iconv_open("UTF-8", "CP932");
  if (converter == reinterpret_cast<iconv_t>(-1)) converter = iconv_open("UTF-8", "SHIFT_JIS");
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    QR_UNSUPPORTED_ONCE("no Shift-JIS converter on this system; non-ASCII text shows as '?'");
    for (const char *c = text; *c; c++) result += (static_cast<unsigned char>(*c) < 0x80) ? *c : '?';
    return result;
  }
  char *input = const_cast<char *>(text);
  size_t inputLeft = std::strlen(text);
  while (inputLeft > 0) {
    char buffer[256];
    char *output = buffer;
    size_t outputLeft = sizeof buffer;
    const size_t converted = iconv(converter, &input, &inputLeft, &output, &outputLeft);
    result.append(buffer, static_cast<size_t>(output - buffer));
    if (converted == static_cast<size_t>(-1) && errno != E2BIG) {
      // A byte that starts no Shift-JIS character, or a lead byte cut off at the end.
      result += '?';
      input += 1;
      inputLeft -= 1;
    }
  }
  iconv_close(converter);
  return result;
}
