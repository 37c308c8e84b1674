#include "resource/QdStream.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

TEST(FileStream, ReadsSeeksAndReportsPosition) {
  TempDir dir;
  std::string name = dir.write("data.bin", "0123456789");
  TQdFileStream s(name);
  ASSERT_TRUE(s.IsOpen);

  char buf[8] = {};
  EXPECT_EQ(s.ReadBytes(buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(s.GetPosition(), 4);
  EXPECT_EQ(s.SetPosition(2, 1), 6);
  EXPECT_EQ(s.ReadBytes(buf, 8), 4); // short read at the end, no error
  EXPECT_EQ(std::string(buf, 4), "6789");
  EXPECT_EQ(s.SetPosition(0, 2), 10);
  EXPECT_EQ(s.SetPosition(-3, 2), 7);
  EXPECT_EQ(s.SetPosition(3, 9), 3); // unknown origin counts from the start
  EXPECT_EQ(s.ReadBytes(buf, 0), 0);
}

TEST(FileStream, UnopenedStreamReadsNothingAndLeavesBufferAlone) {
  TempDir dir;
  TQdFileStream s(dir.file("missing.bin"));
  EXPECT_FALSE(s.IsOpen);
  char buf[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(s.ReadBytes(buf, 4), 0);
  EXPECT_EQ(std::string(buf, 4), "abcd");
  EXPECT_EQ(s.SetPosition(5, 0), 0);
  EXPECT_EQ(s.GetPosition(), 0);
}

TEST(FileStream, OpeningNeverCreatesAndRejectsFolders) {
  TempDir dir;
  EXPECT_FALSE(FileCanOpen(dir.file("nothing")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("nothing")));
  EXPECT_FALSE(FileCanOpen(dir.path().string()));
  EXPECT_TRUE(FileCanOpen(dir.write("x", "1")));
}

// Installed data belongs to root and players cannot write it. Root may write any file but not a
// running program, so the test's own executable stands in for such a file when run as root.
TEST(FileStream, FilesThatCannotBeWrittenAreStillRead) {
  TempDir dir;
  std::string name = dir.write("ro.bin", "\x7f"
                                         "ELF");
  ::chmod(name.c_str(), 0444);
  if (::geteuid() == 0) name = "/proc/self/exe";
  EXPECT_TRUE(FileCanOpen(name));
  TQdFileStream s(name);
  ASSERT_TRUE(s.IsOpen);
  char magic[4] = {};
  EXPECT_EQ(s.ReadBytes(magic, 4), 4);
  EXPECT_EQ(std::string(magic, 4), "\x7f"
                                   "ELF");
}

TEST(PathUtilities, FileExtensionTakesTheLastDotUnlessAPathDelimiterFollows) {
  EXPECT_EQ(FileExtension("C:\\data\\map"), "");
  EXPECT_EQ(FileExtension("dir.old\\file"), "");
  EXPECT_EQ(FileExtension("a.b.JPG"), ".JPG");
  EXPECT_EQ(FileExtension("name."), ".");
  EXPECT_EQ(FileExtension("c:x"), "");
  EXPECT_EQ(FileExtension(""), "");
}

TEST(PathUtilities, LowerCasingTouchesOnlyAsciiCapitals) {
  std::string in = "AZaz@[\x81\x41\xC1\xFF";
  std::string out = AsciiToLower(in);
  EXPECT_EQ(out, std::string("azaz@[\x81\x61\xC1\xFF"));
  EXPECT_EQ(out.size(), in.size());
}

TEST(PathUtilities, FindCharFindsTheTerminator) {
  const char* s = "abc";
  EXPECT_EQ(FindChar(s, 'b'), s + 1);
  EXPECT_EQ(FindChar(s, '\0'), s + 3);
  EXPECT_EQ(FindChar(s, 'z'), nullptr);
  EXPECT_EQ(FindLastOf(".", std::string("a.b.c")), 4);
  EXPECT_EQ(FindLastOf(".", std::string("abc")), 0);
}

TEST(MemoryStream, MovesAndReadsAsAFileDoes) {
  const std::string bytes = "0123456789";
  TQdMemoryStream s(bytes.data(), bytes.size());
  ASSERT_TRUE(s.IsOpen);
  char buf[8] = {};
  EXPECT_EQ(s.ReadBytes(buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(s.SetPosition(2, 1), 6);
  EXPECT_EQ(s.ReadBytes(buf, 8), 4);
  EXPECT_EQ(std::string(buf, 4), "6789");
  EXPECT_EQ(s.SetPosition(-3, 2), 7);
  EXPECT_EQ(s.SetPosition(3, 9), 3);
  EXPECT_EQ(s.ReadBytes(buf, -1), 0);
  // Past the end is a place to be, with nothing to read.
  EXPECT_EQ(s.SetPosition(5, 2), 15);
  EXPECT_EQ(s.GetPosition(), 15);
  EXPECT_EQ(s.ReadBytes(buf, 4), 0);
  EXPECT_EXIT(s.SetPosition(-11, 2), ::testing::ExitedWithCode(106), "Runtime error 106 at ");

  TQdMemoryStream empty(nullptr, 0);
  EXPECT_EQ(empty.ReadBytes(buf, 4), 0);
  EXPECT_EQ(empty.SetPosition(0, 2), 0);
}
