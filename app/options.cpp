// The option table of quillrun and its parser (see options.h).
#include "app/options.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/mouse_motion.h"
#include "platform/platform.h"

namespace {

struct Option {
  const char *name;         // with its two dashes
  const char *argument;     // the argument's name in the usage; null when it takes none
  const char *description;
  // Takes the option (and its argument); false with the reason when the argument is bad.
  bool (*apply)(StartOptions &options, const char *argument, std::string &error);
  // A second argument's name and taker, for the few options with two.
  const char *second = nullptr;
  bool (*applySecond)(StartOptions &options, const char *argument, std::string &error) = nullptr;
  // The second argument may be left out: it is taken only when the next word is not an
  // option.
  bool secondOptional = false;
};

bool KeptGameId(const char *argument) {
  if (*argument == '\0' || std::strlen(argument) > 18) return false;
  for (const char *c = argument; *c; ++c)
    if (*c < '0' || *c > '9') return false;
  return true;
}

const Option options[] = {
    {"--window", nullptr, "play in an 800 x 600 window, without asking",
     [](StartOptions &o, const char *, std::string &) {
       o.displayMode = IDNO;
       return true;
     }},
    {"--fullscreen", nullptr, "play full screen, without asking",
     [](StartOptions &o, const char *, std::string &) {
       o.displayMode = IDYES;
       return true;
     }},
    {"--scale", "N", "open the window at N times 800 x 600 (N from 1 to 4), not at its last size",
     [](StartOptions &o, const char *argument, std::string &error) {
       if (std::strlen(argument) != 1 || argument[0] < '1' || argument[0] > '4') {
         error = "--scale wants a number from 1 to 4, not \"" + std::string(argument) + "\"";
         return false;
       }
       o.windowScale = argument[0] - '0';
       o.scaleGiven = true;
       return true;
     }},
    {"--record", "FILE", "keep the seed and every frame's input of the game in FILE, for quillrun-replay",
     [](StartOptions &o, const char *argument, std::string &error) {
       if (*argument == '\0') {
         error = "--record wants a file";
         return false;
       }
       o.recordPath = argument;
       return true;
     }},
    {"--mouse", "MODE", "how the mouse is read: auto, relative, warp or absolute (for remote desktops)",
     [](StartOptions &o, const char *argument, std::string &error) {
       for (const char *mode : {"auto", "relative", "warp", "absolute"})
         if (std::strcmp(argument, mode) == 0) {
           o.mouseMode = mode;
           return true;
         }
       error = "--mouse wants auto, relative, warp or absolute, not \"" + std::string(argument) + "\"";
       return false;
     }},
    {"--sensitivity", "X", "scale the mouse's motion by X (0.25 to 4; 1 as it comes)",
     [](StartOptions &o, const char *argument, std::string &error) {
       double value = 0;
       if (!DecimalNumberOk(argument, value) || value < MouseMotionScale::Lowest || value > MouseMotionScale::Highest) {
         error = "--sensitivity wants a number from 0.25 to 4, not \"" + std::string(argument) + "\"";
         return false;
       }
       o.sensitivity = value;
       return true;
     }},
    {"--volume", "N", "play the sound effects at volume N, from 0 (silent) to 100 (full)",
     [](StartOptions &o, const char *argument, std::string &error) {
       const size_t length = std::strlen(argument);
       bool digits = length >= 1 && length <= 3;
       int value = 0;
       for (size_t i = 0; digits && i < length; i++) {
         digits = argument[i] >= '0' && argument[i] <= '9';
         value = value * 10 + (argument[i] - '0');
       }
       if (!digits || value > 100) {
         error = "--volume wants a whole number from 0 to 100, not \"" + std::string(argument) + "\"";
         return false;
       }
       o.volume = value;
       return true;
     }},
    {"--pacing", "MODE", "smooth: pictures at the display's rate between the world's frames; original: one a frame",
     [](StartOptions &o, const char *argument, std::string &error) {
       if (std::strcmp(argument, "smooth") == 0 || std::strcmp(argument, "original") == 0) {
         o.smoothPacing = std::strcmp(argument, "smooth") == 0;
         return true;
       }
       error = "--pacing wants smooth or original, not \"" + std::string(argument) + "\"";
       return false;
     }},
    {"--demo", nullptr, "let the built-in player play a normal game; Escape hands it over to you",
     [](StartOptions &o, const char *, std::string &) {
       o.demo = true;
       return true;
     }},
    {"--scores", nullptr, "print the ten best kept games of each mode and exit",
     [](StartOptions &o, const char *, std::string &) {
       o.scores = true;
       return true;
     }},
    {"--watch", "ID|FILE", "play a kept game (by its id in --scores) or a record file again in the window",
     [](StartOptions &o, const char *argument, std::string &error) {
       if (*argument == '\0') {
         error = "--watch wants a kept game's id or a record file";
         return false;
       }
       o.watch = argument;
       return true;
     }},
    {"--export", "ID", "write kept game ID's run, up to its end, to FILE as a record for quillrun-replay",
     [](StartOptions &o, const char *argument, std::string &error) {
       if (!KeptGameId(argument)) {
         error = "--export wants a kept game's id, not \"" + std::string(argument) + "\"";
         return false;
       }
       o.exportId = argument;
       return true;
     },
     "FILE",
     [](StartOptions &o, const char *argument, std::string &error) {
       if (*argument == '\0') {
         error = "--export wants a file after the id";
         return false;
       }
       o.exportPath = argument;
       return true;
     }},
    {"--submit", "URL", "send kept game ID (your best kept game without one) to the score board at URL",
     [](StartOptions &o, const char *argument, std::string &error) {
       std::string why;
       if (!BoardAddressOk(argument, false, why)) {
         error = "--submit wants a board's address, not \"" + std::string(argument) + "\": " + why;
         return false;
       }
       o.submitBoard = argument;
       return true;
     },
     "[ID]",
     [](StartOptions &o, const char *argument, std::string &error) {
       if (!KeptGameId(argument)) {
         error = "--submit wants a kept game's id after the address, not \"" + std::string(argument) + "\"";
         return false;
       }
       o.submitId = argument;
       return true;
     },
     true},
    {"--board", "URL", "offer your best game of the run to the score board at URL when the game ends",
     [](StartOptions &o, const char *argument, std::string &error) {
       std::string why;
       if (!BoardAddressOk(argument, true, why)) {
         error = "--board wants a board's address, not \"" + std::string(argument) + "\": " + why;
         return false;
       }
       o.board = argument;
       return true;
     }},
    {"--name", "NAME", "your name on score boards (1 to 24 characters; your login name unless given)",
     [](StartOptions &o, const char *argument, std::string &error) {
       std::string why;
       if (!PlayerNameOk(TrimmedName(argument), why)) {
         error = "--name wants a name of 1 to 24 characters, not \"" + std::string(argument) + "\": " + why;
         return false;
       }
       o.name = argument;
       return true;
     }},
    {"--help", nullptr, "show this help and exit",
     [](StartOptions &o, const char *, std::string &) {
       o.help = true;
       return true;
     }},
    {"--version", nullptr, "show the version and exit",
     [](StartOptions &o, const char *, std::string &) {
       o.version = true;
       return true;
     }},
};

}  // namespace

