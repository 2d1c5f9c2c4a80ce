// quillrun-board's command line.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "board/server.h"
#include "board/server_metrics.h"
#include "board/server_parts.h"

const char *BoardUsage() {
  return "usage: quillrun-board --db FILE.sqlite|postgresql://... --port N [options]\n"
         "\n"
         "The leaderboard: every game submitted as a recording is played again here and kept\n"
         "with the score the board computed.\n"
         "\n"
         "  --db TARGET          a SQLite file (made as needed), or a PostgreSQL URI\n"
         "                       (postgresql://...) shared by several boards\n"
         "  --port N             the port to listen on; 0 for any free port\n"
         "  --bind ADDR          the address to listen on (default 0.0.0.0; IPv6 allowed)\n"
         "  --web DIR            serve the browser build in DIR under /play/\n"
         "  --trust-proxy ADDR   believe X-Forwarded-For from this peer (repeatable)\n"
         "  --workers N          games played at once (default: one per core)\n"
         "  --queue N            games waiting to be played, at most (default 256)\n"
         "  --time-limit SECONDS the longest one game may take to play (default 60)\n"
         "  --rate N             submissions per address per minute (default 10)\n"
         "  --top-cache S        answer a top list again for S seconds (default 1; 0: never)\n"
         "  --connections-per-address N\n"
         "                       connections one address (an IPv6 /64) may hold (default 32;\n"
         "                       0: any number; a trusted proxy has no limit)\n"
         "  --header-time S      the longest a request's header may take, and an idle\n"
         "                       connection may wait (default 10)\n"
         "  --body-rate BYTES    the lowest rate a body must keep after that (default 1024 a second)\n"
         "  --metrics-from CIDR  who may read GET /metrics (repeatable; default 127.0.0.0/8 and ::1)\n"
         "  --backup FILE        copy the SQLite database of --db, live, into FILE and exit\n"
         "  --help               show this and exit\n";
}

namespace {

bool Count(const char *option, const char *text, long low, long high, int &out, std::string &error) {
  int64_t value = 0;
  if (!ParseDecimal(text, strlen(text), high, value) || value < low) {
    error = std::string(option) + " wants a whole number from " + std::to_string(low) + " to " +
            std::to_string(high) + ", not \"" + text + "\"";
    return false;
  }
  out = static_cast<int>(value);
  return true;
}

}  // namespace

bool ParseBoardOptions(int argc, char **argv, BoardOptions &options, bool &help, std::string &error) {
  help = false;
  bool haveDb = false, havePort = false, metricsGiven = false;
  for (int i = 1; i < argc; i++) {
    std::string option = argv[i];
    std::string value;
    bool inlineValue = false;
    if (option == "--help" || option == "-h") {
      help = true;
      return true;
    }
    if (option.compare(0, 2, "--") != 0) {
      error = "unexpected argument \"" + option + "\"";
      return false;
    }
    size_t equals = option.find('=');
    if (equals != std::string::npos) {
      value = option.substr(equals + 1);
      option.resize(equals);
      inlineValue = true;
    }
    static const char *const known[] = {"--db",      "--port",  "--bind",       "--web", "--trust-proxy",
                                        "--workers", "--queue", "--time-limit", "--rate",
                                        "--top-cache", "--connections-per-address", "--header-time",
                                        "--body-rate", "--metrics-from", "--backup"};
    bool isKnown = false;
    for (const char *name : known) isKnown = isKnown || option == name;
    if (!isKnown) {
      error = "unknown option " + option;
      return false;
    }
    if (!inlineValue) {
      if (i + 1 >= argc) {
        error = option + " wants a value";
        return false;
      }
      value = argv[++i];
    }
    const char *text = value.c_str();
    if (option == "--db") {
      if (value.empty()) {
        error = "--db wants a SQLite file or a postgresql:// URI";
        return false;
      }
      options.db = value;
      haveDb = true;
    } else if (option == "--port") {
      if (!Count("--port", text, 0, 65535, options.port, error)) return false;
      havePort = true;
    } else if (option == "--bind") {
      if (CanonicalAddress(value).empty()) {
        error = "--bind wants an IPv4 or IPv6 address, not \"" + value + "\"";
        return false;
      }
      options.bind = value;
    } else if (option == "--web") {
      struct stat info;
      if (value.empty() || stat(text, &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = "--web wants a folder, and \"" + value + "\" is not one";
        return false;
      }
      options.web = value;
    } else if (option == "--trust-proxy") {
      std::string address = CanonicalAddress(value);
      if (address.empty()) {
        error = "--trust-proxy wants an IPv4 or IPv6 address, not \"" + value + "\"";
        return false;
      }
      options.trustProxy.push_back(address);
    } else if (option == "--workers") {
      if (!Count("--workers", text, 1, 1024, options.workers, error)) return false;
    } else if (option == "--queue") {
      if (!Count("--queue", text, 0, 100000, options.queue, error)) return false;
    } else if (option == "--rate") {
      if (!Count("--rate", text, 1, 1000000, options.rate, error)) return false;
    } else if (option == "--top-cache") {
      if (!Count("--top-cache", text, 0, 3600, options.topSeconds, error)) return false;
    } else if (option == "--metrics-from") {
      const std::string network = CanonicalAddress(value.substr(0, value.find('/')));
      if (!InCidr(network, value)) {
        error = "--metrics-from wants an address or ADDR/BITS, not \"" + value + "\"";
        return false;
      }
      if (!metricsGiven) options.metricsFrom.clear();
      metricsGiven = true;
      options.metricsFrom.push_back(value);
    } else if (option == "--backup") {
      if (value.empty()) {
        error = "--backup wants a file";
        return false;
      }
      options.backup = value;
    } else if (option == "--connections-per-address") {
      if (!Count("--connections-per-address", text, 0, 100000, options.perAddress, error)) return false;
    } else if (option == "--body-rate") {
      if (!Count("--body-rate", text, 0, 1 << 30, options.bodyRate, error)) return false;
    } else if (option == "--header-time") {
      int seconds = 0;
      if (!Count("--header-time", text, 1, 3600, seconds, error)) return false;
      options.headerSeconds = seconds;
    } else if (option == "--time-limit") {
      char *end = nullptr;
      errno = 0;
      double seconds = strtod(text, &end);
      if (value.empty() || *end != '\0' || errno != 0 || !std::isfinite(seconds) || seconds <= 0 ||
          seconds > 86400 || !(value[0] >= '0' && value[0] <= '9')) {
        error = "--time-limit wants a number of seconds above 0 (at most 86400), not \"" + value + "\"";
        return false;
      }
      options.timeLimit = seconds;
    }
  }
  if (!haveDb) {
    error = "--db is required";
    return false;
  }
  if (!havePort && options.backup.empty()) {
    error = "--port is required";
    return false;
  }
  return true;
}
