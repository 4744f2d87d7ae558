// Registry values as the diff, the report and reg query show them: typed,
// readable and exact about the bytes; the machine's code page turned into
// UTF-8; SHA-256 as the file comparison uses it.
#include "value_text.h"

#include <gtest/gtest.h>

#include <string>

#include "codepage.h"
#include "sha256.h"

namespace winsim_tool {
namespace {

winsim::RegValue Value(uint32_t type, std::string data) {
  winsim::RegValue value;
  value.name = "Name";
  value.type = type;
  value.data = std::move(data);
  return value;
}

std::string Bytes(const char* text, size_t size) { return std::string(text, size); }

TEST(ValueText, StringsShowTheirTextAndTheirByteCount) {
  EXPECT_EQ(ValueText(Value(1, Bytes("COM2\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 20))),
            "REG_SZ \"COM2\" (20 bytes)");
  EXPECT_EQ(ValueText(Value(1, Bytes("3.02 Build 69\0", 14))),
            "REG_SZ \"3.02 Build 69\" (14 bytes)");
  EXPECT_EQ(ValueText(Value(1, Bytes("C:\\WINDOWS\0", 11))), "REG_SZ \"C:\\WINDOWS\" (11 bytes)");
  EXPECT_EQ(ValueText(Value(2, Bytes("%windir%\0", 9))), "REG_EXPAND_SZ \"%windir%\" (9 bytes)");
}

TEST(ValueText, UnusualStringsSayWhatIsUnusual) {
  // Cut short: a string written without its terminator.
  EXPECT_EQ(ValueDataText(Value(1, "COM")), "\"COM\" (3 bytes, no terminator)");
  // Bytes after the terminator that are not zero are shown, not hidden.
  EXPECT_EQ(ValueDataText(Value(1, Bytes("ab\0X\0", 5))),
            "\"ab\" (5 bytes; after the terminator: 58 00)");
  // Control characters and quotes are escaped so a line stays one line.
  EXPECT_EQ(ValueDataText(Value(1, Bytes("a\r\nb\t\"c\"\x01\0", 10))),
            "\"a\\r\\nb\\t\\\"c\\\"\\x01\" (10 bytes)");
  EXPECT_EQ(ValueDataText(Value(1, "")), "\"\" (0 bytes, no terminator)");
}

TEST(ValueText, NumbersBinaryAndOtherTypes) {
  EXPECT_EQ(ValueText(Value(4, Bytes("\x1a\0\0\0", 4))), "REG_DWORD 0x0000001a (26)");
  EXPECT_EQ(ValueText(Value(4, Bytes("\xff\xff\xff\xff", 4))), "REG_DWORD 0xffffffff (4294967295)");
  // A dword of the wrong size is shown as its bytes, not as a number it is not.
  EXPECT_EQ(ValueText(Value(4, Bytes("\x01\x02", 2))), "REG_DWORD 01 02 (2 bytes)");
  EXPECT_EQ(ValueText(Value(5, Bytes("\0\0\x01\x02", 4))), "REG_DWORD_BIG_ENDIAN 0x00000102 (258)");
  EXPECT_EQ(ValueText(Value(3, Bytes("\x50", 1))), "REG_BINARY 50 (1 byte)");
  EXPECT_EQ(ValueText(Value(3, "")), "REG_BINARY (0 bytes)");
  EXPECT_EQ(ValueText(Value(7, Bytes("one\0two\0\0", 9))),
            "REG_MULTI_SZ \"one\", \"two\" (9 bytes)");
  EXPECT_EQ(ValueText(Value(0x42, "\xab")), "type 0x42 ab (1 byte)");
}

TEST(ValueText, NamesCountsAndTheCodePage) {
  EXPECT_EQ(ValueNameText(""), "(Default)");
  EXPECT_EQ(ValueNameText("PNP ID"), "PNP ID");
  EXPECT_EQ(ByteCount(1), "1 byte");
  EXPECT_EQ(ByteCount(1234567), "1,234,567 bytes");
  // Code page 1252: 0xE9 is é, 0x80 the euro sign, 0x81 undefined (kept as U+0081).
  EXPECT_EQ(AnsiToUtf8("caf\xe9"), "caf\xc3\xa9");
  EXPECT_EQ(AnsiToUtf8("\x80"), "\xe2\x82\xac");
  EXPECT_EQ(AnsiToUtf8("\x81"), "\xc2\x81");
  EXPECT_EQ(QuotedText("Espa\xf1ol"), "\"Espa\xc3\xb1ol\"");
  EXPECT_EQ(UnicodeToAnsi(0x20AC), '\x80');
  EXPECT_EQ(UnicodeToAnsi(0xE9), '\xe9');
  EXPECT_FALSE(UnicodeToAnsi(0x4E2D).has_value());
  EXPECT_FALSE(UnicodeToAnsi(0x80).has_value());  // the euro sign's byte is not U+0080
  for (unsigned byte = 0; byte < 256; ++byte) {
    EXPECT_EQ(UnicodeToAnsi(AnsiToUnicode(static_cast<unsigned char>(byte))),
              static_cast<char>(byte));
  }
}

TEST(Sha256, KnownDigestsInOnePieceAndInMany) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(Sha256Hex(twoBlocks),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  std::string million(1000000, 'a');
  Sha256 pieces;
  for (size_t at = 0; at < million.size(); at += 997) {
    pieces.update(std::string_view(million).substr(at, 997));
  }
  EXPECT_EQ(pieces.hexDigest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
}  // namespace winsim_tool
