// The readers of outside files take regular files only: a named pipe with no writer, a
// directory or a device in place of a texture or a sound is refused at once with a
// reason, never waited on, and a regular file reads as before.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ezds/wav_reader.h"
#include "base/file_check.h"
#include "platform/d3dx/dds.h"

namespace {

TEST(FileCheck, OnlyRegularFilesAreOpened) {
  const std::string dir = testing::TempDir() + "quillrun_file_check_" + std::to_string(getpid());
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  const std::string pipe = dir + "/qrtex1.dds", plain = dir + "/plain.bin";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
  FILE *file = std::fopen(plain.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("RIFF", file);
  std::fclose(file);

  const char *why = nullptr;
  for (const std::string &path : {pipe, dir, std::string("/dev/null"), std::string("/dev/zero")}) {
    EXPECT_EQ(OpenRegularFile(path.c_str(), &why), -1) << path;
    EXPECT_NE(std::string(why ? why : "").find("not a regular file"), std::string::npos) << path;
  }
  EXPECT_EQ(OpenRegularFile((dir + "/missing").c_str(), &why), -1);
  EXPECT_NE(std::string(why).find("cannot open"), std::string::npos);

  // A regular file opens, reads block as usual (no O_NONBLOCK left behind) and reads whole.
  const int descriptor = OpenRegularFile(plain.c_str(), &why);
  ASSERT_GE(descriptor, 0);
  EXPECT_EQ(why, nullptr);
  char bytes[8];
  EXPECT_EQ(read(descriptor, bytes, sizeof bytes), 4);
  close(descriptor);

  // The texture and sound readers say why, through the same check.
  DdsImage image;
  std::string error;
  EXPECT_FALSE(DdsLoadFile(pipe.c_str(), image, error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  std::vector<uint8_t> wav;
  const char *reason = nullptr;
  EXPECT_EQ(ReadFileBytes(pipe.c_str(), 1 << 20, wav, &reason), 0);
  EXPECT_NE(std::string(reason ? reason : "").find("not a regular file"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(plain.c_str(), 1 << 20, wav, &reason), 1);
  EXPECT_EQ(wav.size(), 4u);

  unlink(pipe.c_str());
  unlink(plain.c_str());
  rmdir(dir.c_str());
}

}  // namespace
