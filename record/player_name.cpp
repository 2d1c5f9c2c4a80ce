// A player's name: one rule for the game that sends it and the board that shows it.
#include "record/player_name.h"

#include <cstdint>

namespace {

// The next code point of well-formed UTF-8 at `at` (no overlong forms, no surrogates,
// nothing past U+10FFFF), moving `at` past it; false when there is none.
bool NextPoint(const std::string &text, size_t &at, uint32_t &point) {
  const auto *bytes = reinterpret_cast<const unsigned char *>(text.data());
  const unsigned char lead = bytes[at];
  size_t extra = 0;
  if (lead < 0x80) {
    point = lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    point = lead & 0x1F;
    extra = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    point = lead & 0x0F;
    extra = 2;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    point = lead & 0x07;
    extra = 3;
  } else {
    return false;
  }
  if (at + extra >= text.size()) return false;
  for (size_t k = 1; k <= extra; ++k) {
    const unsigned char next = bytes[at + k];
    if ((next & 0xC0) != 0x80) return false;
    point = (point << 6) | (next & 0x3F);
  }
  if ((extra == 2 && point < 0x800) || (extra == 3 && (point < 0x10000 || point > 0x10FFFF)) ||
      (point >= 0xD800 && point <= 0xDFFF))
    return false;
  at += extra + 1;
  return true;
}

// Unicode's spaces (Zs): trimmed from a name's ends.
bool IsSpace(uint32_t c) {
  return c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

// What a name may not hold because it is not seen, or changes how the text around it
// is seen: Unicode's format characters (Cf: the soft hyphen, the bidirectional marks,
// embeddings, overrides and isolates, zero-width joiners and spaces, the byte order
// mark, interlinear annotation, tags...), the line and paragraph separators, private
// use and the noncharacters.
bool IsHidden(uint32_t c) {
  static const struct {
    uint32_t first, last;
  } format[] = {{0xAD, 0xAD},       {0x600, 0x605},     {0x61C, 0x61C},     {0x6DD, 0x6DD},
                {0x70F, 0x70F},     {0x890, 0x891},     {0x8E2, 0x8E2},     {0x180E, 0x180E},
                {0x200B, 0x200F},   {0x2028, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},
                {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
                {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
                {0xE0020, 0xE007F}};
  for (const auto &range : format)
    if (c >= range.first && c <= range.last) return true;
  const bool privateUse = (c >= 0xE000 && c <= 0xF8FF) || c >= 0xF0000;
  const bool noncharacter = (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
  return privateUse || noncharacter;
}

}  // namespace

std::string TrimmedName(const std::string &name) {
  size_t at = 0, first = std::string::npos, end = 0;
  uint32_t point = 0;
  while (at < name.size()) {
    const size_t start = at;
    if (!NextPoint(name, at, point)) return name;   // not UTF-8: refused as it stands
    if (IsSpace(point)) continue;
    if (first == std::string::npos) first = start;
    end = at;
  }
  return first == std::string::npos ? std::string() : name.substr(first, end - first);
}

bool PlayerNameOk(const std::string &name, std::string &why) {
  size_t at = 0;
  int points = 0;
  bool seen = false;   // something other than a space
  while (at < name.size()) {
    uint32_t point = 0;
    if (!NextPoint(name, at, point)) {
      why = "not UTF-8";
      return false;
    }
    if (point < 0x20 || point == 0x7F || (point >= 0x80 && point <= 0x9F)) {
      why = "a control character";
      return false;
    }
    if (IsHidden(point)) {
      why = "a character that is not seen or that changes the text around it";
      return false;
    }
    seen = seen || !IsSpace(point);
    points++;
  }
  if (points == 0 || points > 24) {
    why = points == 0 ? "empty" : "longer than 24 characters";
    return false;
  }
  if (!seen) {
    why = "only spaces";
    return false;
  }
  return true;
}

