// The message boxes of a run as the answerer logs them under Wine and as
// winsim's trace records them.
#include "box_log.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace rq47wine {
namespace {

TEST(AnswererLog, ReadsEachBoxWithItsEscapes) {
  std::vector<ShownBox> boxes = ParseAnswererLog(
      "Zelvaran RQ47 Upgrade\tInstall has found a previous version.\tYes,No\tYes\n"
      "Zelvaran RQ47 Modem\tUnable\\r\\n\\r\\nPlease close\\t\\\\now\tOK\tOK\n");
  ASSERT_EQ(2u, boxes.size());
  EXPECT_EQ(
      (ShownBox{"Zelvaran RQ47 Upgrade", "Install has found a previous version.", "Yes,No", "Yes"}),
      boxes[0]);
  EXPECT_EQ("Unable\r\n\r\nPlease close\t\\now", boxes[1].text);
  EXPECT_EQ("OK", boxes[1].answer);
}

TEST(AnswererLog, IsEmptyWhenNoBoxWasShown) {
  EXPECT_TRUE(ParseAnswererLog("").empty());
  EXPECT_TRUE(ParseAnswererLog("\n").empty());
}

TEST(AnswererLog, RefusesALineThatIsNotABox) {
  EXPECT_THROW(ParseAnswererLog("caption\ttext\tOK\n"), std::runtime_error);
  EXPECT_THROW(ParseAnswererLog("a\tb\tOK\tOK\textra\n"), std::runtime_error);
  EXPECT_THROW(ParseAnswererLog("a\tbad \\q escape\tOK\tOK\n"), std::runtime_error);
  EXPECT_THROW(ParseAnswererLog("a\tends in \\\tOK\tOK\n"), std::runtime_error);
}

TEST(TraceBoxes, TakesTheMessageBoxCallsInOrderAndNothingElse) {
  std::vector<ShownBox> boxes = BoxesFromTrace(
      "RegOpenKeyExA(HKLM, \"Software\\\\Zelvaran\\\\RQ31DFV\", 0, 0xf003f) = ERROR_SUCCESS\n"
      "MessageBoxA(NULL, \"If you want to remove\\r\\nClick \\\"Yes\\\".\", \"Zelvaran RQ47 "
      "Modem\", 0x104) = No\n"
      "DeleteFileA(\"C:\\\\WINDOWS\\\\SYSTEM\\\\zca.cpl\") = FALSE, ERROR_FILE_NOT_FOUND\n"
      "MessageBoxA(NULL, \"tab\\there \\x01\", \"Caption\", 0x0) = OK\n");
  ASSERT_EQ(2u, boxes.size());
  EXPECT_EQ(
      (ShownBox{"Zelvaran RQ47 Modem", "If you want to remove\r\nClick \"Yes\".", "Yes,No", "No"}),
      boxes[0]);
  EXPECT_EQ("tab\there \x01", boxes[1].text);
  EXPECT_EQ("OK", boxes[1].buttons);
}

TEST(TraceBoxes, KeepsAFailedCallsResultAsItsAnswer) {
  std::vector<ShownBox> boxes =
      BoxesFromTrace("MessageBoxA(NULL, \"t\", \"c\", 0x0) = 0, ERROR_NOT_ENOUGH_MEMORY\n");
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ("0, ERROR_NOT_ENOUGH_MEMORY", boxes[0].answer);
}

TEST(TraceBoxes, RefusesACutLine) {
  EXPECT_THROW(BoxesFromTrace("MessageBoxA(NULL, \"open text\n"), std::runtime_error);
  EXPECT_THROW(BoxesFromTrace("MessageBoxA(NULL, \"t\", \"c\", style) = OK\n"), std::runtime_error);
  EXPECT_THROW(BoxesFromTrace("MessageBoxA(NULL, \"t\", \"c\", 0x0)\n"), std::runtime_error);
}

TEST(TraceBoxes, NamesTheButtonsOfEachStyleAsABoxLabelsThem) {
  EXPECT_EQ("OK", ButtonLabels(0x0));
  EXPECT_EQ("OK,Cancel", ButtonLabels(0x1));
  EXPECT_EQ("Abort,Retry,Ignore", ButtonLabels(0x2));
  EXPECT_EQ("Yes,No,Cancel", ButtonLabels(0x3));
  EXPECT_EQ("Yes,No", ButtonLabels(0x4 | 0x100 | 0x20));  // default button and icon do not count
  EXPECT_EQ("Retry,Cancel", ButtonLabels(0x5));
}

TEST(BoxDescription, ShowsControlCharactersSoALineStaysOneLine) {
  std::string line = Describe(ShownBox{"c", "a\r\nb", "OK", "OK"});
  EXPECT_EQ(std::string::npos, line.find('\n'));
  EXPECT_NE(std::string::npos, line.find("a\\r\\nb"));
}

}  // namespace
}  // namespace rq47wine
