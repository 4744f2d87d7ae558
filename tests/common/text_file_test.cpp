#include "text_file.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "test_machine.h"

namespace {

using Status = TextFileReader::ReadStatus;
using Line = std::pair<std::string, bool>;  // text, ended by a line feed

constexpr char kHostPath[] = "C:\\WINDOWS\\text.txt";

class TextFiles : public ::testing::Test {
 protected:
  void SetUp() override { machine.run(); }
  void TearDown() override {
    EXPECT_EQ(machine.run().openHandleCount(), 0u);
    EXPECT_EQ(machine.run().heapBlockCount(), 0u) << "memory a reader or writer kept";
  }

  // Every line the reader gives for a file of these bytes.
  std::vector<Line> linesOf(const std::string& content) {
    machine.writeFile(kHostPath, content);
    TextFileReader reader;
    EXPECT_TRUE(reader.open(kHostPath));
    std::vector<Line> lines;
    std::string_view text;
    bool lineFeed = false;
    Status status;
    while ((status = reader.readLine(text, lineFeed)) == Status::kLine) {
      lines.emplace_back(std::string(text), lineFeed);
    }
    EXPECT_EQ(status, Status::kEnd);
    EXPECT_EQ(reader.readLine(text, lineFeed), Status::kEnd) << "the end is not sticky";
    return lines;
  }

  std::string written() { return machine.readFile(kHostPath).value(); }

