// The player's settings file (see settings.h).
#include "app/settings.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <system_error>

#include "app/mouse_motion.h"
#include "app/options.h"
#include "app/user_dirs.h"
#include "platform/platform.h"
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace {

// A settings file is a page of text: anything much bigger is not one.
constexpr long MaxFileSize = 64 * 1024;
constexpr size_t MaxLine = 1000;
// The bad lines named on stderr; the rest are counted.
constexpr size_t NamedProblems = 5;

struct Key {
  const char *name;
  const char *comment;  // written above the key in the first run's file
  // Takes the value; false with the reason when it is not one the key can have.
  bool (*take)(Settings &settings, const std::string &value, std::string &why);
};

bool OneOf(const std::string &value, std::initializer_list<const char *> words, std::string &result,
           std::string &why, const char *wanted) {
  for (const char *word : words)
    if (value == word) {
      result = word;
      return true;
    }
  why = std::string("want ") + wanted;
  return false;
}

bool Integer(const std::string &value, int low, int high, int &out) {
  if (value.empty() || value.size() > 3) return false;
  int result = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + (c - '0');
  }
  if (result < low || result > high) return false;
  out = result;
  return true;
}

const Key keys[] = {
    {"display", "Full screen or a window at start-up: ask, window or fullscreen.",
     [](Settings &s, const std::string &value, std::string &why) {
       std::string word;
       if (!OneOf(value, {"ask", "window", "fullscreen"}, word, why, "ask, window or fullscreen")) return false;
       s.display = word == "ask" ? Settings::Ask : word == "window" ? Settings::Window : Settings::FullScreen;
       return true;
     }},
    {"scale", "The window's size: 1 to 4 times 800 x 600, for dense screens.",
     [](Settings &s, const std::string &value, std::string &why) {
       if (Integer(value, 1, 4, s.scale)) return true;
       why = "want a whole number from 1 to 4";
       return false;
     }},
    {"mouse", "How the mouse is read: auto, relative, warp or absolute (for remote desktops).",
     [](Settings &s, const std::string &value, std::string &why) {
       return OneOf(value, {"auto", "relative", "warp", "absolute"}, s.mouse, why, "auto, relative, warp or absolute");
     }},
    {"sensitivity", "The mouse motion's scale: 0.25 to 4, 1 as it comes.",
     [](Settings &s, const std::string &value, std::string &why) {
       double number = 0;
       if (DecimalNumberOk(value, number) && number >= MouseMotionScale::Lowest && number <= MouseMotionScale::Highest) {
         s.sensitivity = number;
         return true;
       }
       why = "want a number from 0.25 to 4";
       return false;
     }},
    {"pacing", "smooth draws at the display's rate between frames; original draws each frame once.",
     [](Settings &s, const std::string &value, std::string &why) {
       return OneOf(value, {"smooth", "original"}, s.pacing, why, "smooth or original");
     }},
    {"volume", "The sound effects' volume: 0 (silent) to 100 (full).",
     [](Settings &s, const std::string &value, std::string &why) {
       if (Integer(value, 0, 100, s.volume)) return true;
       why = "want a whole number from 0 to 100";
       return false;
     }},
    {"board",
     "The score board your best game of a run is offered to when the game ends: an http:// or https://\n"
     "# address (quillrun --submit sends one from the command line). Empty offers nothing.",
     [](Settings &s, const std::string &value, std::string &why) {
       if (!BoardAddressOk(value, true, why)) return false;
       s.board = value;
       return true;
     }},
    {"name", "Your name on score boards: 1 to 24 characters. Empty uses your login name.",
     [](Settings &s, const std::string &value, std::string &why) {
       if (!value.empty() && !PlayerNameOk(TrimmedName(value), why)) {
         why = "want a name of 1 to 24 characters (" + why + "), or nothing";
         return false;
       }
       s.name = value;
       return true;
     }},
};

std::string Trim(const std::string &text) {
  size_t start = 0, end = text.size();
  while (start < end && (text[start] == ' ' || text[start] == '\t')) start++;
  while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) end--;
  return text.substr(start, end - start);
}

std::string ValueText(const Settings &s, const char *key) {
  const std::string name = key;
  if (name == "display") return s.display == Settings::Ask ? "ask" : s.display == Settings::Window ? "window" : "fullscreen";
  if (name == "scale") return std::to_string(s.scale);
  if (name == "mouse") return s.mouse;
  if (name == "sensitivity") {
    char number[32];
    std::snprintf(number, sizeof number, "%g", s.sensitivity);
    return number;
  }
  if (name == "pacing") return s.pacing;
  if (name == "volume") return std::to_string(s.volume);
  if (name == "name") return s.name;
  return s.board;
}

// Writes the text beside the path and renames it into place, so the file is either
// absent or whole whatever happens meanwhile.
bool WriteWhole(const std::string &path, const std::string &text, std::string *why) {
#ifdef _WIN32
  const std::string temporary = path + ".new-" + std::to_string(_getpid());
#else
  const std::string temporary = path + ".new-" + std::to_string(getpid());
#endif
  FILE *file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    *why = std::strerror(errno);
    return false;
  }
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  written = std::fflush(file) == 0 && written;
#ifndef _WIN32
  written = fsync(fileno(file)) == 0 && written;
