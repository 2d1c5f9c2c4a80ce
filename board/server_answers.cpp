// The board's answers: every response with its type and headers, logged; the
// refusals with their status; and the client a request is counted against.
#include "board/server_state.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "board/server_parts.h"

void BoardServer::State::Log(MHD_Connection *connection, const char *method, const char *url, int status, const Request &request) {
  if (!options.log) return;
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - request.start).count();
  // A path is the client's text: only printable ASCII goes to the log, and not much of it.
  std::string path;
  for (const char *c = url; *c && path.size() < 120; c++) path += (*c >= 32 && *c < 127) ? *c : '?';
  std::string method_;
  for (const char *c = method; *c && method_.size() < 16; c++) method_ += (*c >= 32 && *c < 127) ? *c : '?';
  fprintf(stderr, "%s %s %s %d %.0fms\n", Client(connection).c_str(), method_.c_str(), path.c_str(), status, ms);
}

MHD_Result BoardServer::State::Send(MHD_Connection *connection, const char *method, const char *url, Request &request, int status,
                MHD_Response *response, const char *type) {
  if (!response) return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
  MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
  if (stopping) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
  MHD_Result result = MHD_queue_response(connection, static_cast<unsigned>(status), response);
  MHD_destroy_response(response);
  Log(connection, method, url, status, request);
  return result;
}

MHD_Result BoardServer::State::SendText(MHD_Connection *connection, const char *method, const char *url, Request &request, int status,
                    std::string text, const char *type,
                    std::initializer_list<std::pair<const char *, std::string>> headers) {
  // The response keeps its own copy of the text until it is sent.
  auto *kept = new std::string(std::move(text));
  MHD_Response *response = MHD_create_response_from_buffer_with_free_callback_cls(
      kept->size(), kept->data(), [](void *cls) { delete static_cast<std::string *>(cls); }, kept);
  if (!response) {
    delete kept;
    return MHD_NO;
  }
  for (const auto &header : headers) MHD_add_response_header(response, header.first, header.second.c_str());
  return Send(connection, method, url, request, status, response, type);
}

MHD_Result BoardServer::State::SendJson(MHD_Connection *connection, const char *method, const char *url, Request &request, int status,
                    const Json &json, std::initializer_list<std::pair<const char *, std::string>> headers) {
  return SendText(connection, method, url, request, status, Text(json) + "\n", JsonType, headers);
}

MHD_Result BoardServer::State::SendError(MHD_Connection *connection, const char *method, const char *url, Request &request, int status,
                     const char *error, const std::string &reason,
                     std::initializer_list<std::pair<const char *, std::string>> headers) {
  return SendJson(connection, method, url, request, status, Json{{"error", error}, {"reason", reason}}, headers);
}

MHD_Result BoardServer::State::Refuse(MHD_Connection *connection, const char *method, const char *url, Request &request,
                  Refusal refusal, const std::string &why) {
  metrics.Refused(refusal);
  int status = RefusalStatus(refusal);
  if (refusal == Refusal::TooMany) {
    return SendError(connection, method, url, request, status, RefusalName(refusal), why,
                     {{MHD_HTTP_HEADER_RETRY_AFTER, std::to_string(options.rateWindow)}});
  }
  if (refusal == Refusal::Busy) {
    long seconds = std::clamp(static_cast<long>(std::ceil(options.timeLimit)), 1L, 60L);
    return SendError(connection, method, url, request, status, RefusalName(refusal), why,
                     {{MHD_HTTP_HEADER_RETRY_AFTER, std::to_string(seconds)}});
  }
  return SendError(connection, method, url, request, status, RefusalName(refusal), why);
}

MHD_Result BoardServer::State::DatabaseFailed(MHD_Connection *connection, const char *method, const char *url, Request &request,
                          const std::string &error) {
  fprintf(stderr, "quillrun-board: the database failed: %s\n", error.c_str());
  return SendError(connection, method, url, request, MHD_HTTP_INTERNAL_SERVER_ERROR, "internal",
                   "the board's database failed");
}

std::string BoardServer::State::Client(MHD_Connection *connection) {
  const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  std::string peer = info ? SocketAddress(info->client_addr) : "";
  if (options.trustProxy.empty()) return peer;
  std::vector<std::string> forwarded;
  MHD_get_connection_values(
      connection, MHD_HEADER_KIND,
      [](void *cls, MHD_ValueKind, const char *key, const char *value) {
        if (key && value && strcasecmp(key, "X-Forwarded-For") == 0) {
          static_cast<std::vector<std::string> *>(cls)->push_back(value);
        }
        return MHD_YES;
      },
      &forwarded);
  return ForwardedClient(peer, forwarded, options.trustProxy);
}

// A query value as sent (it may hold a zero byte); false when it is not there.
bool BoardServer::State::Argument(MHD_Connection *connection, const char *key, std::string &value) {
  const char *text = nullptr;
  size_t length = 0;
  if (MHD_lookup_connection_value_n(connection, MHD_GET_ARGUMENT_KIND, key, strlen(key), &text, &length) !=
      MHD_YES) {
    return false;
  }
  value.assign(text ? text : "", text ? length : 0);
  return true;
}
