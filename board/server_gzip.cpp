// Recordings are kept as gzip, and sent so to a client that takes gzip; for one that
// does not, the text is opened a piece at a time as the connection takes it, so no
// request ever holds a whole opened recording.
#include <strings.h>

#include <cstdlib>

#include "board/server_parts.h"

bool AcceptsGzip(const char *header) {
  if (!header) return false;
  bool gzip = false, named = false, any = false;
  const std::string text = header;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    std::string item = text.substr(start, end - start);
    start = end + 1;
    // "coding[;q=value]": a value of 0 refuses the coding.
    const size_t semicolon = item.find(';');
    double quality = 1;
    if (semicolon != std::string::npos) {
      const size_t q = item.find("q=", semicolon);
      if (q != std::string::npos) quality = std::strtod(item.c_str() + q + 2, nullptr);
      item.resize(semicolon);
    }
    const size_t first = item.find_first_not_of(" \t"), last = item.find_last_not_of(" \t");
    if (first == std::string::npos) continue;
    item = item.substr(first, last - first + 1);
    if (strcasecmp(item.c_str(), "gzip") == 0 || strcasecmp(item.c_str(), "x-gzip") == 0) {
      named = true;
      gzip = gzip || quality > 0;
    } else if (item == "*") {
      any = quality > 0;
    }
  }
  return named ? gzip : any;
}

bool IsGzip(const std::string &bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
         static_cast<unsigned char>(bytes[1]) == 0x8b;
}

GzipPieces::GzipPieces(std::string gzip) : gzip_(std::move(gzip)) {
  failed_ = inflateInit2(&stream_, 15 + 16) != Z_OK;
  stream_.next_in = reinterpret_cast<Bytef *>(gzip_.data());
  stream_.avail_in = static_cast<uInt>(gzip_.size());
}

GzipPieces::~GzipPieces() {
  if (!failed_) inflateEnd(&stream_);
}

long GzipPieces::Read(char *out, size_t most) {
  if (failed_) return -1;
  if (ended_ || most == 0) return 0;
  stream_.next_out = reinterpret_cast<Bytef *>(out);
  stream_.avail_out = static_cast<uInt>(most);
  while (stream_.avail_out == most) {
    const int result = inflate(&stream_, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      ended_ = true;
      break;
    }
    if (result != Z_OK) {
      failed_ = true;
      return -1;
    }
  }
  return static_cast<long>(most - stream_.avail_out);
}