  rq47test::TestMachine machine;
};

TEST_F(TextFiles, CrLfAndLfEndLinesAndALoneCrIsText) {
  EXPECT_EQ(linesOf("a\r\nb\nc\rd\r\n\r\n\ne"),
            (std::vector<Line>{
                {"a", true}, {"b", true}, {"c\rd", true}, {"", true}, {"", true}, {"e", false}}));
  EXPECT_EQ(linesOf("x\r\r\n"), (std::vector<Line>{{"x\r", true}}));
  EXPECT_EQ(linesOf("last\r"), (std::vector<Line>{{"last\r", false}}));
  EXPECT_EQ(linesOf("\n"), (std::vector<Line>{{"", true}}));
  EXPECT_TRUE(linesOf("").empty());
}

// A Ctrl-Z ends no input: what follows it is still the file's.
TEST_F(TextFiles, CtrlZIsTextWhereverItStands) {
  EXPECT_EQ(linesOf("a\r\nb\x1a"
                    "c\r\nd\r\n"),
            (std::vector<Line>{{"a", true},
                               {"b\x1a"
                                "c",
                                true},
                               {"d", true}}));
  EXPECT_EQ(linesOf("a\r\x1a\n"), (std::vector<Line>{{"a\r\x1a", true}}));
  EXPECT_EQ(linesOf("a\n\x1a"), (std::vector<Line>{{"a", true}, {"\x1a", false}}));
  EXPECT_EQ(linesOf("\x1a[boot]\r\n"), (std::vector<Line>{{"\x1a[boot]", true}}));
}

TEST_F(TextFiles, NulBytesStayPartOfTheLine) {
  std::string withNul("ab\0cd", 5);
  EXPECT_EQ(linesOf(withNul + "\r\n" + withNul),
            (std::vector<Line>{{withNul, true}, {withNul, false}}));
}

TEST_F(TextFiles, LinesRunAcrossBlocksWhole) {
  const size_t block = kTextFileBlockSize;
  // A CR LF pair split by the block boundary is still one line end.
  std::string split(block - 1, 'x');
  EXPECT_EQ(linesOf(split + "\r\nnext\r\n"), (std::vector<Line>{{split, true}, {"next", true}}));
  // A line ending just at the boundary, and one several blocks long.
  std::string atBoundary(block - 2, 'y');
  std::string huge(3 * block + 5, 'z');
  huge[block] = '\r';  // a lone CR inside stays
  EXPECT_EQ(linesOf(atBoundary + "\r\n" + huge + "\r\ntail"),
            (std::vector<Line>{{atBoundary, true}, {huge, true}, {"tail", false}}));
  // A last line without line feed that spans blocks.
  std::string lastLong(block + 10, 'w');
  EXPECT_EQ(linesOf("first\n" + lastLong), (std::vector<Line>{{"first", true}, {lastLong, false}}));
}

TEST_F(TextFiles, CtrlZInALaterBlockIsTextToo) {
  std::string first(kTextFileBlockSize + 100, 'q');
  EXPECT_EQ(linesOf(first + "\x1a" + "kept\r\n"),
            (std::vector<Line>{{first + "\x1a" + "kept", true}}));
}

TEST_F(TextFiles, AMissingFileDoesNotOpen) {
  TextFileReader reader;
  EXPECT_FALSE(reader.open("C:\\WINDOWS\\absent.txt"));
  std::string_view text;
  bool lineFeed = false;
  EXPECT_EQ(reader.readLine(text, lineFeed), Status::kError);
}

TEST_F(TextFiles, AReadErrorIsReportedAndNothingFollowsIt) {
  std::string first(kTextFileBlockSize - 10, 'a');
  machine.writeFile(kHostPath, first + "\r\n" + std::string(100, 'b') + "\r\nc\r\n");
  machine.run().addFault({"ReadFile", "", 2, 0});
  TextFileReader reader;
  ASSERT_TRUE(reader.open(kHostPath));
  std::string_view text;
  bool lineFeed = false;
  ASSERT_EQ(reader.readLine(text, lineFeed), Status::kLine);
  EXPECT_EQ(text, first);
  EXPECT_EQ(reader.readLine(text, lineFeed), Status::kError);
  EXPECT_EQ(reader.readLine(text, lineFeed), Status::kError);
}

TEST_F(TextFiles, WithoutMemoryForItsBlockOrALongLineTheReaderFails) {
  std::string longLine(kTextFileBlockSize + 10, 'l');
  machine.writeFile(kHostPath, "first\r\n" + longLine + "\r\n");
  std::string_view text;
  bool lineFeed = false;
  // The block, then the long line's first room, then its growth.
  for (unsigned failing : {1u, 2u, 3u}) {
    machine.run().clearFaults();
    machine.run().addFault({"HeapAlloc", "", failing, 0});
    TextFileReader reader;
    if (failing == 1) {
      EXPECT_FALSE(reader.open(kHostPath));
      EXPECT_EQ(reader.readLine(text, lineFeed), Status::kError);
      continue;
    }
    ASSERT_TRUE(reader.open(kHostPath));
    ASSERT_EQ(reader.readLine(text, lineFeed), Status::kLine);
    EXPECT_EQ(text, "first");
    EXPECT_EQ(reader.readLine(text, lineFeed), Status::kError) << failing;
    EXPECT_EQ(reader.readLine(text, lineFeed), Status::kError) << "the error is not sticky";
  }
}

TEST_F(TextFiles, AWriterWithoutMemoryForItsBlockLeavesTheFileAlone) {
  machine.writeFile(kHostPath, "kept");
  machine.run().addFault({"HeapAlloc", "", 0, 0});
  TextFileWriter writer;
  EXPECT_FALSE(writer.create(kHostPath));
  EXPECT_FALSE(writer.write("x\n"));
  EXPECT_FALSE(writer.close());
  EXPECT_EQ(written(), "kept");
}

TEST_F(TextFiles, EveryLineFeedIsWrittenAsCrLf) {
  machine.writeFile(kHostPath, "old content that must go");
  TextFileWriter writer;
  ASSERT_TRUE(writer.create(kHostPath));
  EXPECT_TRUE(writer.write("a\nb"));
  EXPECT_TRUE(writer.write("\n"));
  EXPECT_TRUE(writer.write("c\r\n\n"));
  EXPECT_TRUE(writer.write(std::string("n\0l", 3)));
  EXPECT_TRUE(writer.close());
  EXPECT_EQ(written(), std::string("a\r\nb\r\nc\r\r\n\r\nn\0l", 15));
}

TEST_F(TextFiles, LargeWritesCrossBlocksIntact) {
  std::string input;
  std::string expected;
  for (size_t i = 0; input.size() < 3 * kTextFileBlockSize; ++i) {
    std::string line(i % 997, static_cast<char>('a' + i % 26));
    input += line + "\n";
    expected += line + "\r\n";
  }
  // A line feed that arrives when the block has room for one byte only.
  std::string edge(kTextFileBlockSize - 1, 'e');
  TextFileWriter writer;
  ASSERT_TRUE(writer.create(kHostPath));
  EXPECT_TRUE(writer.write(edge));
  EXPECT_TRUE(writer.write("\n"));
  EXPECT_TRUE(writer.write(input));
  EXPECT_TRUE(writer.close());
  EXPECT_EQ(written(), edge + "\r\n" + expected);
}

TEST_F(TextFiles, AFailedWriteIsReportedByWriteOrClose) {
  machine.run().addFault({"WriteFile", "", 0, 0});
  TextFileWriter small;
  ASSERT_TRUE(small.create(kHostPath));
  EXPECT_TRUE(small.write("buffered\n"));
  EXPECT_FALSE(small.close()) << "a buffered line that never reached the file";

  TextFileWriter large;
  ASSERT_TRUE(large.create(kHostPath));
  EXPECT_FALSE(large.write(std::string(2 * kTextFileBlockSize, 'x')));
  EXPECT_FALSE(large.write("more"));
  EXPECT_FALSE(large.close());
}

TEST_F(TextFiles, AWriterThatCannotCreateItsFileWritesNothing) {
  machine.run().addFault({"CreateFileA", "text.txt", 0, 0});
  TextFileWriter writer;
  EXPECT_FALSE(writer.create(kHostPath));
  EXPECT_FALSE(writer.write("x\n"));
  EXPECT_FALSE(writer.close());
  EXPECT_FALSE(machine.exists(kHostPath));
}

TEST_F(TextFiles, AnAbandonedWriterLeavesOnlyWhatWasFlushed) {
  TextFileWriter writer;
  ASSERT_TRUE(writer.create(kHostPath));
  EXPECT_TRUE(writer.write("never kept\n"));
  writer.abandon();
  EXPECT_EQ(written(), "");
  EXPECT_FALSE(writer.write("x"));
}

}  // namespace
