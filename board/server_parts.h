// The server's pieces that need no connection: addresses, numbers in a query, the page
// of the boards and the browser build's files.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <vector>

#include <zlib.h>

#include "board/db.h"

// An IP address as text in one spelling ("::ffff:1.2.3.4" is "1.2.3.4"); empty when the
// text is not an address.
std::string CanonicalAddress(const std::string &text);
// The address of a socket's peer as text; empty for a family other than IPv4 and IPv6.
std::string SocketAddress(const sockaddr *address);

// The client a submission is counted against: the peer, or when the peer is a trusted
// proxy, the last address of X-Forwarded-For (the one that proxy appended), taken from
// the last such header; the peer when there is none or it is not an address.
std::string ForwardedClient(const std::string &peer, const std::vector<std::string> &forwardedFor,
                            const std::vector<std::string> &trusted);

// A decimal number of at most 18 digits, nothing else (no sign, no blanks); false
// otherwise or when over `max`.
bool ParseDecimal(const char *text, size_t length, int64_t max, int64_t &value);

// Whether a request's target as sent (before its %XX are read) has a control character
// in its path, as a byte or once read (%00, %0A...): no path of the board's has one, and
// a NUL would cut the path short where it is read as a C string.
bool PathHasControl(const char *target);

// Text for a URL's query value: everything but A-Z a-z 0-9 - . _ ~ percent-encoded.
std::string UrlEncode(const std::string &text);

// The page of both boards of `rules`: every name escaped, each game linked to its
// recording, and when the browser build is served, to the build playing it.
std::string BoardPage(const std::vector<BoardGame> &normal, const std::vector<BoardGame> &random, int rules,
                      bool playLinks);

// The content type of a file served from the browser build, by its name's ending.
const char *WebContentType(const std::string &name);

// Opens the file `path` (the part of the request after /play/) inside the folder
// `root` (a real path, no symbolic links in it): a folder stands for its index.html;
// "..", an absolute path, a link leading out of the folder, anything but a regular file
// is none. The open descriptor and its size, or -1.
int OpenWebFile(const std::string &root, const std::string &path, uint64_t &size, std::string &name);

// Whether an Accept-Encoding header takes gzip (gzip or x-gzip, or * unless gzip is
// refused; a q of 0 refuses).
bool AcceptsGzip(const char *header);
// Whether bytes begin as gzip does.
bool IsGzip(const std::string &bytes);

// A gzip member opened a piece at a time.
class GzipPieces {
 public:
  explicit GzipPieces(std::string gzip);
  ~GzipPieces();
  GzipPieces(const GzipPieces &) = delete;
  GzipPieces &operator=(const GzipPieces &) = delete;
  // Up to `most` bytes of the text into `out`: how many, 0 at its end, -1 when the
  // gzip is damaged.
  long Read(char *out, size_t most);
  size_t Size() const { return gzip_.size(); }

 private:
  std::string gzip_;
  z_stream stream_{};
  bool failed_ = false;
  bool ended_ = false;
};
