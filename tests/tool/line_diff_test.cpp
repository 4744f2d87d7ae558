// The line diff behind system.ini's changes: lines split as a text-mode
// reader splits them, the shortest edit found, hunks numbered and merged.
#include "line_diff.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace winsim_tool {
namespace {

using Lines = std::vector<std::string>;

// The hunks applied to the old lines as patch applies them, by their numbers
// alone: must give the new lines.
Lines Apply(const Lines& oldLines, const std::vector<Hunk>& hunks) {
  Lines result;
  size_t next = 0;  // 0-based old line not yet taken
  for (const Hunk& hunk : hunks) {
    size_t before = hunk.oldCount == 0 ? hunk.oldStart : hunk.oldStart - 1;
    EXPECT_GE(before, next) << "hunks overlap or go backwards";
    while (next < before) result.push_back(oldLines[next++]);
    EXPECT_EQ(result.size(), hunk.newCount == 0 ? hunk.newStart : hunk.newStart - 1);
    for (const DiffLine& line : hunk.lines) {
      if (line.kind == DiffLine::Kind::Added) {
        result.push_back(line.text);
        continue;
      }
      EXPECT_EQ(line.oldNumber, next + 1);
      EXPECT_EQ(oldLines[next], line.text) << "old line " << line.oldNumber;
      if (line.kind == DiffLine::Kind::Same) result.push_back(line.text);
      ++next;
    }
  }
  while (next < oldLines.size()) result.push_back(oldLines[next++]);
  return result;
}

size_t ChangedLines(const std::vector<Hunk>& hunks) {
  size_t count = 0;
  for (const Hunk& hunk : hunks) {
    for (const DiffLine& line : hunk.lines) count += line.kind != DiffLine::Kind::Same;
  }
  return count;
}

// The fewest removed plus added lines, by the textbook table.
size_t ShortestEdit(const Lines& a, const Lines& b) {
  std::vector<std::vector<size_t>> common(a.size() + 1, std::vector<size_t>(b.size() + 1, 0));
  for (size_t i = a.size(); i-- > 0;) {
    for (size_t j = b.size(); j-- > 0;) {
      common[i][j] =
          a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    }
  }
  return a.size() + b.size() - 2 * common[0][0];
}

TEST(SplitLines, LineEndsAreNotPartOfTheLines) {
  EXPECT_EQ(SplitLines("a\r\nb\nc"), (Lines{"a", "b", "c"}));
  EXPECT_EQ(SplitLines("a\r\n\r\n"), (Lines{"a", ""}));
  EXPECT_EQ(SplitLines(""), Lines{});
  // A carriage return that ends no line stays in it, as text mode keeps it.
  EXPECT_EQ(SplitLines("a\rb\r\n"), (Lines{"a\rb"}));
  EXPECT_EQ(SplitLines("last\r"), (Lines{"last\r"}));
}

TEST(DiffLines, EqualTextsHaveNoHunks) {
  Lines text = {"[boot]", "shell=Explorer.exe"};
  EXPECT_TRUE(DiffLines(text, text).empty());
  EXPECT_TRUE(DiffLines({}, {}).empty());
}

TEST(DiffLines, AnInsertedLineComesWithItsContextAndNumbers) {
  Lines before = {"[boot]", "a=1", "[386Enh]", "woafont=dosapp.fon", "x=1", "y=2", "z=3"};
  Lines after = before;
  after.insert(after.begin() + 3, "device = zelvcd.vxd");
  std::vector<Hunk> hunks = DiffLines(before, after, 2);
  ASSERT_EQ(hunks.size(), 1u);
  const Hunk& hunk = hunks[0];
  EXPECT_EQ(hunk.oldStart, 2u);
  EXPECT_EQ(hunk.oldCount, 4u);
  EXPECT_EQ(hunk.newStart, 2u);
  EXPECT_EQ(hunk.newCount, 5u);
  ASSERT_EQ(hunk.lines.size(), 5u);
  EXPECT_EQ(hunk.lines[2].kind, DiffLine::Kind::Added);
  EXPECT_EQ(hunk.lines[2].text, "device = zelvcd.vxd");
  EXPECT_EQ(hunk.lines[2].newNumber, 4u);
  EXPECT_EQ(hunk.lines[2].oldNumber, 0u);
  EXPECT_EQ(hunk.lines[1].text, "[386Enh]");
  EXPECT_EQ(hunk.lines[3].oldNumber, 4u);
  EXPECT_EQ(hunk.lines[3].newNumber, 5u);
}

TEST(DiffLines, DistantChangesAreSeparateHunksAndCloseOnesMerge) {
  Lines before;
  for (int i = 1; i <= 20; ++i) before.push_back("line " + std::to_string(i));
  Lines distant = before;
  distant[1] = "changed 2";
  distant[17] = "changed 18";
  std::vector<Hunk> two = DiffLines(before, distant, 2);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].oldStart, 1u);
  EXPECT_EQ(two[1].oldStart, 16u);

  Lines close = before;
  close[5] = "changed 6";
  close[9] = "changed 10";  // three unchanged lines between: within twice the context
  std::vector<Hunk> one = DiffLines(before, close, 2);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].oldStart, 4u);
  EXPECT_EQ(one[0].oldCount, 9u);
}

TEST(DiffLines, RemovalsAndWholeReplacements) {
  Lines before = {"a", "b", "c"};
  std::vector<Hunk> removed = DiffLines(before, {"a", "c"});
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_EQ(ChangedLines(removed), 1u);
  EXPECT_EQ(Apply(before, removed), (Lines{"a", "c"}));

  std::vector<Hunk> fromNothing = DiffLines({}, {"x", "y"});
  ASSERT_EQ(fromNothing.size(), 1u);
  EXPECT_EQ(fromNothing[0].oldStart, 0u);
  EXPECT_EQ(fromNothing[0].newStart, 1u);
  EXPECT_EQ(Apply({}, fromNothing), (Lines{"x", "y"}));

  std::vector<Hunk> toNothing = DiffLines(before, {});
  EXPECT_EQ(ChangedLines(toNothing), 3u);
  EXPECT_EQ(Apply(before, toNothing), Lines{});
}

// Random texts over a small alphabet have many equal lines in many places:
// the diff must still rebuild the new text and be as short as the shortest.
TEST(DiffLines, RandomTextsRebuildExactlyWithTheShortestEdit) {
  std::mt19937 random(47);
  for (int round = 0; round < 300; ++round) {
    auto text = [&] {
      Lines lines(random() % 14);
      for (std::string& line : lines) line = std::string(1, static_cast<char>('a' + random() % 4));
      return lines;
    };
    Lines before = text();
    Lines after = text();
    std::vector<Hunk> hunks = DiffLines(before, after, static_cast<size_t>(random() % 3));
    ASSERT_EQ(Apply(before, hunks), after) << "round " << round;
    ASSERT_EQ(ChangedLines(hunks), ShortestEdit(before, after)) << "round " << round;
  }
}

TEST(DiffLines, LargeUnrelatedTextsStillGiveACorrectEdit) {
  Lines before;
  Lines after;
  for (int i = 0; i < 6000; ++i) {
    before.push_back("old " + std::to_string(i));
    after.push_back("new " + std::to_string(i));
  }
  std::vector<Hunk> hunks = DiffLines(before, after);
  EXPECT_EQ(Apply(before, hunks), after);
  EXPECT_EQ(ChangedLines(hunks), 12000u);
}

}  // namespace
}  // namespace winsim_tool
