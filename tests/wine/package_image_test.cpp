// The package the win32 build makes, read back as a user gets it: the ZIP and
// the floppy image each hold exactly the build's programs and text, byte for
// byte, and the image is a 1.44 MB FAT12 floppy with a volume label.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <set>

#include "shipped_files.h"
#include "test_machine.h"

namespace fs = std::filesystem;

namespace rq47wine {
namespace {

using rq47test::ReadWhole;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

class ShippedPackage : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const fs::path& made : {PackageZip(), FloppyImage()}) {
      if (!fs::is_regular_file(made)) {
        GTEST_SKIP() << made.string() << " is not made: cmake --build --preset win32 --target "
                     << "package makes it (or name the win32 build folder in RQ47_WIN32_DIR)";
      }
    }
    if (!FindMcopy()) GTEST_SKIP() << "mcopy is not installed (Debian package mtools)";
    work_ = fs::temp_directory_path() / ("rq47-package-" + std::to_string(::getpid()));
    fs::remove_all(work_);
  }
  void TearDown() override {
    std::error_code ignored;
    if (!work_.empty()) fs::remove_all(work_, ignored);
  }

  // Each file unpacked into the folder is the build's file of that name (the
  // case of a name aside: the floppy keeps short names), and every file of the
  // build is there.
  static void ExpectTheBuildsFiles(const fs::path& unpacked) {
    std::map<std::string, fs::path> expected = PackagedBuildFiles();
    std::set<std::string> seen;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(unpacked)) {
      std::string name = fs::relative(entry.path(), unpacked).generic_string();
      auto build = std::find_if(expected.begin(), expected.end(),
                                [&](const auto& file) { return Lower(file.first) == Lower(name); });
      if (build == expected.end()) {
        ADD_FAILURE() << name << " is in the package, but is not one of the build's files";
        continue;
      }
      seen.insert(build->first);
      EXPECT_TRUE(ReadWhole(entry.path()) == ReadWhole(build->second))
          << name << " in the package differs from " << build->second.string();
    }
    for (const auto& [name, file] : expected) {
      EXPECT_EQ(1u, seen.count(name)) << name << " is missing from the package";
    }
  }

  fs::path work_;
};

TEST_F(ShippedPackage, ZipHoldsTheBuildsFiles) {
  UnpackZip(PackageZip(), work_ / "zip");
  ExpectTheBuildsFiles(work_ / "zip");
}

TEST_F(ShippedPackage, FloppyImageHoldsTheBuildsFiles) {
  UnpackFloppy(FloppyImage(), work_ / "floppy");
  ExpectTheBuildsFiles(work_ / "floppy");
}

TEST_F(ShippedPackage, FloppyImageIsAHighDensityFat12FloppyWithALabel) {
  std::string image = ReadWhole(FloppyImage());
  ASSERT_EQ(1474560u, image.size());
  auto word = [&](size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(image[at]) |
                                 static_cast<unsigned char>(image[at + 1]) << 8);
  };
  EXPECT_EQ(512u, word(11)) << "bytes per sector";
  EXPECT_EQ(2880u, word(19)) << "sectors";
  EXPECT_EQ(0xf0, static_cast<unsigned char>(image[21])) << "media descriptor";
  EXPECT_EQ(18u, word(24)) << "sectors per track";
  EXPECT_EQ(2u, word(26)) << "heads";
  EXPECT_EQ(0x29, image[38]) << "extended boot signature, which the label and serial need";
  EXPECT_EQ("RQ47 SETUP ", image.substr(43, 11));
  EXPECT_EQ("FAT12   ", image.substr(54, 8));
  // Windows shows the label of the root folder's volume entry.
  size_t root = (1 + 2 * 9) * 512;
  std::string label;
  for (size_t entry = root; entry < root + 224 * 32 && image[entry] != 0; entry += 32) {
    if ((image[entry + 11] & 0x1f) == 0x08) label = image.substr(entry, 11);
  }
  EXPECT_EQ("RQ47 SETUP ", label) << "the root folder's volume label entry";
  EXPECT_EQ(0x55, static_cast<unsigned char>(image[510]));
  EXPECT_EQ(0xaa, static_cast<unsigned char>(image[511]));
}

}  // namespace
}  // namespace rq47wine
