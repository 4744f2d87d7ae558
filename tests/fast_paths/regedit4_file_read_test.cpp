// ImportRegedit4File reads a file in blocks; whatever the block size, and
// wherever a line, a line end or a continued hex list falls against the
// blocks' edges, it must give what ImportRegedit4 gives for the same text.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "test_machine.h"
#include "winsim/regedit4.h"
#include "winsim/registry.h"

namespace {

using rq47test::TempDir;

std::filesystem::path WriteFile(const TempDir& dir, const std::string& text) {
  std::filesystem::path path = dir.path() / "registry.reg";
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// A file of every kind of line, with the line ends given (one of them
// chosen in turn for each line when several are given).
std::string MixedFile(const std::vector<std::string>& lineEnds) {
  std::vector<std::string> lines = {
      "REGEDIT4",
      "",
      "; a comment, then a key with a default value and escapes",
      "[HKEY_LOCAL_MACHINE\\Software\\Zelvaran]",
      "@=\"the default\"",
      "\"Path\"=\"C:\\\\WINDOWS\\\\SYSTEM\\\\zelvcd.vxd\"",
      "\"Quoted\"=\"say \\\"hello\\\"\"",
      "\"Count\"=dword:0000001a",
      "  \"Indented\" = \"blanks around the equals sign\"  ",
      "[HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV]",
      "\"Binary\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\",
      "  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,\\",
      "  30,31,32",
      "\"A very long value name that goes on and on so that the hex list after it starts far "
      "to the right\"=hex(7):41,00,42,00,\\",
      "  00",
      "\"Expand\"=hex(2):25,53,79,73,74,65,6d,52,6f,6f,74,25,00",
      "\"Gone\"=\"soon\"",
      "\"Gone\"=-",
      "[HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\Old]",
      "\"x\"=\"y\"",
      "[-HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\Old]",
      "[HKEY_USERS\\.Default\\Software]",
      "\"Long\"=\"" + std::string(300, 'L') + "\"",
      "[hkey_local_machine\\software\\ZELVARAN\\RQ31DFV\\Instances]",
  };
  for (int i = 0; i < 40; ++i)
    lines.push_back("\"Value" + std::to_string(i) + "\"=dword:0000000" + std::to_string(i % 10));
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += lines[i] + lineEnds[i % lineEnds.size()];
  return text;
}

TEST(Regedit4FileRead, GivesWhatTheTextReadingGivesWhateverTheBlockSize) {
  TempDir dir;
  const std::vector<std::vector<std::string>> endings = {
      {"\r\n"}, {"\n"}, {"\r"}, {"\r\n", "\n", "\r", "\r\n", "\r"}};
  for (const std::vector<std::string>& lineEnds : endings) {
    std::string text = MixedFile(lineEnds);
    winsim::Registry expected;
    ASSERT_FALSE(winsim::ImportRegedit4(text, expected).has_value());
    std::filesystem::path file = WriteFile(dir, text);
    // Blocks from smaller than most lines to larger than the file; every
    // size from 16 to 80 puts a CR LF pair across a block edge somewhere.
    std::vector<size_t> sizes = {4, 15, 301, 1024, winsim::kRegedit4BlockSize};
    for (size_t size = 16; size <= 80; ++size) sizes.push_back(size);
    for (size_t blockSize : sizes) {
      winsim::Registry read;
      std::optional<winsim::Regedit4Error> error =
          winsim::ImportRegedit4File(file, read, blockSize);
      ASSERT_FALSE(error.has_value())
          << "block " << blockSize << ", line " << error->line << ": " << error->message;
      EXPECT_TRUE(read.sameAs(expected))
          << "block " << blockSize << ", line ends " << lineEnds.size();
      EXPECT_TRUE(read.modified);
    }
  }
}

TEST(Regedit4FileRead, AddsToARegistryThatHoldsKeysAsTheTextReadingDoes) {
  TempDir dir;
  std::string text = MixedFile({"\r\n"});
  std::filesystem::path file = WriteFile(dir, text);
  auto prepared = [] {
    winsim::Registry registry;
    registry.create("HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\Old\\Kept");
    registry.create("HKEY_LOCAL_MACHINE\\Enum\\PCI")->setValue("x", 1, std::string("1\0", 2));
    return registry;
  };
  winsim::Registry expected = prepared();
  ASSERT_FALSE(winsim::ImportRegedit4(text, expected).has_value());
  for (size_t blockSize : {size_t{16}, size_t{37}, winsim::kRegedit4BlockSize}) {
    winsim::Registry read = prepared();
    ASSERT_FALSE(winsim::ImportRegedit4File(file, read, blockSize).has_value());
    EXPECT_TRUE(read.sameAs(expected)) << "block " << blockSize;
  }
}

TEST(Regedit4FileRead, RefusesABadFileOnTheSameLineAndLeavesNothing) {
  TempDir dir;
  std::string good = MixedFile({"\r\n"});
  const std::vector<std::string> bad = {
      good + "\"Broken\"=hex:01,02,\\\r\n\r\n#03\r\n",  // the list goes on into a # line
      good + "\"Unclosed\"=\"text\r\n",                 // no closing quote
      good + "[HKEY_NOWHERE\\Key]\r\n",                 // not a root
      std::string("\xFF\xFE"
                  "R\0E\0",
                  6),  // regedit's version 5.00 format
      "",              // empty
      "REGEDIT5\r\n",  // wrong header
  };
  for (const std::string& text : bad) {
    winsim::Registry byText;
    std::optional<winsim::Regedit4Error> expected = winsim::ImportRegedit4(text, byText);
    ASSERT_TRUE(expected.has_value());
    std::filesystem::path file = WriteFile(dir, text);
    for (size_t blockSize : {size_t{16}, size_t{45}, winsim::kRegedit4BlockSize}) {
      winsim::Registry read;
      std::optional<winsim::Regedit4Error> error =
          winsim::ImportRegedit4File(file, read, blockSize);
      ASSERT_TRUE(error.has_value()) << "block " << blockSize;
      EXPECT_EQ(error->line, expected->line) << expected->message;
      EXPECT_EQ(error->message, expected->message);
      EXPECT_TRUE(read.sameAs(winsim::Registry())) << "nothing of a bad file stays";
      EXPECT_FALSE(read.modified);
    }
  }
}

TEST(Regedit4FileRead, SaysSoWhenTheFileCannotBeOpened) {
  TempDir dir;
  winsim::Registry registry;
  std::optional<winsim::Regedit4Error> error =
      winsim::ImportRegedit4File(dir.path() / "missing.reg", registry);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->line, 0u);
  EXPECT_NE(error->message.find("cannot be opened"), std::string::npos) << error->message;
  EXPECT_TRUE(registry.sameAs(winsim::Registry()));
}

// Key lines whose bytes begin as the last key line's do, or nearly: each
// must open the key its own path names, whether the file is read whole or
// in blocks that end between the lines.
TEST(Regedit4FileRead, KeyLinesAfterALikePathOpenTheKeyTheyName) {
  // Each entry is a key line's path ("-" before it deletes the key); each
  // key opened gets a value of its own.
  const std::vector<std::vector<std::string>> files = {
      {"HKEY_LOCAL_MACHINE\\Soft", "HKEY_LOCAL_MACHINE\\Software\\X", "HKEY_LOCAL_MACHINE\\Soft\\Y",
       "HKEY_LOCAL_MACHINE\\Software", "HKEY_LOCAL_MACHINE\\Sof"},
      {"HKEY_LOCAL_MACHINE\\A\\B", "HKEY_LOCAL_MACHINE\\A\\B\\C", "HKEY_LOCAL_MACHINE\\A\\Bc\\D",
       "HKEY_LOCAL_MACHINE\\A\\B\\C", "HKEY_LOCAL_MACHINE\\A"},
      {"HKEY_LOCAL_MACHINE\\A\\b", "HKEY_LOCAL_MACHINE\\a\\B\\c", "HKEY_LOCAL_MACHINE\\A\\b\\C"},
      {"HKEY_LOCAL_MACHINE\\A\\B", "HKEY_USERS\\A\\B\\C", "HKLM\\A\\B\\D",
       "HKEY_LOCAL_MACHINE\\A\\B\\E", "HKEY_USERS\\A\\F"},
      {"HKEY_LOCAL_MACHINE\\A\\\\B\\", "HKEY_LOCAL_MACHINE\\A\\B\\\\C", "HKEY_LOCAL_MACHINE\\A\\B"},
      {"HKEY_LOCAL_MACHINE\\A\\B", "-HKEY_LOCAL_MACHINE\\A\\B", "HKEY_LOCAL_MACHINE\\A\\B\\C",
       "HKEY_LOCAL_MACHINE\\A\\B\\C", "-HKEY_LOCAL_MACHINE\\A", "HKEY_LOCAL_MACHINE\\A\\B"},
  };
  TempDir dir;
  for (const std::vector<std::string>& paths : files) {
    std::string text = "REGEDIT4\r\n";
    winsim::Registry expected;
    for (size_t i = 0; i < paths.size(); ++i) {
      if (paths[i][0] == '-') {
        text += "\r\n[" + paths[i] + "]\r\n";
        expected.remove(paths[i].substr(1));
        continue;
      }
      std::string name = "V" + std::to_string(i);
      text += "\r\n[" + paths[i] + "]\r\n\"" + name + "\"=\"" + name + "\"\r\n";
      winsim::RegKey* key = expected.create(paths[i]);
      ASSERT_NE(key, nullptr) << paths[i];
      key->setValue(name, 1, name + std::string(1, '\0'));
    }
    winsim::Registry whole;
    ASSERT_FALSE(winsim::ImportRegedit4(text, whole).has_value()) << text;
    EXPECT_TRUE(whole.sameAs(expected)) << text;
    std::filesystem::path file = WriteFile(dir, text);
    for (size_t blockSize : {size_t{16}, size_t{29}, size_t{64}, winsim::kRegedit4BlockSize}) {
      winsim::Registry read;
      ASSERT_FALSE(winsim::ImportRegedit4File(file, read, blockSize).has_value());
      EXPECT_TRUE(read.sameAs(expected)) << "block " << blockSize << "\n" << text;
    }
  }
}

// A key line passed over (line by line) opens nothing, and the next key line
// opens its own key, not one the line passed over named in part.
TEST(Regedit4FileRead, AKeyLinePassedOverLeavesTheNextKeyLineItsOwnKey) {
  std::string text =
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A\\B]\r\n\"V\"=\"1\"\r\n"
      "[HKEY_LOCAL_MACHINE\\A\\B\\C\r\n\"W\"=\"2\"\r\n"
      "[HKEY_LOCAL_MACHINE\\A\\B\\D]\r\n\"X\"=\"3\"\r\n";
  winsim::Registry read;
  winsim::Regedit4LineByLine result = winsim::ImportRegedit4LineByLine(text, read);
  ASSERT_FALSE(result.refused.has_value());
  EXPECT_EQ(result.passedOver.size(), 2u);
  EXPECT_EQ(read.find("HKEY_LOCAL_MACHINE\\A\\B\\C"), nullptr);
  EXPECT_EQ(read.text("HKEY_LOCAL_MACHINE\\A\\B", "V"), "1");
  EXPECT_EQ(read.text("HKEY_LOCAL_MACHINE\\A\\B\\D", "X"), "3");
  EXPECT_EQ(read.value("HKEY_LOCAL_MACHINE\\A\\B", "W"), nullptr);
}

