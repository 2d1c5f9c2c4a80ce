// Reading a submission and playing it again (see verify.h).
#include "board/verify.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <stdexcept>

#include "app/player.h"
#include "record/record_header.h"
#include "record/record_lines.h"
#include "world/rules.h"

int RefusalStatus(Refusal refusal) {
  switch (refusal) {
    case Refusal::None: return 200;
    case Refusal::Malformed: return 400;
    case Refusal::BadName: return 400;
    case Refusal::TooLarge: return 413;
    case Refusal::OtherRules:
    case Refusal::NoGame:
    case Refusal::NoEnd:
    case Refusal::BuiltInPlayer: return 422;
    case Refusal::TooMany: return 429;
    case Refusal::Busy:
    case Refusal::TooSlow: return 503;
    case Refusal::Copy: return 409;
  }
  return 500;
}

const char *RefusalName(Refusal refusal) {
  switch (refusal) {
    case Refusal::None: return "none";
    case Refusal::Malformed: return "malformed";
    case Refusal::TooLarge: return "too-large";
    case Refusal::OtherRules: return "other-rules";
    case Refusal::NoGame: return "no-game";
    case Refusal::NoEnd: return "no-end";
    case Refusal::BuiltInPlayer: return "built-in-player";
    case Refusal::BadName: return "bad-name";
    case Refusal::TooMany: return "too-many";
    case Refusal::Busy: return "busy";
    case Refusal::TooSlow: return "too-slow";
    case Refusal::Copy: return "copy";
  }
  return "unknown";
}

bool InflateBody(const std::string &body, std::string &text, Refusal &refusal, std::string &why, size_t limit) {
  text.clear();
  z_stream stream{};
  // 15 + 32: a gzip or a zlib stream, told apart by its header.
  if (inflateInit2(&stream, 15 + 32) != Z_OK) {
    refusal = Refusal::Malformed;
    why = "cannot open a compressed body here";
    return false;
  }
  stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(body.data()));
  stream.avail_in = static_cast<uInt>(body.size());
  char chunk[65536];
  bool ok = true;
  for (;;) {
    stream.next_out = reinterpret_cast<Bytef *>(chunk);
    stream.avail_out = sizeof chunk;
    const int result = inflate(&stream, Z_NO_FLUSH);
    const size_t produced = sizeof chunk - stream.avail_out;
    if (text.size() + produced > limit) {
      refusal = Refusal::TooLarge;
      why = "the body opens to more than " + std::to_string(limit >> 20) + " MB";
      ok = false;
      break;
    }
    text.append(chunk, produced);
    if (result == Z_STREAM_END) {
      // gzip allows members one after another: open the next one, if any.
      if (stream.avail_in == 0) break;
      if (inflateReset(&stream) != Z_OK) {
        refusal = Refusal::Malformed;
        why = "a damaged compressed body";
        ok = false;
        break;
      }
      continue;
    }
    if (result == Z_BUF_ERROR && stream.avail_in == 0) {
      refusal = Refusal::Malformed;
      why = "a compressed body that stops short";
      ok = false;
      break;
    }
    if (result != Z_OK && result != Z_BUF_ERROR) {
      refusal = Refusal::Malformed;
      why = std::string("a damaged compressed body (") + (stream.msg ? stream.msg : "no reason given") + ")";
      ok = false;
      break;
    }
  }
  inflateEnd(&stream);
  if (!ok) text.clear();
  return ok;
}

