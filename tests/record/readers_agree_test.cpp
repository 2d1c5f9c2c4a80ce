// Every program reads a recording the same way: the same odd files go to the game's
// --watch reader (ReadRecordFile, which the page's ?watch= uses too), to the replay
// runner's reader (ReplayInput, from a file as the runner opens it) and to the board's
// (ReadSubmittedRecord), and they must give the same frames, the same game-begins frame,
// or refuse the same line. A file without a header is the one place they part by design:
// the runner plays it with the --seed it is given, the others refuse it on line 1.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/store_commands.h"
#include "tools/replay_input.h"
#include "world/rules.h"
#ifdef QR_TEST_BOARD
#include "board/verify.h"
#endif

namespace {

// What a reader made of a file: its frames as "dx dy l r e n" lines, the frame its game
// begins on, or the line it refused (0: none).
struct Reading {
  std::string frames;
  long begins = 0;
  long refused = 0;
  std::string error;
};

std::string FrameText(const std::vector<FrameInput> &inputs) {
  std::string text;
  for (const FrameInput &f : inputs)
    text += std::to_string(f.dx) + " " + std::to_string(f.dy) + " " + std::to_string(f.left) + " " +
            std::to_string(f.right) + " " + std::to_string(f.escape) + " " + std::to_string(f.enter) + "|";
  return text;
}

// The number after `before` in an error ("file:12: ..." or "line 12: ...").
long LineIn(const std::string &error, const std::string &before) {
  const size_t at = error.find(before);
  return at == std::string::npos ? -1 : std::atol(error.c_str() + at + before.size());
}

Reading Watch(const std::string &path) {
  Reading reading;
  WatchedRun watched;
  if (ReadRecordFile(path, watched, reading.error)) {
    reading.frames = FrameText(watched.run.inputs);
    reading.begins = watched.began;
  } else {
    reading.refused = LineIn(reading.error, path + ":");
  }
  return reading;
}

Reading Runner(const std::string &path) {
  Reading reading;
  ReplayInput input;
  if (!input.Open(path.c_str(), &reading.error)) {
    reading.refused = LineIn(reading.error, path + ":");
    return reading;
  }
  std::vector<FrameInput> inputs;
  FrameInput frame{};
  for (;;) {
    const ReplayInput::Result got = input.Next(&frame, &reading.error);
    if (got == ReplayInput::Frame) {
      inputs.push_back(frame);
      continue;
    }
    if (got == ReplayInput::Failed) reading.refused = LineIn(reading.error, path + ":");
    break;
  }
  if (reading.refused == 0) reading.frames = FrameText(inputs);
  return reading;
}

#ifdef QR_TEST_BOARD
Reading Board(const std::string &text) {
  Reading reading;
  SubmittedRecord record;
  Refusal refusal = Refusal::None;
  if (ReadSubmittedRecord(text, record, refusal, reading.error)) {
    reading.frames = FrameText(record.inputs);
    reading.begins = record.beginsAt;
  } else {
    reading.refused = LineIn(reading.error, "line ");
  }
  return reading;
}
#endif

}  // namespace

TEST(RecordReaders, EveryEntryPointReadsTheSameFileTheSameWay) {
  const std::string header = "# quillrun-record 2 rules " + std::to_string(RulesVersion) + " seed 5\n";
  const std::string longest = "1 2 0 0 0 0" + std::string(1000 - 11, ' ');
  struct Case {
    const char *name;
    std::string text;
    std::string frames;   // every reader's frames, when none refuses
    long refused;         // else the line every reader refuses
    long begins = 0;
  };
  const Case cases[] = {
      {"blank lines are frames with nothing done", header + "1 2 0 0 0 0\n\n \t\n3 4 1 1 0 0\n",
       "1 2 0 0 0 0|0 0 0 0 0 0|0 0 0 0 0 0|3 4 1 1 0 0|", 0},
      {"commas and tabs separate values", header + "1,2,0,1,0,0\n3\t,4, 1 ,0,,0,1\n", "1 2 0 1 0 0|3 4 1 0 0 1|", 0},
      {"CR LF line ends, a blank one too", "# quillrun-record 2 rules " + std::to_string(RulesVersion) +
       " seed 5\r\n1 2 0 0 0 0\r\n\r\n-3 4 0 0 1 0\r\n", "1 2 0 0 0 0|0 0 0 0 0 0|-3 4 0 0 1 0|", 0},
      {"a stray CR inside a line", header + "1\r2 0 0 0 0\n", "", 2},
      {"the largest motion", header + "1000000 -1000000 0 0 0 0\n+7 -0 0 0 0 1\n",
       "1000000 -1000000 0 0 0 0|7 0 0 0 0 1|", 0},
      {"just past the largest motion", header + "0 0 0 0 0 0\n0 -1000001 0 0 0 0\n", "", 3},
      {"far past it", header + "99999999999999999999 0 0 0 0 0\n", "", 2},
      {"the longest line", header + longest + "\n", "1 2 0 0 0 0|", 0},
      {"a line too long", header + "0 0 0 0 0 0\n" + longest + " \n", "", 3},
      {"a missing header", "1 2 0 0 0 0\n", "", 0},
      {"the game line and comments", header + "# game begins at frame 1\n# caf\xC3\xA9\n0 0 0 0 0 0\n5 5 1 0 0 0\n"
       "# frames 2 score 10\n", "0 0 0 0 0 0|5 5 1 0 0 0|", 0, 1},
      {"no newline at the end", header + "1 1 0 0 0 0\n2 2 0 0 0 0", "1 1 0 0 0 0|2 2 0 0 0 0|", 0},
      {"a second header", header + "0 0 0 0 0 0\n" + header, "", 3},
      {"a second game line", header + "# game begins at frame 0\n# game begins at frame 0\n0 0 0 0 0 0\n", "", 3},
      {"five values", header + "0 0 0 0 0\n", "", 2},
      {"a NUL byte", header + std::string("0 0 0\0 0 0\n", 11), "", 2},
  };
  const std::string path = ::testing::TempDir() + std::to_string(getpid()) + ".agree.input";
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(path, std::ios::binary) << c.text;
    const bool headerless = c.text.rfind("# quillrun-record", 0) != 0;
    const Reading runner = Runner(path);
    std::vector<std::pair<const char *, Reading>> readings = {{"--watch", Watch(path)}};
#ifdef QR_TEST_BOARD
    readings.push_back({"board", Board(c.text)});
#endif
    if (headerless) {
      // The runner plays it with the seed it is given; the others need the header.
      EXPECT_EQ(runner.frames, "1 2 0 0 0 0|") << runner.error;
      for (const auto &[who, reading] : readings) {
        EXPECT_EQ(reading.frames, "") << who;
        EXPECT_NE(reading.refused, 0) << who;
        EXPECT_NE(reading.error.find("header"), std::string::npos) << who << ": " << reading.error;
      }
      continue;
    }
    readings.push_back({"runner", runner});
    for (const auto &[who, reading] : readings) {
      EXPECT_EQ(reading.frames, c.frames) << who << ": " << reading.error;
      EXPECT_EQ(reading.refused, c.refused) << who << ": " << reading.error;
      if (c.refused == 0 && who != std::string("runner")) {
        EXPECT_EQ(reading.begins, c.begins) << who;
      }
    }
  }
  std::remove(path.c_str());
}
