// A small HTTP client for the board's tests, over libcurl: one request, its status,
// headers (names in lower case) and body.
#pragma once
#include <curl/curl.h>

#include <algorithm>
#include <map>
#include <utility>
#include <string>
#include <vector>

struct HttpAnswer {
  long status = 0;  // 0 when the request failed
  std::string body;
  std::map<std::string, std::string> headers;
  std::string error;
  std::string Header(const std::string &name) const {
    auto found = headers.find(name);
    return found == headers.end() ? "" : found->second;
  }
};

struct HttpRequest {
  HttpRequest(std::string method_, std::string url_, std::string body_ = "", std::vector<std::string> headers_ = {})
      : method(std::move(method_)), url(std::move(url_)), body(std::move(body_)), headers(std::move(headers_)) {}
  std::string method;
  std::string url;
  std::string body;
  std::vector<std::string> headers;
  std::string from;      // the local address to send from, e.g. 127.0.0.2
  bool chunked = false;  // send the body without saying its length
  bool pathAsIs = false; // keep "/../" in the path as written
};

namespace server_http {

inline size_t Keep(char *data, size_t size, size_t count, void *out) {
  static_cast<std::string *>(out)->append(data, size * count);
  return size * count;
}

inline size_t KeepHeader(char *data, size_t size, size_t count, void *out) {
  std::string line(data, size * count);
  size_t colon = line.find(':');
  if (colon != std::string::npos) {
    std::string name = line.substr(0, colon);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return tolower(c); });
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    value.erase(value.find_last_not_of(" \t\r\n") + 1);
    (*static_cast<std::map<std::string, std::string> *>(out))[name] = value;
  }
  return size * count;
}

struct Source {
  const std::string *body;
  size_t at = 0;
};

inline size_t Give(char *out, size_t size, size_t count, void *cls) {
  auto *source = static_cast<Source *>(cls);
  size_t n = std::min(size * count, source->body->size() - source->at);
  std::copy_n(source->body->data() + source->at, n, out);
  source->at += n;
  return n;
}

}  // namespace server_http

inline HttpAnswer Http(const HttpRequest &request) {
  HttpAnswer answer;
  CURL *curl = curl_easy_init();
  if (!curl) {
    answer.error = "no curl";
    return answer;
  }
  curl_slist *headers = nullptr;
  for (const std::string &header : request.headers) headers = curl_slist_append(headers, header.c_str());
  if (request.chunked) headers = curl_slist_append(headers, "Transfer-Encoding: chunked");
  server_http::Source source{&request.body};
  curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, server_http::Keep);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, server_http::KeepHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &answer.headers);
  if (request.pathAsIs) curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
  if (!request.from.empty()) curl_easy_setopt(curl, CURLOPT_INTERFACE, request.from.c_str());
  if (request.method == "POST") {
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    if (request.chunked) {
      curl_easy_setopt(curl, CURLOPT_READFUNCTION, server_http::Give);
      curl_easy_setopt(curl, CURLOPT_READDATA, &source);
    } else {
      curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    }
  } else if (request.method == "HEAD") {
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  } else if (request.method != "GET") {
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  CURLcode code = curl_easy_perform(curl);
  if (code == CURLE_OK) {
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
  } else {
    answer.error = curl_easy_strerror(code);
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return answer;
}
