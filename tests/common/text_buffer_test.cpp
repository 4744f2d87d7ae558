#include "text_buffer.h"

#include "paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A destination of `size` usable bytes inside a larger array whose bytes past
// the size must never change.
struct GuardedBuffer {
  static constexpr size_t kGuard = 16;
  explicit GuardedBuffer(size_t usable, char fill = '#') : size(usable) {
    bytes.assign(usable + kGuard, fill);
  }
  char* data() { return bytes.data(); }
  bool guardIntact(char fill = '#') const {
    return bytes.substr(size) == std::string(kGuard, fill);
  }
  std::string text() const { return std::string(bytes.c_str()); }
  size_t size;
  std::string bytes;
};

TEST(CopyText, CopiesTextThatFitsWithItsTerminator) {
  GuardedBuffer dst(6);
  ASSERT_TRUE(CopyText(dst.data(), dst.size, "12345"));
  EXPECT_EQ(dst.text(), "12345");
  EXPECT_EQ(dst.bytes[5], '\0');
  EXPECT_TRUE(dst.guardIntact());
}

TEST(CopyText, RefusesTextWithoutRoomForTheTerminatorAndLeavesTheBufferAlone) {
  GuardedBuffer dst(5);
  EXPECT_FALSE(CopyText(dst.data(), dst.size, "12345"));
  EXPECT_EQ(dst.bytes, std::string(5 + GuardedBuffer::kGuard, '#'));
  EXPECT_FALSE(CopyText(dst.data(), 0, ""));
  EXPECT_FALSE(CopyText(nullptr, 10, "x"));
}

TEST(CopyText, ArrayFormUsesTheArraySize) {
  char field[4] = {'a', 'b', 'c', '\0'};
  EXPECT_FALSE(CopyText(field, "wxyz"));
  EXPECT_STREQ(field, "abc");
  EXPECT_TRUE(CopyText(field, "xyz"));
  EXPECT_STREQ(field, "xyz");
}

TEST(AppendText, AppendsUpToTheLastByteAndNoFurther) {
  GuardedBuffer dst(8);
  ASSERT_TRUE(CopyText(dst.data(), dst.size, "abc"));
  EXPECT_TRUE(AppendText(dst.data(), dst.size, "defg"));
  EXPECT_EQ(dst.text(), "abcdefg");
  EXPECT_FALSE(AppendText(dst.data(), dst.size, "h"));
  EXPECT_EQ(dst.text(), "abcdefg");
  EXPECT_TRUE(AppendText(dst.data(), dst.size, ""));
  EXPECT_TRUE(dst.guardIntact());
}

TEST(AppendText, RefusesADestinationWithoutTerminator) {
  GuardedBuffer dst(4, 'z');
  EXPECT_FALSE(AppendText(dst.data(), dst.size, ""));
  EXPECT_FALSE(AppendText(dst.data(), dst.size, "a"));
  EXPECT_EQ(dst.bytes, std::string(4 + GuardedBuffer::kGuard, 'z'));
}

TEST(JoinPath, TheLongestDirectoryThatFitsAPathBufferOfSystemIni) {
  // 244 characters, a backslash and "system.ini" fill a 256-byte buffer exactly.
  std::string directory = "C:" + std::string(242, 'D');
  GuardedBuffer path(256);
  ASSERT_TRUE(JoinPath(path.data(), path.size, directory.c_str(), "system.ini"));
  EXPECT_EQ(path.text(), directory + "\\system.ini");
  EXPECT_EQ(path.text().size(), 255u);
  EXPECT_TRUE(path.guardIntact());

  GuardedBuffer tooSmall(256);
  std::string longer = directory + "E";
  EXPECT_FALSE(JoinPath(tooSmall.data(), tooSmall.size, longer.c_str(), "system.ini"));
  EXPECT_EQ(tooSmall.bytes, std::string(256 + GuardedBuffer::kGuard, '#'));
}

// Refused, with the destination untouched: a directory that alone fills or
// overfills the buffer, one that is not known (empty), no destination.
TEST(JoinPath, RefusesWhatDoesNotFitOrNamesNoDirectory) {
  struct Case {
    std::string directory;
    const char* name;
    size_t size;
  };
  const Case kCases[] = {
      {std::string(10, 'D'), "", 10},
      {std::string(9, 'D'), "", 10},  // the separator leaves no room for the terminator
      {std::string(12, 'D'), "x", 10},
      {"", "system.ini", 32},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.directory);
    GuardedBuffer path(c.size);
    EXPECT_FALSE(JoinPath(path.data(), path.size, c.directory.c_str(), c.name));
    EXPECT_EQ(path.bytes, std::string(c.size + GuardedBuffer::kGuard, '#'));
  }
  EXPECT_FALSE(JoinPath(nullptr, 10, "C:", "x"));
}

TEST(JoinPath, KeepsADriveRootsOwnBackslashAndJoinsInPlace) {
  char path[32] = "C:\\";
  ASSERT_TRUE(JoinPath(path, path, "Zelvaran\\ZelSet95"));
  EXPECT_STREQ(path, "C:\\Zelvaran\\ZelSet95");
  char windows[32] = "C:\\WINDOWS";
  ASSERT_TRUE(JoinPath(windows, windows, "system.new"));
  EXPECT_STREQ(windows, "C:\\WINDOWS\\system.new");
}

TEST(BoundedLength, StopsAtTheTerminatorOrTheSize) {
  const char withTerminator[6] = {'a', 'b', '\0', 'c', 'd', 'e'};
  EXPECT_EQ(BoundedLength(withTerminator, sizeof withTerminator), 2u);
  EXPECT_EQ(BoundedLength(withTerminator + 3, 3), 3u);
  EXPECT_EQ(BoundedLength(withTerminator, 0), 0u);
}

}  // namespace
