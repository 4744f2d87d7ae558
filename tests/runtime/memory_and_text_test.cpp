// The runtime's byte and text functions give what the C library gives: the
// same results, signs and pointers, on bytes above 0x7F, overlaps, empty
// input and embedded NULs.
#include "memory_and_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace rq47runtime;

int Sign(int value) { return (value > 0) - (value < 0); }

const std::vector<std::string> kTexts = {
    "", "a", "ab", "abc", "abd", "ab\xE9", "\xFF", "zelvcd", "Zelvcd", std::string("a\0b", 3),
};

TEST(RuntimeBytes, CompareAndFindAsTheCLibrary) {
  for (const std::string& left : kTexts) {
    for (const std::string& right : kTexts) {
      size_t common = std::min(left.size(), right.size());
      EXPECT_EQ(Sign(std::memcmp(left.data(), right.data(), common)),
                Sign(CompareBytes(left.data(), right.data(), common)))
          << left << " / " << right;
      EXPECT_EQ(Sign(std::strcmp(left.c_str(), right.c_str())),
                Sign(CompareText(left.c_str(), right.c_str())))
          << left << " / " << right;
      for (size_t count : {0, 1, 2, 3, 10}) {
        EXPECT_EQ(Sign(std::strncmp(left.c_str(), right.c_str(), count)),
                  Sign(CompareTextPrefix(left.c_str(), right.c_str(), count)))
            << left << " / " << right << " / " << count;
      }
      EXPECT_EQ(std::strspn(left.c_str(), right.c_str()), SpanOf(left.c_str(), right.c_str()))
          << left << " / " << right;
    }
    EXPECT_EQ(std::strlen(left.c_str()), TextLength(left.c_str())) << left;
    for (int byte : {int{'a'}, int{'b'}, 0, 0xE9, 0xFF, int{'q'}, 0x1E9}) {
      EXPECT_EQ(std::memchr(left.data(), byte, left.size()),
                FindByte(left.data(), byte, left.size()))
          << left << " / " << byte;
    }
  }
}

TEST(RuntimeBytes, CopyMoveAndFillAsTheCLibrary) {
  const std::string source = "0123456789abcdef";
  // Moves within one buffer, forwards and backwards, overlapping or not.
  for (size_t from = 0; from < 8; ++from) {
    for (size_t to = 0; to < 8; ++to) {
      for (size_t count : {0, 1, 5, 8}) {
        std::string expected = source;
        std::string actual = source;
        std::memmove(&expected[to], &expected[from], count);
        EXPECT_EQ(MoveBytes(&actual[to], &actual[from], count), &actual[to]);
        EXPECT_EQ(expected, actual) << from << " -> " << to << ", " << count;
      }
    }
  }
  std::string copy(source.size(), '.');
  EXPECT_EQ(CopyBytes(&copy[2], source.data(), 5), &copy[2]);
  EXPECT_EQ(copy, "..01234.........");
  EXPECT_EQ(FillBytes(&copy[1], 0x1E9, 3), &copy[1]);
  EXPECT_EQ(copy, std::string(".\xE9\xE9\xE9") + "234.........");
}

}  // namespace