namespace {

bool Hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The characters a URL's parts are written in: unreserved, sub-delims and, where
// `more` says, others; '%' only as the start of a percent-encoded byte.
bool UrlText(const std::string &text, const char *more) {
  for (size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '%') {
      if (at + 2 >= text.size() || !Hex(text[at + 1]) || !Hex(text[at + 2])) return false;
      at += 2;
    } else if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 std::strchr("-._~!$&'()*+,;=", c) != nullptr || std::strchr(more, c) != nullptr)) {
      return false;
    }
  }
  return true;
}

bool Ipv4(const std::string &text) {
  int parts = 0;
  for (size_t at = 0; at <= text.size(); ++parts) {
    size_t end = at;
    int value = 0;
    while (end < text.size() && end - at < 3 && text[end] >= '0' && text[end] <= '9')
      value = value * 10 + (text[end++] - '0');
    if (end == at || value > 255 || (end < text.size() && text[end] != '.')) return false;
    at = end + 1;
  }
  return parts == 4;
}

// An IPv6 address as a URL writes it between [ and ], with a zone ("%25eth0") or not.
bool Ipv6(const std::string &text) {
  const size_t zone = text.find('%');
  if (zone != std::string::npos &&
      (text.compare(zone, 3, "%25") != 0 || zone + 3 == text.size() || !UrlText(text.substr(zone + 3), "")))
    return false;
  const std::string address = text.substr(0, zone);
  int groups = 0;
  bool shortened = address.rfind("::", 0) == 0;
  size_t at = shortened ? 2 : 0;
  while (at < address.size()) {
    size_t end = at;
    while (end < address.size() && end - at < 5 && Hex(address[end])) ++end;
    if (end < address.size() && address[end] == '.') {
      // Four bytes written as IPv4 are its last two groups.
      if (!Ipv4(address.substr(at))) return false;
      groups += 2;
      break;
    }
    if (end == at || end - at > 4) return false;
    ++groups;
    if (end == address.size()) break;
    if (address[end] != ':' || end + 1 == address.size()) return false;
    at = end + 1;
    if (address[at] == ':') {
      if (shortened) return false;
      shortened = true;
      ++at;
    }
  }
  return shortened ? groups <= 7 : groups == 8;
}

}  // namespace

