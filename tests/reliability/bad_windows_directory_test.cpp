// Whole runs on machines whose Windows directory is 19, 20, 39, 40, 200 and
// 259 characters long: around the sizes the install paths were once held in,
// and up to the longest path the platform has.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "bad_input_machine.h"
#include "user_settings.h"

namespace rq47test {
namespace {

const std::string kUninstallEntry =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RQ31DFV";
const char* const kVendorValues[] = {"Version",  "Operating System", "PNP ID",
                                     "Language", "Country",          "MicGain",
                                     "SpkrGain", "DOSboxEnabled",    "PortName"};

// "C:\W98\Dxxxx\Dxxxx..." of exactly `length` characters, no name longer than 61.
std::string DirectoryOfLength(size_t length) {
  std::string directory = "C:\\W98";
  while (directory.size() < length) directory += "\\D" + std::string(60, 'x');
  directory.resize(length);
  if (directory.back() == '\\') directory.back() = 'Z';
  return directory;
}

class LongWindowsDirectory : public ::testing::TestWithParam<size_t> {
 protected:
  void SetUp() override {
    windows_ = DirectoryOfLength(GetParam());
    ASSERT_EQ(windows_.size(), GetParam());
    // A System directory below it while that fits the platform's paths.
    system_ = windows_.size() + 7 < MAX_PATH ? windows_ + "\\SYSTEM" : "C:\\WINSYS";
    m_ = Windows98With(windows_, system_);
  }

  // While the program folder's path fits in 260 bytes (a Windows directory of
  // up to 241 characters), the installation is complete and the uninstaller
  // removes what it placed.
  void ExpectCompleteInstallation() {
    EXPECT_EQ(RunSetupOn(*m_), 0);
    EXPECT_TRUE(ShowedSuccess(*m_));
    ExpectVendorKeyComplete();
    for (const std::string& file : PlacedFiles(windows_, system_)) {
      EXPECT_TRUE(m_->exists(file)) << file;
    }
    EXPECT_TRUE(m_->keyExists(kUninstallEntry)) << "the package's registry file was not imported";

    EXPECT_EQ(RunUninstallOn(*m_), 1);
    for (const std::string& file : PlacedFiles(windows_, system_)) {
      EXPECT_FALSE(m_->exists(file)) << file;
    }
    EXPECT_FALSE(m_->keyExists(kUninstallEntry));
    EXPECT_TRUE(m_->keyExists(kVendorKey));
  }

  // Beyond that there is no room for the program folder: every registry step
  // is done, nothing can be placed, the registry file is not imported, and
  // the run ends with exit code 4 after the message that the registry keys
  // could not be set. The uninstaller still cleans the registry and ends with 1.
  void ExpectCode4() {
    EXPECT_EQ(RunSetupOn(*m_), 4);
    ASSERT_FALSE(BoxTexts(*m_).empty());
    EXPECT_EQ(BoxTexts(*m_).back(), kRegistryKeysFailed);
    ExpectVendorKeyComplete();
    EXPECT_FALSE(m_->keyExists(kUninstallEntry));
    EXPECT_EQ(RunUninstallOn(*m_), 1);
    EXPECT_FALSE(m_->keyExists(kModemKey));
  }

  void ExpectVendorKeyComplete() {
    for (const char* name : kVendorValues) {
      EXPECT_TRUE(m_->valueBytes(kVendorKey, name).has_value()) << name;
    }
  }

  std::string windows_;
  std::string system_;
  std::unique_ptr<TestMachine> m_;
};

TEST_P(LongWindowsDirectory, RunsEndAsDocumented) {
  if (windows_.size() + sizeof "\\Zelvaran\\ZelSet95" - 1 < MAX_PATH) {
    ExpectCompleteInstallation();
  } else {
    ExpectCode4();
  }
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongWindowsDirectory,
                         ::testing::Values(19u, 20u, 39u, 40u, 200u, 259u), [](const auto& info) {
                           return std::to_string(info.param) + "Characters";
                         });

}  // namespace
}  // namespace rq47test