TEST(Regedit4FileRead, CutsEachKeysValuesToSizeSoNoRoomIsWasted) {
  // A key of many values, and many keys of a few, as in a real registry; a
  // key opened again before a line that deletes a key, and the file's last key.
  std::string text = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\SharedDLLs]\r\n";
  for (int i = 0; i < 5000; ++i) {
    text += "\"C:\\\\WINDOWS\\\\SYSTEM\\\\LIB" + std::to_string(i) + ".DLL\"=dword:00000001\r\n";
  }
  for (int key = 0; key < 200; ++key) {
    text += "\r\n[HKEY_LOCAL_MACHINE\\Enum\\Root\\" + std::to_string(1000 + key) + "]\r\n";
    for (int i = 0; i < key % 7; ++i) text += "\"V" + std::to_string(i) + "\"=\"x\"\r\n";
  }
  text += "\r\n[HKEY_LOCAL_MACHINE\\Enum\\Root\\1001]\r\n\"W1\"=\"y\"\r\n\"W2\"=\"y\"\r\n";
  text += "\r\n[-HKEY_LOCAL_MACHINE\\Gone]\r\n\r\n[HKEY_LOCAL_MACHINE\\Last]\r\n";
  for (int i = 0; i < 5; ++i) text += "\"L" + std::to_string(i) + "\"=dword:00000001\r\n";
  TempDir dir;
  std::filesystem::path file = WriteFile(dir, text);
  winsim::Registry read;
  ASSERT_FALSE(winsim::ImportRegedit4File(file, read).has_value());
  const winsim::RegKey* shared = read.find("HKEY_LOCAL_MACHINE\\Software\\SharedDLLs");
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(shared->values().size(), 5000u);
  EXPECT_EQ(shared->values().capacity(), 5000u);
  const winsim::RegKey* last = read.find("HKEY_LOCAL_MACHINE\\Last");
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->values().capacity(), 5u);
  EXPECT_EQ(read.find("HKEY_LOCAL_MACHINE\\Enum\\Root\\1001")->values().size(), 3u);
  const winsim::RegKey* root = read.find("HKEY_LOCAL_MACHINE\\Enum\\Root");
  ASSERT_NE(root, nullptr);
  for (size_t i = 0; i < root->subkeyCount(); ++i) {
    EXPECT_EQ(root->subkey(i)->values().capacity(), root->subkey(i)->values().size())
        << root->subkey(i)->name();
  }
}

}  // namespace
