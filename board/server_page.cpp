// The boards as a page: two tables, plain HTML with a little inline style and no
// script, so the page works anywhere and a hostile name is only ever text.
#include <cstdio>
#include <ctime>

#include "board/server_parts.h"
#include "board/verify.h"

std::string UrlEncode(const std::string &text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

namespace {

std::string Date(int64_t seconds) {
  time_t when = static_cast<time_t>(seconds);
  struct tm parts;
  if (!gmtime_r(&when, &parts)) return "";
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M", &parts);
  return text;
}

void Table(std::string &page, const char *title, const std::vector<BoardGame> &games, bool playLinks) {
  page += "<h2>";
  page += title;
  page += "</h2>\n";
  if (games.empty()) {
    page += "<p class=\"empty\">No games yet.</p>\n";
    return;
  }
  page +=
      "<table>\n<thead><tr><th>Place</th><th>Name</th><th>Score</th><th>End</th><th>Frames</th>"
      "<th>Date (UTC)</th><th></th></tr></thead>\n<tbody>\n";
  int place = 0;
  for (const BoardGame &game : games) {
    std::string recording = "/api/games/" + std::to_string(game.id);
    page += "<tr><td>" + std::to_string(++place) + "</td><td><bdi>" + HtmlEscape(game.name) + "</bdi></td><td>" +
            std::to_string(game.score) + "</td><td>" + (game.end == "clear" ? "ALL CLEAR" : "GAME OVER") +
            "</td><td>" + std::to_string(game.frames) + "</td><td>" + Date(game.submitted) + "</td><td><a href=\"" +
            HtmlEscape(recording) + "\">recording</a>";
    if (playLinks) {
      page += " <a href=\"" + HtmlEscape("/play/index.html?watch=" + UrlEncode(recording)) + "\">watch</a>";
    }
    page += "</td></tr>\n";
  }
  page += "</tbody>\n</table>\n";
}

}  // namespace

std::string BoardPage(const std::vector<BoardGame> &normal, const std::vector<BoardGame> &random, int rules,
                      bool playLinks) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>quillrun board</title>\n<style>\n"
      "body { font-family: sans-serif; margin: 2em auto; max-width: 52em; padding: 0 1em; }\n"
      "table { border-collapse: collapse; width: 100%; }\n"
      "th, td { padding: 0.2em 0.6em; text-align: left; border-bottom: 1px solid #ddd; }\n"
      "td:nth-child(3), td:nth-child(5) { text-align: right; }\n"
      ".note, .empty { color: #555; }\n"
      "</style>\n</head>\n<body>\n<h1>quillrun board</h1>\n"
      "<p class=\"note\">Every score here was computed by the board itself, by playing the submitted "
      "inputs again. That proves the score follows from the inputs sent, not that a person played them.</p>\n"
      "<p class=\"note\">Each game is here once: a game whose inputs from its first frame are a kept game's "
      "(or begin as one does) is refused, under any name, whatever came before it in the run. That does not say "
      "who played it first, nor stop a copy with one input changed, which is another game with its own "
      "score.</p>\n";
  page += "<p class=\"note\">The best games of each mode played under rules " + std::to_string(rules) + ".</p>\n";
  Table(page, "Normal", normal, playLinks);
  Table(page, "Random", random, playLinks);
  page += "</body>\n</html>\n";
  return page;
}