bool DecimalNumberOk(const std::string &text, double &value) {
  // Digits with at most one point: no sign, blank, exponent, hexadecimal, inf or nan.
  size_t digits = 0, points = 0;
  for (const char c : text) {
    if (c >= '0' && c <= '9') ++digits;
    else if (c == '.') ++points;
    else return false;
  }
  if (digits == 0 || points > 1 || text.size() > 32) return false;
  value = std::strtod(text.c_str(), nullptr);
  return true;
}

bool BoardAddressOk(const std::string &address, bool allowEmpty, std::string &why) {
  if (address.empty() && allowEmpty) return true;
  const size_t scheme = address.rfind("https://", 0) == 0 ? 8 : address.rfind("http://", 0) == 0 ? 7 : 0;
  if (scheme == 0) {
    why = allowEmpty ? "want an address starting with http:// or https://, or nothing"
                     : "want an address starting with http:// or https://";
    return false;
  }
  for (char c : address)
    if (c == ' ' || c == '\t') {
      why = "an address has no blanks";
      return false;
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      why = "an address has no control characters";
      return false;
    }
  // The rest is the server ([user@]host[:port]) and a path: the board's own paths are put
  // after it, so there is no query or fragment.
  const size_t slash = std::min(address.find('/', scheme), address.size());
  std::string server = address.substr(scheme, slash - scheme);
  const std::string path = address.substr(slash);
  if (address.find_first_of("?#") != std::string::npos) {
    why = "a board's address has no ? or # (the board's own paths go after it)";
    return false;
  }
  const size_t user = server.rfind('@');
  if (user != std::string::npos) {
    if (!UrlText(server.substr(0, user), ":")) {
      why = "the user before the @ is no URL's";
      return false;
    }
    server.erase(0, user + 1);
  }
  if (server.empty()) {
    why = "an address names its server after the //";
    return false;
  }
  size_t port = std::string::npos;
  if (server[0] == '[') {
    const size_t close = server.find(']');
    if (close == std::string::npos || !Ipv6(server.substr(1, close - 1))) {
      why = close == std::string::npos ? "the server's [ is not closed" : "not an IPv6 address between [ and ]";
      return false;
    }
    if (close + 1 < server.size() && server[close + 1] != ':') {
      why = "the server's ] is followed by neither : nor /";
      return false;
    }
    if (close + 1 < server.size()) port = close + 1;
  } else {
    port = server.find(':');
    if (port == 0 || !UrlText(server.substr(0, port), "")) {
      why = "the server is neither a name nor an address";
      return false;
    }
  }
  if (port != std::string::npos) {
    const std::string digits = server.substr(port + 1);
    long number = 0;
    for (const char c : digits) number = c >= '0' && c <= '9' && number <= 65535 ? number * 10 + (c - '0') : 100000;
    if (digits.empty() || number < 1 || number > 65535) {
      why = "a port is a number from 1 to 65535";
      return false;
    }
  }
  if (!UrlText(path, "/:@")) {
    why = "the path has a character no URL has (write it as %XX)";
    return false;
  }
  return true;
}

bool ParseCommandLine(int argc, const char *const *argv, StartOptions &result, std::string &error) {
  for (int i = 0; i < argc; i++) {
    const std::string word = argv[i];
    const size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    const Option *option = nullptr;
    for (const Option &candidate : options)
      if (name == candidate.name) option = &candidate;
    if (!option) {
      error = (word.rfind("--", 0) == 0 ? "unknown option \"" : "unexpected argument \"") + word + "\"";
      return false;
    }
    std::string argument;
    if (!option->argument) {
      if (equals != std::string::npos) {
        error = name + " takes no argument";
        return false;
      }
    } else if (equals != std::string::npos) {
      argument = word.substr(equals + 1);
    } else if (i + 1 < argc) {
      argument = argv[++i];
    } else {
      error = name + " wants an argument, " + option->argument;
      return false;
    }
    if (!option->apply(result, argument.c_str(), error)) return false;
    if (option->second && option->secondOptional) {
      if (i + 1 < argc && argv[i + 1][0] != '-' && !option->applySecond(result, argv[++i], error)) return false;
    } else if (option->second) {
      if (i + 1 >= argc) {
        error = name + " wants a second argument, " + option->second;
        return false;
      }
      if (!option->applySecond(result, argv[++i], error)) return false;
    }
  }
  return true;
}

void PrintUsage(FILE *to) {
  std::fprintf(to, "usage: quillrun [OPTION]...\n"
                   "A mouse-driven sword action game. Without options it asks whether to play full screen.\n\n");
  for (const Option &option : options) {
    std::string left = option.name;
    if (option.argument) left = left + " " + option.argument;
    if (option.second) left = left + " " + option.second;
    std::fprintf(to, "  %-18s %s\n", left.c_str(), option.description);
  }
}