bool GzipText(const std::string &text, std::string &gzip) {
  z_stream stream{};
  // 15 + 16: a gzip member; level 6, zlib's own middle.
  if (deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  gzip.assign(deflateBound(&stream, text.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef *>(gzip.data());
  stream.avail_out = static_cast<uInt>(gzip.size());
  const bool ok = deflate(&stream, Z_FINISH) == Z_STREAM_END;
  gzip.resize(ok ? stream.total_out : 0);
  gzip.shrink_to_fit();
  deflateEnd(&stream);
  return ok;
}

namespace {

// One fingerprint being made: SHA-256 over its kind, the rules and the mode, then nine
// bytes a step (the motion as two 32-bit numbers, little-endian, and the buttons).
class Fingerprint {
 public:
  Fingerprint() : context_(EVP_MD_CTX_new()) {
    if (!context_) throw std::bad_alloc();
  }
  ~Fingerprint() { EVP_MD_CTX_free(context_); }
  Fingerprint(const Fingerprint &) = delete;
  Fingerprint &operator=(const Fingerprint &) = delete;

  void Start(const char *kind, int rules, int mode) {
    if (EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) != 1) throw std::runtime_error("no SHA-256 here");
    used_ = 0;
    const std::string head = std::string("quillrun game ") + kind + " rules " + std::to_string(rules) + " mode " +
                             std::to_string(mode) + "\n";
    Bytes(head.data(), head.size());
  }
  void Add(int32_t dx, int32_t dy, bool left, bool right) {
    unsigned char step[9];
    for (int i = 0; i < 4; ++i) {
      step[i] = static_cast<unsigned char>(static_cast<uint32_t>(dx) >> (8 * i));
      step[4 + i] = static_cast<unsigned char>(static_cast<uint32_t>(dy) >> (8 * i));
    }
    step[8] = static_cast<unsigned char>((left ? 1 : 0) | (right ? 2 : 0));
    Bytes(step, sizeof step);
  }
  std::string Finish() {
    Flush();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(context_, digest, &size) != 1) throw std::runtime_error("no SHA-256 here");
    return std::string(reinterpret_cast<const char *>(digest), size);
  }

 private:
  // Steps are gathered and hashed a few thousand at a time.
  void Bytes(const void *data, size_t size) {
    if (used_ + size > sizeof buffer_) Flush();
    std::memcpy(buffer_ + used_, data, size);
    used_ += size;
  }
  void Flush() {
    if (used_ && EVP_DigestUpdate(context_, buffer_, used_) != 1) throw std::runtime_error("no SHA-256 here");
    used_ = 0;
  }
  EVP_MD_CTX *context_;
  unsigned char buffer_[8192];
  size_t used_ = 0;
};

int32_t AddWrapping(int32_t a, int b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

}  // namespace

bool ReadSubmittedRecord(const std::string &text, SubmittedRecord &record, Refusal &refusal, std::string &why) {
  record = SubmittedRecord{};
  if (text.empty()) {
    refusal = Refusal::Malformed;
    why = "an empty recording";
    return false;
  }
  // The record format's own reader, as --watch and the replay runner read the file.
  RecordLineReader reader(true);
  RecordFault fault;
  const bool read = ReadRecordText(text, reader, record.inputs, BoardMaxFrames, fault);
  // Other rules are named before anything later in the file: the header is line 1.
  const std::string otherRules = reader.HasHeader() ? RulesRefusal(reader.Header().rules) : std::string();
  if (!otherRules.empty() || !read) {
    refusal = !otherRules.empty() ? Refusal::OtherRules : fault.tooManyFrames ? Refusal::TooLarge : Refusal::Malformed;
    why = !otherRules.empty() ? "line 1: " + otherRules : "line " + std::to_string(fault.line) + ": " + fault.why;
    record.inputs.clear();
    return false;
  }
  record.seed = reader.Header().seed;
  record.rules = reader.Header().rules;
  record.beginsNamed = reader.HasBegins();
  record.beginsAt = reader.Begins();
  refusal = Refusal::None;
  return true;
}

bool ProveGame(const SubmittedRecord &record, int64_t game, ProvenGame &proven, Refusal &refusal, std::string &why,
               std::chrono::steady_clock::time_point deadline, const std::atomic<bool> *cancel) {
  proven = ProvenGame{};
  const bool asked = game >= 0;
  const bool named = !asked && record.beginsNamed;
  const int64_t wanted = asked ? game : named ? static_cast<int64_t>(record.beginsAt) : -1;
  auto stopped = [&](size_t frame) {
    if ((frame & 1023) != 0) return false;
    if ((cancel && cancel->load(std::memory_order_relaxed)) || std::chrono::steady_clock::now() > deadline) {
      refusal = Refusal::TooSlow;
      why = "playing the game took longer than this board allows";
      return true;
    }
    return false;
  };

  World *world = new World;   // a world is large; keep it off a worker's stack
  std::unique_ptr<World> owned(world);
  StartWorld(*world, record.seed);
  FrameReport report;
  bool inGame = false;      // the game being scored is in play
  bool found = false;       // ... and it has ended in GAME OVER or ALL CLEAR
  int64_t began = -1;
  auto whole = std::make_unique<Fingerprint>(), opening = std::make_unique<Fingerprint>();
  int moving = 0;           // frames of the game with mouse motion so far
  std::string openingKey;
  const size_t frames = record.inputs.size();
  for (size_t i = 0; i < frames && !found; ++i) {
    if (stopped(i)) return false;
    const FrameInput &input = record.inputs[i];
    const int before = world->GameState;
    const bool quits = input.escape && !world->keysHeld.escape && before != Title;
    if (inGame && before == Playing && !quits) {
      // The world updates on a frame of play unless slow motion skips it (two frames in
      // three, by the frame count the step is about to make); an update takes all the
      // motion gathered since the last one and reads the buttons held now.
      if (!world->slowMotion || (world->frameCounter + 1) % 3 == 1)
        whole->Add(AddWrapping(world->pendingDx, input.dx), AddWrapping(world->pendingDy, input.dy), input.left,
                   input.right);
      if (openingKey.empty()) {
        opening->Add(input.dx, input.dy, input.left, input.right);
        if ((input.dx != 0 || input.dy != 0) && ++moving == OpeningMovingFrames) openingKey = opening->Finish();
      }
    }
    StepWorld(*world, input, report);
    const int after = world->GameState;
    if (inGame && (quits || after == Title)) {
      // Left for the title before its end: not a game with a score.
      if (wanted >= 0) {
        refusal = Refusal::NoEnd;
        why = "the game that begins on frame " + std::to_string(began) + " is left at frame " + std::to_string(i) +
              " without GAME OVER or ALL CLEAR";
        return false;
      }
      inGame = false;
    }
    const bool begins = after == Playing && (before != Playing || quits);
    if (begins && !inGame && (wanted < 0 || static_cast<int64_t>(i) == wanted)) {
      inGame = true;
      began = static_cast<int64_t>(i);
      proven.mode = world->randomMode == 1 ? 1 : 0;
      whole->Start("whole", record.rules, proven.mode);
      opening->Start("opening", record.rules, proven.mode);
      moving = 0;
      openingKey.clear();
    }
    if (inGame && (after == GameOver || after == AllClear)) {
      found = true;
      proven.end = after == GameOver ? "over" : "clear";
      proven.score = world->score;
      proven.shield = world->Player.shield;
      proven.began = static_cast<uint32_t>(began);
      proven.ended = static_cast<uint32_t>(i);
      proven.frames = proven.ended - proven.began + 1;
      proven.fingerprints.push_back(whole->Finish());
      if (!openingKey.empty()) proven.fingerprints.push_back(openingKey);
    }
    if (wanted >= 0 && !inGame && static_cast<int64_t>(i) >= wanted) {
      refusal = Refusal::NoGame;
      why = "no game begins on frame " + std::to_string(wanted);
      return false;
    }
    if (report.quit) break;   // Escape on the title: the program ended here
  }
  if (!found) {
    refusal = inGame ? Refusal::NoEnd : wanted >= 0 ? Refusal::NoGame : Refusal::NoEnd;
    if (inGame)
      why = "the game that begins on frame " + std::to_string(began) + " has not ended when the recording stops";
    else if (wanted >= 0)
      why = "no game begins on frame " + std::to_string(wanted);
    else
      why = "no game in the recording ends in GAME OVER or ALL CLEAR";
    return false;
  }
  proven.rules = record.rules;

  // The built-in player's own game is not a player's: play the run again to the game's
  // first frame, then ask a fresh player for every frame of the game. A person's inputs
  // part from it within a frame or two; only the player's own run goes on to the end.
  StartWorld(*world, record.seed);
  for (uint32_t i = 0; i < proven.began; ++i) {
    if (stopped(i)) return false;
    StepWorld(*world, record.inputs[i], report);
  }
  std::unique_ptr<BuiltInPlayer> player(new BuiltInPlayer(proven.mode == 1));
  bool same = true;
  for (uint32_t i = proven.began; i <= proven.ended; ++i) {
    if (stopped(i)) return false;
    const FrameInput decided = player->Decide(*world);
    const FrameInput &input = record.inputs[i];
    if (decided.dx != input.dx || decided.dy != input.dy || decided.left != input.left ||
        decided.right != input.right || decided.escape != input.escape || decided.enter != input.enter) {
      same = false;
      break;
    }
    StepWorld(*world, input, report);
  }
  if (same) {
    refusal = Refusal::BuiltInPlayer;
    why = "every input of this game is what the built-in player plays from the same state";
    return false;
  }
  refusal = Refusal::None;
  why.clear();
  return true;
}

std::string NameRefusal(const std::string &name) {
  std::string why;
  return PlayerNameOk(name, why) ? std::string() : "not a name for the board: " + why;
}

std::string HtmlEscape(const std::string &text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}
