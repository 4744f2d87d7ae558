// Turning Wine's UTF-16 registry exports into REGEDIT4 that winsim reads.
#include "registry_conversion.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "winsim/regedit4.h"
#include "winsim/registry.h"

namespace rq47wine {
namespace {

// The bytes Wine's regedit writes for this text: the byte order mark, then UTF-16LE.
std::string Utf16File(const std::u32string& text) {
  std::string bytes = "\xFF\xFE";
  for (char32_t c : text) {
    if (c >= 0x10000) {
      char32_t v = c - 0x10000;
      for (char32_t unit : {0xD800 + (v >> 10), 0xDC00 + (v & 0x3FF)}) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
      }
      continue;
    }
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

const std::u32string kHeader = U"Windows Registry Editor Version 5.00\r\n\r\n";
const std::u32string kKey = U"[HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV]\r\n";

// Converts and loads the export into a fresh registry, as the harness does.
const winsim::RegKey& Loaded(winsim::Registry& registry, const std::u32string& values) {
  std::string regedit4 = Regedit5ToRegedit4(Utf16File(kHeader + kKey + values));
  std::optional<winsim::Regedit4Error> error = winsim::ImportRegedit4(regedit4, registry);
  if (error)
    throw std::runtime_error("line " + std::to_string(error->line) + ": " + error->message);
  const winsim::RegKey* key = registry.find("HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV");
  if (key == nullptr) throw std::runtime_error("the key was not loaded");
  return *key;
}

TEST(RegistryConversion, KeepsStringsDwordsAndBinaryAsTheyAre) {
  winsim::Registry registry;
  const winsim::RegKey& key = Loaded(registry,
                                     U"@=\"default\"\r\n"
                                     U"\"Version\"=\"3.02 Build 69\"\r\n"
                                     U"\"Path\"=\"C:\\\\WINDOWS\\\\SYSTEM\\\\zuninst.exe\"\r\n"
                                     U"\"Quoted\"=\"say \\\"TRUE\\\"\"\r\n"
                                     U"\"Count\"=dword:0000001a\r\n"
                                     U"\"Country\"=hex:01\r\n");
  EXPECT_EQ(std::string("default", 8), key.findValue("")->data);
  EXPECT_EQ(std::string("3.02 Build 69", 14), key.findValue("Version")->data);
  EXPECT_EQ("C:\\WINDOWS\\SYSTEM\\zuninst.exe", key.findValue("Path")->text());
  EXPECT_EQ("say \"TRUE\"", key.findValue("Quoted")->text());
  EXPECT_EQ(4u, key.findValue("Count")->type);
  EXPECT_EQ(std::string("\x1a\0\0\0", 4), key.findValue("Count")->data);
  EXPECT_EQ(3u, key.findValue("Country")->type);
  EXPECT_EQ(std::string("\x01"), key.findValue("Country")->data);
}

TEST(RegistryConversion, TurnsWideStringDataIntoAnsiBytes) {
  // Wine keeps expandable and multi-strings wide; Windows 95/98 keep them in ANSI.
  winsim::Registry registry;
  const winsim::RegKey& key = Loaded(registry,
                                     U"\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
                                     U"\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
                                     U"\"Odd\"=hex(1):41,00,42,00,00,00,00,00\r\n"
                                     U"\"None\"=hex(0):01,02\r\n");
  EXPECT_EQ(2u, key.findValue("Expand")->type);
  EXPECT_EQ(std::string("%A%\0", 4), key.findValue("Expand")->data);
  EXPECT_EQ(std::string("a\0b\0\0", 5), key.findValue("Multi")->data);
  EXPECT_EQ(std::string("AB\0\0", 4), key.findValue("Odd")->data);
  EXPECT_EQ(0u, key.findValue("None")->type);
  EXPECT_EQ(std::string("\x01\x02"), key.findValue("None")->data);
}

TEST(RegistryConversion, JoinsHexListsContinuedOverLines) {
  winsim::Registry registry;
  const winsim::RegKey& key = Loaded(registry,
                                     U"\"DCB\"=hex:1c,00,00,00,80,25,\\\r\n"
                                     U"  00,00,15,20\r\n"
                                     U"\"Wide\"=hex(2):41,00,\\\r\n"
                                     U"  42,00,00,00\r\n"
                                     U"\"Path\"=\"C:\\\\\"\r\n"
                                     U"\"After\"=\"x\"\r\n");
  EXPECT_EQ(std::string("\x1c\0\0\0\x80\x25\0\0\x15\x20", 10), key.findValue("DCB")->data);
  EXPECT_EQ(std::string("AB\0", 3), key.findValue("Wide")->data);
  // A string that ends in a backslash does not swallow the next line.
  EXPECT_EQ("C:\\", key.findValue("Path")->text());
  EXPECT_EQ("x", key.findValue("After")->text());
}

TEST(RegistryConversion, PutsTextIntoCodePage1252) {
  winsim::Registry registry;
  const winsim::RegKey& key = Loaded(registry,
                                     U"\"Langue\"=\"Fran\u00e7ais \u20ac\"\r\n"
                                     U"\"Caf\u00e9\"=\"1\"\r\n");
  EXPECT_EQ(
      "Fran\xe7"
      "ais \x80",
      key.findValue("Langue")->text());
  EXPECT_NE(nullptr, key.findValue("Caf\xe9"));
}

TEST(RegistryConversion, KeepsLineBreaksAndNulsOfAStringAsHexBytes) {
  winsim::Registry registry;
  const winsim::RegKey& key = Loaded(registry, U"\"Text\"=\"one\\r\\ntwo\\0three\"\r\n");
  EXPECT_EQ(1u, key.findValue("Text")->type);
  EXPECT_EQ(std::string("one\r\ntwo\0three\0", 15), key.findValue("Text")->data);
}

TEST(RegistryConversion, ConvertsDeletionsAndKeysOfTheWholeFile) {
  std::string regedit4 = Regedit5ToRegedit4(
      Utf16File(kHeader + U"[-HKEY_LOCAL_MACHINE\\Enum\\PCI]\r\n\r\n" + kKey + U"\"Old\"=-\r\n"));
  EXPECT_EQ(
      "REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\Enum\\PCI]\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV]\r\n\"Old\"=-\r\n",
      regedit4);
}

TEST(RegistryConversion, RefusesWhatIsNotSuchAnExport) {
  // No byte order mark: an ANSI file.
  EXPECT_THROW(Regedit5ToRegedit4("REGEDIT4\r\n"), std::runtime_error);
  // Another first line.
  EXPECT_THROW(Regedit5ToRegedit4(Utf16File(U"REGEDIT4\r\n")), std::runtime_error);
  // An odd number of bytes cannot be UTF-16.
  EXPECT_THROW(Regedit5ToRegedit4(Utf16File(kHeader) + "x"), std::runtime_error);
  // A line that is no key, value or comment.
  EXPECT_THROW(Regedit5ToRegedit4(Utf16File(kHeader + kKey + U"garbage\r\n")), std::runtime_error);
  // A quoted value without its end.
  EXPECT_THROW(Regedit5ToRegedit4(Utf16File(kHeader + kKey + U"\"A\"=\"open\r\n")),
               std::runtime_error);
}

TEST(RegistryConversion, NamesTheLineOfACharacterOutsideTheCodePage) {
  try {
    Regedit5ToRegedit4(Utf16File(kHeader + kKey + U"\"Name\"=\"\u4e2d\"\r\n"));
    FAIL() << "a character outside code page 1252 was converted";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string::npos, std::string(error.what()).find("line 4")) << error.what();
    EXPECT_NE(std::string::npos, std::string(error.what()).find("U+4E2D")) << error.what();
  }
  EXPECT_THROW(Regedit5ToRegedit4(Utf16File(kHeader + kKey + U"\"A\"=\"\U0001F600\"\r\n")),
               std::runtime_error);
}

TEST(RegistryConversion, CodePage1252MapsBothWays) {
  for (unsigned byte = 0; byte < 256; ++byte) {
    unsigned char back = 0;
    char32_t codePoint = CodePointFromCp1252(static_cast<unsigned char>(byte));
    ASSERT_TRUE(Cp1252FromCodePoint(codePoint, &back)) << "byte " << byte;
    EXPECT_EQ(byte, back);
  }
  unsigned char byte = 0;
  EXPECT_TRUE(Cp1252FromCodePoint(0x20AC, &byte));
  EXPECT_EQ(0x80, byte);
  EXPECT_FALSE(Cp1252FromCodePoint(0x0100, &byte));
  EXPECT_FALSE(Cp1252FromCodePoint(0x0080, &byte));  // the euro sign's byte is not U+0080
}

}  // namespace
}  // namespace rq47wine
