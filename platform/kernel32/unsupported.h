// How the stand-in owns up to what it does not do: a call that receives a flag, a
// format or a message it does not support says so once on stderr, then goes on as
// near to the real call as it can.
#pragma once
#include <cstdio>

#define QR_UNSUPPORTED_ONCE(...)                           \
  do {                                                     \
    static bool qrSaid_ = false;                           \
    if (!qrSaid_) {                                        \
      qrSaid_ = true;                                      \
      std::fprintf(stderr, "quillrun: " __VA_ARGS__);      \
      std::fputc('\n', stderr);                            \
    }                                                      \
  } while (0)
