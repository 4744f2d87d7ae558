// Comparing the machine a run left on winsim with the one it left under Wine.
#include "machine_compare.h"

#include <gtest/gtest.h>

#include <fstream>

#include "test_machine.h"

namespace fs = std::filesystem;

namespace rq47wine {
namespace {

constexpr const char* kVendor = "HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV";
const std::vector<std::string> kKeys = {"HKEY_LOCAL_MACHINE\\Software\\Zelvaran",
                                        "HKEY_LOCAL_MACHINE\\Enum"};

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

class RegistryComparison : public ::testing::Test {
 protected:
  winsim::RegKey& onWinsim(const std::string& key) { return *winsim_.create(key); }
  winsim::RegKey& underWine(const std::string& key) { return *wine_.create(key); }
  std::vector<std::string> differences() { return CompareRegistries(winsim_, wine_, kKeys); }

  winsim::Registry winsim_;
  winsim::Registry wine_;
};

TEST_F(RegistryComparison, StringsCompareByteForByteAndShowTheirBytesWhenPadded) {
  onWinsim(kVendor).setValue("Version", 1, std::string("3.02\0", 5));
  underWine(kVendor).setValue("Version", 1, std::string("3.02\0", 5));
  onWinsim(kVendor).setValue("PortName", 1, std::string("COM2\0\0\0\0\0\0", 10));
  underWine(kVendor).setValue("PortName", 1, std::string("COM2\0", 5));
  std::vector<std::string> found = differences();
  ASSERT_EQ(1u, found.size()) << Joined(found);
  EXPECT_NE(std::string::npos,
            found[0].find("\"PortName\": \"COM2\" (10 bytes: 43 4f 4d 32 00 00 00 00 00 00) on "
                          "winsim, \"COM2\" under Wine"))
      << found[0];
}

TEST_F(RegistryComparison, OtherValuesCompareByteForByteWithTheirType) {
  onWinsim(kVendor).setValue("Country", 3, "\x01");
  underWine(kVendor).setValue("Country", 3, std::string("\x01\x00", 2));
  onWinsim(kVendor).setValue("MicGain", 3, "\x50");
  underWine(kVendor).setValue("MicGain", 4, std::string("\x50\0\0\0", 4));
  onWinsim(kVendor).setValue("Version", 1, std::string("3.02\0", 5));
  underWine(kVendor).setValue("Version", 3, std::string("3.02\0", 5));
  std::vector<std::string> found = differences();
  EXPECT_EQ(3u, found.size()) << Joined(found);
}

TEST_F(RegistryComparison, ReportsMissingValuesAndKeysOnEitherSide) {
  onWinsim(kVendor).setValue("Language", 1, std::string("German\0", 7));
  underWine(kVendor).setValue("DOSboxEnabled", 1, std::string("TRUE\0", 5));
  onWinsim("HKEY_LOCAL_MACHINE\\Enum\\PCI\\Only on winsim");
  underWine("HKEY_LOCAL_MACHINE\\Enum\\PCI\\Only under Wine\\0000");
  onWinsim("HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31");
  std::vector<std::string> found = differences();
  std::string text = Joined(found);
  EXPECT_EQ(5u, found.size()) << text;
  EXPECT_NE(std::string::npos, text.find("\"Language\": \"German\" on winsim, missing under Wine"));
  EXPECT_NE(std::string::npos, text.find("\"DOSboxEnabled\": missing on winsim"));
  EXPECT_NE(std::string::npos, text.find("PCI\\Only on winsim: the key is there on winsim"));
  EXPECT_NE(std::string::npos, text.find("PCI\\Only under Wine: the key is missing on winsim"));
  EXPECT_NE(std::string::npos, text.find("Zelvaran\\RQ31: the key is there on winsim"));
}

TEST_F(RegistryComparison, AKeyMissingOnOneSideIsOneDifference) {
  onWinsim("HKEY_LOCAL_MACHINE\\Enum\\PCI\\A\\B");
  std::vector<std::string> found = differences();
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ("HKEY_LOCAL_MACHINE\\Enum: the key is there on winsim, missing under Wine", found[0]);
}

TEST_F(RegistryComparison, TheCaseOfANameCountsButTheOrderOfValuesDoesNot) {
  onWinsim(kVendor).setValue("PNP ID", 1, std::string("x\0", 2));
  onWinsim(kVendor).setValue("Country", 3, "\x01");
  underWine(kVendor).setValue("Country", 3, "\x01");
  underWine(kVendor).setValue("pnp id", 1, std::string("x\0", 2));
  onWinsim("HKEY_LOCAL_MACHINE\\Enum\\PCI");
  underWine("HKEY_LOCAL_MACHINE\\Enum\\pci");
  std::vector<std::string> found = differences();
  ASSERT_EQ(2u, found.size()) << Joined(found);
  EXPECT_NE(std::string::npos, Joined(found).find("spelled \"pnp id\" under Wine"));
  EXPECT_NE(std::string::npos, Joined(found).find("spelled \"PCI\" on winsim, \"pci\" under Wine"));
}

TEST_F(RegistryComparison, LooksOnlyBelowTheKeysAsked) {
  onWinsim("HKEY_LOCAL_MACHINE\\Software\\Elsewhere");
  underWine("HKEY_LOCAL_MACHINE\\System\\Other");
  EXPECT_TRUE(differences().empty());
}

class DriveComparison : public ::testing::Test {
 protected:
  void write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }
  rq47test::TempDir dir_;
  fs::path winsim_ = dir_.path() / "winsim";
  fs::path wine_ = dir_.path() / "wine";
};

TEST_F(DriveComparison, SameFilesAreNoDifference) {
  write(winsim_ / "WINDOWS" / "system.ini", "[386Enh]\r\n");
  write(wine_ / "WINDOWS" / "system.ini", "[386Enh]\r\n");
  EXPECT_TRUE(CompareDrives(winsim_, wine_).empty());
}

TEST_F(DriveComparison, ReportsEachKindOfDifference) {
  write(winsim_ / "WINDOWS" / "system.ini", "device = zelvcd.vxd\r\n");
  write(wine_ / "WINDOWS" / "system.ini", "  \r\n");
  write(winsim_ / "WINDOWS" / "SYSTEM" / "zca.cpl", "applet");
  write(wine_ / "WINDOWS" / "system.new", "left behind");
  write(winsim_ / "WINDOWS" / "Zelvaran" / "zelbak95" / "a", "x");
  write(wine_ / "WINDOWS" / "Zelvaran" / "ZELBAK95" / "a", "x");
  write(winsim_ / "WINDOWS" / "HELP", "a file");
  fs::create_directories(wine_ / "WINDOWS" / "HELP");
  fs::create_directories(wine_ / "WINDOWS" / "SYSTEM");
  std::vector<std::string> found = CompareDrives(winsim_, wine_);
  std::string text = Joined(found);
  EXPECT_EQ(5u, found.size()) << text;
  EXPECT_NE(std::string::npos,
            text.find("C:\\WINDOWS\\system.ini: the contents differ from byte 0"));
  EXPECT_NE(std::string::npos, text.find("C:\\WINDOWS\\SYSTEM\\zca.cpl: there on winsim, missing"));
  EXPECT_NE(std::string::npos,
            text.find("C:\\WINDOWS\\system.new: missing on winsim, there under"));
  EXPECT_NE(std::string::npos, text.find("zelbak95: spelled \"ZELBAK95\" under Wine"));
  EXPECT_NE(std::string::npos,
            text.find("C:\\WINDOWS\\HELP: a file on winsim, a folder under Wine"));
}

}  // namespace
}  // namespace rq47wine
