// The writer copies strings and names sixteen bytes at a time until it meets a
// byte that needs care: a quote or backslash (escaped) or, in a string, a
// control character (the string is then written as hex(1): to keep it
// whole). Such a byte must be handled wherever it falls in the text.
#include <gtest/gtest.h>

#include <string>

#include "winsim/regedit4.h"
#include "winsim/registry.h"

namespace {

constexpr uint32_t kRegSz = 1;

std::string Written(const std::string& name, const std::string& data) {
  winsim::Registry registry;
  registry.create("HKEY_LOCAL_MACHINE\\Test")->setValue(name, kRegSz, data);
  return winsim::ExportRegedit4(registry);
}

// The value line of the file.
std::string ValueLine(const std::string& file) {
  size_t start = file.find("\\Test]\r\n") + 8;
  return file.substr(start, file.find("\r\n", start) - start);
}

void ExpectReadsBack(const std::string& name, const std::string& data) {
  std::string file = Written(name, data);
  winsim::Registry read;
  std::optional<winsim::Regedit4Error> error = winsim::ImportRegedit4(file, read);
  ASSERT_FALSE(error.has_value()) << error->message << "\n" << file;
  const winsim::RegValue* value = read.value("HKEY_LOCAL_MACHINE\\Test", name);
  ASSERT_NE(value, nullptr) << file;
  EXPECT_EQ(value->name, name);
  EXPECT_EQ(value->type, kRegSz);
  EXPECT_EQ(value->data, data) << file;
}

TEST(Regedit4StringWrite, EscapesAQuoteOrBackslashWhereverItStands) {
  for (size_t length = 1; length <= 40; ++length) {
    for (size_t at = 0; at < length; ++at) {
      for (char special : {'"', '\\'}) {
        std::string text(length, 'a');
        text[at] = special;
        std::string expected =
            "\"" + std::string(at, 'a') + "\\" + special + std::string(length - at - 1, 'a') + "\"";
        EXPECT_EQ(ValueLine(Written("n", text + '\0')), "\"n\"=" + expected);
        EXPECT_EQ(ValueLine(Written(text, std::string("v\0", 2))), expected + "=\"v\"");
      }
    }
  }
}

TEST(Regedit4StringWrite, KeepsAStringWithAControlCharacterAnywhereAsHex) {
  for (size_t length = 1; length <= 40; ++length) {
    for (size_t at = 0; at < length; ++at) {
      for (char control : {'\t', '\x01', '\x1f', '\0'}) {
        std::string text(length, 'b');
        text[at] = control;
        std::string line = ValueLine(Written("n", text + '\0'));
        EXPECT_EQ(line.rfind("\"n\"=hex(1):", 0), 0u) << "length " << length << " at " << at;
        ExpectReadsBack("n", text + '\0');
      }
    }
  }
}

TEST(Regedit4StringWrite, WritesOrdinaryTextOfAnyLengthAsItIs) {
  // Letters, blanks and bytes above 0x7f (ANSI text) need no care.
  std::string pattern = "Zelvaran RQ47 \xE9t\xE9 \xA0\xFF modem ";
  for (size_t length = 0; length <= 70; ++length) {
    std::string text =
        pattern.substr(0, length % pattern.size()) + std::string(length / pattern.size() * 3, 'x');
    EXPECT_EQ(ValueLine(Written("Name", text + '\0')), "\"Name\"=\"" + text + "\"");
    ExpectReadsBack("Name", text + '\0');
  }
  // Not a plain string: no terminator, or bytes after it.
  ExpectReadsBack("Name", "no terminator");
  ExpectReadsBack("Name", std::string("COM2\0\0\x17", 7));
  ExpectReadsBack("Name", "");
}

}  // namespace
