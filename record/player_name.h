// A player's name, as the game sends it with a game and the board shows it beside the
// score: one rule for both, so a name the game takes is never one the board refuses.
#pragma once
#include <string>

// Whether `name` may be a player's name: 1 to 24 characters of UTF-8 (no overlong forms,
// no surrogates), more than spaces, and none of the characters that are not seen or
// change how the text around them is seen: control characters, Unicode's format
// characters (the bidirectional marks, overrides and isolates, zero-width characters,
// tags...), the line and paragraph separators, private use and the noncharacters. When
// not, `why` says so in a few words ("not UTF-8", "longer than 24 characters"...).
bool PlayerNameOk(const std::string &name, std::string &why);

// The name without Unicode's spaces at either end (as given when it is not UTF-8).
std::string TrimmedName(const std::string &name);
