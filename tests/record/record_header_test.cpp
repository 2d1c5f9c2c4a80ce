// The recordings' header line: what this game writes reads back, the first recordings'
// header reads as rules 1, and anything else that starts like a header is refused with
// a reason instead of being taken for a comment.
#include <gtest/gtest.h>

#include <string>

#include "record/record_header.h"
#include "world/rules.h"

namespace {

HeaderLine Read(const std::string &line, RecordHeader *header, std::string *why) {
  return ReadRecordHeader(line.data(), line.size(), header, why);
}

}  // namespace

TEST(RecordHeader, WrittenHeaderReadsBackWithTheRulesAndSeed) {
  for (uint32_t seed : {0u, 7u, 20261207u, 4294967295u}) {
    const std::string line = RecordHeaderLine(seed);
    EXPECT_EQ(line, "# quillrun-record 2 rules " + std::to_string(RulesVersion) + " seed " + std::to_string(seed));
    RecordHeader header;
    std::string why;
    ASSERT_EQ(Read(line, &header, &why), HeaderLine::Header) << why;
    EXPECT_EQ(header.format, 2);
    EXPECT_EQ(header.rules, RulesVersion);
    EXPECT_EQ(header.seed, seed);
    // A Windows line end and trailing blanks change nothing.
    ASSERT_EQ(Read(line + " \r", &header, &why), HeaderLine::Header) << why;
    EXPECT_EQ(header.seed, seed);
  }
}

TEST(RecordHeader, FirstRecordingsAreRulesOneAndOtherVersionsAreReadAsGiven) {
  RecordHeader header;
  std::string why;
  ASSERT_EQ(Read("# quillrun-record seed 12345", &header, &why), HeaderLine::Header);
  EXPECT_EQ(header.format, 1);
  EXPECT_EQ(header.rules, 1);
  EXPECT_EQ(header.seed, 12345u);
  ASSERT_EQ(Read("# quillrun-record 2 rules 17 seed 9", &header, &why), HeaderLine::Header);
  EXPECT_EQ(header.rules, 17);
  EXPECT_EQ(header.seed, 9u);
}

TEST(RecordHeader, OnlyTheSameRulesReplayAndTheRefusalNamesBothVersions) {
  EXPECT_EQ(RulesRefusal(RulesVersion), "");
  const std::string refusal = RulesRefusal(RulesVersion + 1);
  EXPECT_NE(refusal.find("rules " + std::to_string(RulesVersion + 1)), std::string::npos) << refusal;
  EXPECT_NE(refusal.find("plays rules " + std::to_string(RulesVersion)), std::string::npos) << refusal;
}

TEST(RecordHeader, CommentsAndFramesAreNotHeadersAndBrokenHeadersAreRefused) {
  RecordHeader header;
  std::string why;
  for (const char *other : {"", "# a note", "0 0 1 0 0 0", "# quillrun-recorder seed 3", "#quillrun-record seed 3"})
    EXPECT_EQ(Read(other, &header, &why), HeaderLine::Other) << other;
  for (const char *bad :
       {"# quillrun-record", "# quillrun-record ", "# quillrun-record seed", "# quillrun-record seed x",
        "# quillrun-record seed 4294967296", "# quillrun-record seed 99999999999", "# quillrun-record seed 3 4",
        "# quillrun-record seed -3", "# quillrun-record 2 seed 3", "# quillrun-record 2 rules seed 3",
        "# quillrun-record 2 rules 0 seed 3", "# quillrun-record 2 rules 1 seed", "# quillrun-record 2 rules 1",
        "# quillrun-record 2 rules 1 seed 3 more", "# quillrun-record 1 rules 1 seed 3"}) {
    why.clear();
    EXPECT_EQ(Read(bad, &header, &why), HeaderLine::Bad) << bad;
    EXPECT_FALSE(why.empty()) << bad;
  }
  // A later format is named as one this game cannot read.
  why.clear();
  EXPECT_EQ(Read("# quillrun-record 3 rules 1 seed 3", &header, &why), HeaderLine::Bad);
  EXPECT_NE(why.find("format 3"), std::string::npos) << why;
}
