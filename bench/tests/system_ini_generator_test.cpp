#include "system_ini_generator.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace rq47bench {
namespace {

size_t Occurrences(std::string_view text, std::string_view what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

TEST(SystemIniGeneratorTest, GivesCrLfLinesOfTheSizeAskedWithVcdInEvery386EnhSection) {
  SystemIniShape shape;
  shape.bytes = 300000;
  std::string ini = GenerateSystemIni(shape);
  EXPECT_GE(ini.size(), shape.bytes);
  EXPECT_LT(ini.size(), shape.bytes + 8000) << "it stops after the section that reaches the size";
  EXPECT_EQ(Occurrences(ini, "\n"), Occurrences(ini, "\r\n")) << "every line ends in CR LF";
  EXPECT_EQ(ini.find('\x1a'), std::string::npos) << "no Ctrl-Z cuts the input short";
  size_t sections = Occurrences(ini, "[386Enh]\r\n");
  EXPECT_GT(sections, 30u) << "the *vcd lines stand all through the file";
  EXPECT_EQ(Occurrences(ini, "*vcd"), sections);
  EXPECT_EQ(Occurrences(ini, "zelvcd"), 0u);

  // Some lines are longer than one read of the rewrite (255 characters).
  size_t longest = 0;
  for (size_t start = 0, end; (end = ini.find('\n', start)) != std::string::npos; start = end + 1) {
    longest = std::max(longest, end - start);
  }
  EXPECT_GT(longest, 255u);
}

TEST(SystemIniGeneratorTest, PutsTheDriverLineAfterEveryVcdLineWhenAsked) {
  SystemIniShape shape;
  shape.bytes = 100000;
  shape.withDriverLines = true;
  std::string ini = GenerateSystemIni(shape);
  EXPECT_EQ(Occurrences(ini, "device=*vcd\r\ndevice = zelvcd.vxd\r\n"), Occurrences(ini, "*vcd"));
  EXPECT_EQ(Occurrences(ini, "zelvcd"), Occurrences(ini, "*vcd"));
}

}  // namespace
}  // namespace rq47bench
