#include "platform_directories.h"

#include <gtest/gtest.h>

#include <string>

#include "test_machine.h"

namespace {

using Answer = DirectoryAnswer;

TEST(PlatformDirectories, OnlyADirectoryThatArrivesWholeChangesTheBuffer) {
  const std::string longest = "C:\\" + std::string(256, 'W');  // 259 characters
  struct Case {
    std::string windowsDirectory;
    size_t capacity;
    bool callFails;
    Answer answer;
  };
  const Case cases[] = {
      {"C:\\WINDOWS", 11, false, Answer::kGiven},
      {"C:\\WINDOWS", 10, false, Answer::kTooLong},  // no room for the terminator
      {"C:\\WINDOWS", 1, false, Answer::kTooLong},
      {"C:\\WINDOWS", 11, true, Answer::kNotGiven},
      {"C:\\WINDOWS", 0, false, Answer::kNotGiven},  // not asked with
      {"C:\\WINDOWS", kLargestDirectoryCapacity + 1, false, Answer::kNotGiven},
      {longest, kLargestDirectoryCapacity, false, Answer::kGiven},
      {longest, 259, false, Answer::kTooLong},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.windowsDirectory.size()) + " characters, capacity " +
                 std::to_string(c.capacity));
    rq47test::TestMachine machine;
    machine.config().windowsDirectory = c.windowsDirectory;
    machine.run();
    if (c.callFails) machine.run().addFault({"GetWindowsDirectoryA", "", 0, 0});
    char buffer[kLargestDirectoryCapacity + 1] = "held before";

    EXPECT_EQ(AskWindowsDirectory(buffer, c.capacity), c.answer);
    EXPECT_EQ(std::string(buffer), c.answer == Answer::kGiven ? c.windowsDirectory : "held before");
  }
}

TEST(PlatformDirectories, TheSystemDirectoryIsAskedForItsOwn) {
  rq47test::TestMachine machine;
  machine.config().systemDirectory = "D:\\WIN98\\SYSTEM";
  machine.run();
  char buffer[16] = "";
  EXPECT_EQ(AskSystemDirectory(buffer), Answer::kGiven);
  EXPECT_STREQ(buffer, "D:\\WIN98\\SYSTEM");
  char tooSmall[15] = "";
  EXPECT_EQ(AskSystemDirectory(tooSmall), Answer::kTooLong);
  EXPECT_STREQ(tooSmall, "");
}

}  // namespace