#endif
  const int savedErrno = errno;
  written = std::fclose(file) == 0 && written;
  if (!written) {
    *why = std::strerror(savedErrno != 0 ? savedErrno : EIO);
    std::remove(temporary.c_str());
    return false;
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    *why = error.message();
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::string DefaultSettingsText() {
  const Settings defaults;
  std::string text =
      "# quillrun's settings. Each line is \"key = value\"; a line starting with # or ; is a comment.\n"
      "# An option on the command line wins over its setting here for that run.\n";
  for (const Key &key : keys) {
    text += "\n# ";
    text += key.comment;
    text += "\n";
    text += key.name;
    text += " = " + ValueText(defaults, key.name) + "\n";
  }
  return text;
}

Settings ParseSettings(const std::string &text, const std::string &fileName, std::vector<std::string> *problems) {
  Settings settings;
  size_t start = 0;
  long lineNumber = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lineNumber++;
    const std::string raw = text.substr(start, end - start);
    start = end + 1;
    const std::string where = fileName + ":" + std::to_string(lineNumber) + ": ";
    if (raw.size() > MaxLine) {
      problems->push_back(where + "line too long");
      continue;
    }
    bool printable = true;
    for (char c : raw) {
      const unsigned char byte = static_cast<unsigned char>(c);
      if ((byte < 0x20 && byte != '\t' && byte != '\r') || byte == 0x7F) printable = false;
    }
    if (!printable) {
      problems->push_back(where + "a control character in the line");
      continue;
    }
    const std::string line = Trim(raw);
    // A UTF-8 byte-order mark, as some editors write, is not part of the first key.
    std::string content = lineNumber == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0 ? line.substr(3) : line;
    if (content.empty() || content[0] == '#' || content[0] == ';') continue;
    const size_t equals = content.find('=');
    if (equals == std::string::npos) {
      problems->push_back(where + "not \"key = value\": " + content);
      continue;
    }
    const std::string name = Trim(content.substr(0, equals));
    const std::string value = Trim(content.substr(equals + 1));
    const Key *key = nullptr;
    for (const Key &candidate : keys)
      if (name == candidate.name) key = &candidate;
    if (key == nullptr) {
      problems->push_back(where + "unknown key \"" + name + "\"");
      continue;
    }
    // The value is taken whole or not at all: a bad one leaves the default in place.
    Settings attempt = settings;
    std::string why;
    if (!key->take(attempt, value, why)) {
      problems->push_back(where + name + " \"" + value + "\": " + why + "; using the default");
      Settings defaults;
      key->take(settings, ValueText(defaults, key->name), why);
      continue;
    }
    settings = attempt;
  }
  return settings;
}

Settings LoadSettings(const std::string &path) {
  if (path.empty()) return Settings();
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found && std::filesystem::is_symlink(path, error)) {
    // The player's link, to a file elsewhere that is not there now: never replaced.
    std::fprintf(stderr, "quillrun: the settings %s are a link to %s, which is not there: the link is left as it is; "
                 "playing with the defaults\n",
                 path.c_str(), std::filesystem::read_symlink(path, error).string().c_str());
    return Settings();
  }
  if (status.type() == std::filesystem::file_type::not_found) {
    // The first run: every key at its default, for the player to change.
    std::string why;
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (!MakeFolders(folder, &why) || !WriteWhole(path, DefaultSettingsText(), &why))
      std::fprintf(stderr, "quillrun: cannot write the settings %s: %s; playing with the defaults\n", path.c_str(),
                   why.c_str());
    return Settings();
  }
  if (status.type() != std::filesystem::file_type::regular) {
    std::fprintf(stderr, "quillrun: cannot read the settings %s: %s; playing with the defaults\n", path.c_str(),
                 error ? error.message().c_str() : "not a regular file");
    return Settings();
  }
  FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "quillrun: cannot read the settings %s: %s; playing with the defaults\n", path.c_str(),
                 std::strerror(errno));
    return Settings();
  }
  std::string text;
  char buffer[4096];
  size_t got = 0;
  bool tooBig = false;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    if (text.size() + got > static_cast<size_t>(MaxFileSize)) {
      tooBig = true;
      break;
    }
    text.append(buffer, got);
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (tooBig || failed) {
    std::fprintf(stderr, "quillrun: cannot read the settings %s: %s; playing with the defaults\n", path.c_str(),
                 tooBig ? "larger than 64 KiB" : "a read error");
    return Settings();
  }
  std::vector<std::string> problems;
  const Settings settings = ParseSettings(text, path, &problems);
  // The first few are named; a file of nothing but bad lines does not fill the screen.
  for (size_t i = 0; i < problems.size() && i < NamedProblems; ++i)
    std::fprintf(stderr, "quillrun: %s\n", problems[i].c_str());
  if (problems.size() > NamedProblems)
    std::fprintf(stderr, "quillrun: %s: %zu more lines the game cannot take\n", path.c_str(),
                 problems.size() - NamedProblems);
  return settings;
}

std::string SettingsPath() {
#ifdef __EMSCRIPTEN__
  return {};
#else
  std::string why;
  const std::string folder = UserFolderPath(UserFolder::Config, [](const char *name) -> const char * {
    return std::getenv(name);
  }, &why);
  if (folder.empty()) {
    std::fprintf(stderr, "quillrun: no settings file: %s\n", why.c_str());
    return {};
  }
#ifdef _WIN32
  return folder + "\\settings.ini";
#else
  return folder + "/settings.ini";
#endif
#endif
}

// The settings become the run's start options; the command line is read over them.
void ApplySettings(const Settings &settings, StartOptions &options) {
  options.displayMode = settings.display == Settings::Ask ? 0 : settings.display == Settings::Window ? IDNO : IDYES;
  options.windowScale = settings.scale;
  options.mouseMode = settings.mouse;
  options.sensitivity = settings.sensitivity;
  options.volume = settings.volume;
  options.smoothPacing = settings.pacing == "smooth";
  options.board = settings.board;
  options.name = settings.name;
}
