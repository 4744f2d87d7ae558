#include "main_sequence.h"

#include <gtest/gtest.h>

#include <string>

#include "machine_changes.h"
#include "setup_end.h"
#include "setup_machine.h"
#include "trace_lines.h"

namespace {

using rq47test::StoredValue;
using rq47test::StoredValues;
using setuptest::kCaption;
using setuptest::Kept;
using setuptest::kModemId;
using setuptest::kPciKeyPath;
using setuptest::kTempKeyPath;
using setuptest::kVendorKeyPath;
using setuptest::MakeMachine;
using setuptest::Padded;

// Calls of the run's trace to one function whose line holds the text.
std::vector<std::string> Calls(rq47test::TestMachine& machine, std::string_view function,
                               std::string_view with = {}) {
  return rq47test::CallsOf(machine.run().trace(), function, with);
}

constexpr char kHardwareNotFound[] =
    "The Modem Hardware is either not physically installed\r"
    "in your PC, or auto-detection has not detected it. Make sure\r"
    "the Modem Hardware is physically installed, then, either re-boot\r"
    "your machine, or go to the Start Menu, select Settings, and open\r"
    "the Control Panel. Open the Device Manager and click on Refresh.";
constexpr char kInstalled[] =
    "You have successfully installed the RQ47 Modem.\r\r"
    "Please see the Readme.doc and Revhist.doc files for\r"
    "new features, bug fixes, and troubleshooting guide.\r\r"
    "The Modem is now ready for use.";
constexpr char kRegistryKeysFailed[] = "Failed to set the modem's registry keys.";

// The run's only message box, in the setup's caption with an OK button.
void ExpectOnlyBox(rq47test::TestMachine& machine, const std::string& text) {
  const auto& boxes = machine.run().messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, text);
  EXPECT_EQ(boxes[0].caption, kCaption);
  EXPECT_EQ(boxes[0].style, static_cast<uint32_t>(MB_OK));
}

TEST(MainSequence, WithoutTheModemTheHardwareMessageEndsTheRunAndNothingIsWritten) {
  auto machine = MakeMachine({}, "");
  rq47test::MachineSnapshot before = rq47test::Snapshot(*machine);
  EXPECT_EQ(rq47set::RunSetup(), 0);
  ExpectOnlyBox(*machine, kHardwareNotFound);
  EXPECT_TRUE(rq47test::Unchanged(before, *machine));
}

// The package is looked at only once the modem is known to be there: the
// detection changes nothing, and the hardware message comes first.
TEST(MainSequence, WithoutTheModemAndThePackageTheHardwareMessageComesFirst) {
  auto machine = MakeMachine({}, "");
  for (const char* name : rq47test::kPackageFiles) {
    machine->removeFile(std::string("C:\\WINDOWS\\Zelvaran\\ZelSet95\\") + name);
  }
  EXPECT_EQ(rq47set::RunSetup(), 0);
  ExpectOnlyBox(*machine, kHardwareNotFound);
}

// Before its first change the run makes sure the package is whole: the first
// file missing from the program folder is named with the folder, and nothing
// is changed.
TEST(MainSequence, AFileMissingFromThePackageIsNamedAndNothingIsChanged) {
  for (const char* missing : rq47test::kPackageFiles) {
    SCOPED_TRACE(missing);
    auto machine = MakeMachine();
    machine->removeFile(std::string("C:\\WINDOWS\\Zelvaran\\ZelSet95\\") + missing);
    machine->removeFile("C:\\WINDOWS\\Zelvaran\\ZelSet95\\rq47.reg");  // named only when first
    rq47test::MachineSnapshot before = rq47test::Snapshot(*machine);

    EXPECT_EQ(rq47set::RunSetup(), 102);

    ExpectOnlyBox(*machine, std::string("The installation kit is not complete: the file ") +
                                missing +
                                " is missing from the folder\rC:\\WINDOWS\\Zelvaran\\ZelSet95\r\r"
                                "Copy the whole installation kit into that folder, then run Setup "
                                "again.\rNothing has been installed or changed.");
    EXPECT_TRUE(rq47test::Unchanged(before, *machine));
  }
}

TEST(MainSequence, AVendorKeyThatCannotBeCreatedEndsTheRunWithItsMessage) {
  auto machine = MakeMachine();
  machine->run().addFault({"RegCreateKeyExA", "RQ31DFV", 0, ERROR_ACCESS_DENIED});
  EXPECT_EQ(rq47set::RunSetup(), 0);
  ExpectOnlyBox(*machine, "Failed to create VENDOR_KEY");
  EXPECT_TRUE(Calls(*machine, "RegSetValueExA").empty());
  EXPECT_TRUE(Calls(*machine, "GetVersionExA").empty());
}

TEST(MainSequence, AFailedRequirementEndsWith100AndLeavesTheVendorKeyWithVersion) {
  winsim::MachineConfig config;
  config.processorType = 486;
  auto machine = MakeMachine(config);
  EXPECT_EQ(rq47set::RunSetup(), 100);
  ExpectOnlyBox(*machine, "486 Processor found. Wrong Processor! Setup will now abort");
  EXPECT_EQ(machine->valueBytes(kVendorKeyPath, "Version"), Kept("3.02 Build 69"));
  EXPECT_EQ(machine->valueBytes(kVendorKeyPath, "Operating System"), Kept("Windows98"));
  EXPECT_FALSE(machine->valueBytes(kVendorKeyPath, "Language").has_value());
  EXPECT_FALSE(machine->valueBytes(kVendorKeyPath, "PortName").has_value());
  EXPECT_EQ(machine->run().openHandleCount(), 0u);
}

TEST(MainSequence, OnWindowsNtOnlyVersionIsLeftBehind) {
  winsim::MachineConfig config;
  config.platform = 2;
  config.minorVersion = 0;
  auto machine = MakeMachine(config);
  EXPECT_EQ(rq47set::RunSetup(), 100);
  ExpectOnlyBox(*machine, "OS is Windows NT. Setup will now abort");
  // NT keeps every byte of the count.
  EXPECT_EQ(machine->valueBytes(kVendorKeyPath, "Version"), Padded("3.02 Build 69", 20));
  EXPECT_FALSE(machine->valueBytes(kVendorKeyPath, "Operating System").has_value());
}

TEST(MainSequence, ASuccessfulRunInstallsAndShowsTheSuccessText) {
  auto machine = MakeMachine();
  EXPECT_EQ(rq47set::RunSetup(), 0);
  ExpectOnlyBox(*machine, kInstalled);
  // The values in the order the vendor key has always held them.
  std::vector<StoredValue> expected = setuptest::FreshVendorValues(kModemId);
  expected.push_back(rq47test::KeptText("PortName", "COM2"));
  EXPECT_EQ(StoredValues(machine->registry(), kVendorKeyPath), expected);
  EXPECT_EQ(Calls(*machine, "CreateProcessA", "regedit /si").size(), 1u);
  EXPECT_EQ(Calls(*machine, "CreateProcessA", "Zelvaran\\\\ZelSet95\\\\rq47.reg").size(), 1u);
  EXPECT_EQ(machine->run().openHandleCount(), 0u);
}

// Every function of the modem answers on the chosen port, not only the first.
TEST(MainSequence, EveryInstanceOfTheModemGetsThePort) {
  auto machine = MakeMachine();
  const std::string second = kPciKeyPath + "\\" + kModemId + "\\BUS_00&DEV_0B&FUNC_01";
  machine->setString(second, "Class", "Modem");
  EXPECT_EQ(rq47set::RunSetup(), 0);
  EXPECT_EQ(machine->valueBytes(second, "PortName"), Kept("COM2"));
}

TEST(MainSequence, ASecondRunKeepsEverySetting) {
  auto machine = MakeMachine();
  ASSERT_EQ(rq47set::RunSetup(), 0);
  machine->setBytes(kVendorKeyPath, "MicGain", REG_BINARY, std::string(1, '\x21'));
  machine->reload();
  machine->run();
  const winsim::RegKey* before = machine->registry().find(kVendorKeyPath);
  ASSERT_NE(before, nullptr);
  std::vector<winsim::RegValue> installed = before->values();

  EXPECT_EQ(rq47set::RunSetup(), 0);
  ExpectOnlyBox(*machine, kInstalled);
  const winsim::RegKey* after = machine->registry().find(kVendorKeyPath);
  ASSERT_NE(after, nullptr);
  ASSERT_EQ(after->values().size(), installed.size());
  for (size_t i = 0; i < installed.size(); ++i) {
    EXPECT_EQ(after->values()[i].name, installed[i].name);
    EXPECT_EQ(after->values()[i].data, installed[i].data) << installed[i].name;
  }
}

TEST(MainSequence, AProgramFolderPathThatDoesNotFitEndsWithCode4AfterTheSettings) {
  winsim::MachineConfig config;
  config.windowsDirectory = "C:\\" + std::string(120, 'W') + "\\" + std::string(125, 'X');
  auto machine = MakeMachine(config);
  EXPECT_EQ(rq47set::RunSetup(), 4);
  ExpectOnlyBox(*machine, kRegistryKeysFailed);
  EXPECT_EQ(machine->valueBytes(kVendorKeyPath, "Language"), Kept("Domestic English"));
  EXPECT_TRUE(Calls(*machine, "CreateProcessA", "regedit").empty());
}

TEST(MainSequence, ARegistryImportThatCannotStartEndsWithTheRunnersCode) {
  auto machine = MakeMachine();
  machine->run().addFault({"CreateProcessA", "regedit", 0, ERROR_FILE_NOT_FOUND});
  EXPECT_EQ(rq47set::RunSetup(), -1);
  ExpectOnlyBox(*machine, kRegistryKeysFailed);
  EXPECT_EQ(machine->valueBytes(kVendorKeyPath, "Language"), Kept("Domestic English"));
  EXPECT_EQ(machine->run().openHandleCount(), 0u);
}

TEST(MainSequence, AnUpgradeThatEndsTheRunLeavesTheRestUndone) {
  auto machine = MakeMachine({}, "");
  machine->setBytes(kVendorKeyPath, "Version", REG_SZ, Kept("3.01 Build 52"));
  machine->run().setAnswers({IDNO});
  EXPECT_EQ(rq47set::RunSetup(), 0);
  ASSERT_EQ(machine->run().messageBoxes().size(), 1u);
  EXPECT_EQ(machine->run().messageBoxes()[0].style, static_cast<uint32_t>(MB_YESNO));
  EXPECT_TRUE(Calls(*machine, "RegCreateKeyExA").empty());
  EXPECT_TRUE(Calls(*machine, "GetVersionExA").empty());
  EXPECT_EQ(machine->valueBytes(kVendorKeyPath, "Version"), Kept("3.01 Build 52"));
  EXPECT_FALSE(machine->valueBytes(kVendorKeyPath, "Operating System").has_value());
}

TEST(MainSequence, SettingsSavedByAnUpgradeAreTakenOverByTheNextInstallation) {
  auto machine = MakeMachine();
  machine->setBytes(kTempKeyPath, "Language", REG_SZ, Kept("German"));
  machine->setBytes(kTempKeyPath, "PortName", REG_SZ, Kept("COM4"));
  machine->setBytes(kTempKeyPath, "DOSboxEnabled", REG_SZ, Kept("TRUE"));
  EXPECT_EQ(rq47set::RunSetup(), 0);
  ExpectOnlyBox(*machine, kInstalled);
  EXPECT_EQ(machine->valueBytes(kVendorKeyPath, "Language"), Kept("German"));
  EXPECT_EQ(machine->valueText(kVendorKeyPath, "PortName"), "COM4");
  EXPECT_FALSE(machine->keyExists(kTempKeyPath));
  EXPECT_NE(
      machine->readFile(setuptest::kSystemIniPath)->find("device=*vcd\r\ndevice = zelvcd.vxd\r\n"),
      std::string::npos);
}

TEST(MainSequence, TheShippedWindows98MachineInstalls) {
  auto machine = rq47test::TestMachine::CopyOf("win98se");
  machine->run();
  EXPECT_EQ(rq47set::RunSetup(), 0);
  ExpectOnlyBox(*machine, kInstalled);
  // Windows 98 keeps the text and one NUL of each 20-byte write: 14 and 10 bytes.
  EXPECT_EQ(machine->valueBytes(kVendorKeyPath, "Version"), Kept("3.02 Build 69"));
  EXPECT_EQ(machine->valueBytes(kVendorKeyPath, "Operating System"), Kept("Windows98"));
  std::optional<std::string> pnpId = machine->valueText(kVendorKeyPath, "PNP ID");
  ASSERT_TRUE(pnpId.has_value());
  EXPECT_TRUE(machine->keyExists(kPciKeyPath + "\\" + *pnpId));
}

// A file that cannot be placed is named, the run ends with 103 and no
// success, and the next run, once the file can be copied, finishes.
TEST(MainSequence, AFileThatCannotBePlacedIsNamedAndTheNextRunFinishes) {
  auto machine = MakeMachine();
  machine->run().addFault({"CopyFileA", "SYSTEM\\\\zca.cpl", 0, ERROR_ACCESS_DENIED});
  EXPECT_EQ(rq47set::RunSetup(), 103);
  ExpectOnlyBox(*machine,
                "The file zca.cpl could not be copied into the folder\rC:\\WINDOWS\\SYSTEM\r\r"
                "Make sure that folder is there, has room for the file and that no program uses "
                "the\rfile, then run Setup again. The installation is not finished.");
  EXPECT_FALSE(machine->exists("C:\\WINDOWS\\SYSTEM\\zca.cpl"));
  EXPECT_TRUE(machine->exists("C:\\WINDOWS\\SYSTEM\\zuninst.exe"));
  EXPECT_EQ(machine->valueText(kVendorKeyPath, "Language"), "Domestic English");
  EXPECT_TRUE(Calls(*machine, "CreateProcessA", "regedit").empty());

  machine->reload();
  machine->newRun();
  EXPECT_EQ(rq47set::RunSetup(), 0);
  ExpectOnlyBox(*machine, kInstalled);
  EXPECT_TRUE(machine->exists("C:\\WINDOWS\\SYSTEM\\zca.cpl"));
  EXPECT_EQ(machine->valueText(kVendorKeyPath, "PortName"), "COM2");
}

// An installation cut short right after making the vendor key leaves it
// empty: that is no earlier version, and the next run installs.
TEST(MainSequence, AnEmptyVendorKeyIsNoEarlierVersion) {
  auto machine = MakeMachine();
  machine->createKey(kVendorKeyPath);
  EXPECT_EQ(rq47set::RunSetup(), 0);
  ExpectOnlyBox(*machine, kInstalled);
  EXPECT_EQ(machine->valueText(kVendorKeyPath, "Language"), "Domestic English");
  EXPECT_FALSE(machine->exists("C:\\WINDOWS\\Zelvaran\\zelbak95"));
}

// A vendor key with a setting of an earlier installation but no Version is one.
TEST(MainSequence, AVendorKeyWithSettingsButNoVersionIsAnEarlierVersion) {
  auto earlier = MakeMachine();
  earlier->setBytes(kVendorKeyPath, "Language", REG_SZ, Padded("German", 22));
  earlier->run().setAnswers({IDNO});
  EXPECT_EQ(rq47set::RunSetup(), 0);
  ASSERT_EQ(earlier->run().messageBoxes().size(), 1u);
  EXPECT_EQ(earlier->run().messageBoxes()[0].style, static_cast<uint32_t>(MB_YESNO));
}

// The ends that no other test reaches, each run to its end: the exit code
// says which step stopped the run, and the success message is not shown.
TEST(MainSequence, EachFailedStepEndsWithItsExitCode) {
  struct End {
    const char* what;
    std::string windowsDirectory;
    winsim::FaultRule fault;
    int exitCode;
  };
  const std::string tooLong = "C:\\" + std::string(130, 'W') + "\\" + std::string(130, 'X');
  const End kEnds[] = {
      {"a Windows directory longer than its buffer", tooLong, {}, 2},
      {"no Windows directory", "", {"GetWindowsDirectoryA", "", 0, 0}, 3},
      {"an import whose exit code cannot be read", "", {"GetExitCodeProcess", "", 0, 0}, -2},
      {"an import that does not end", "", {"WaitForSingleObject", "", 0, 0}, -3},
  };
  for (const End& end : kEnds) {
    SCOPED_TRACE(end.what);
    winsim::MachineConfig config;
    if (!end.windowsDirectory.empty()) config.windowsDirectory = end.windowsDirectory;
    auto machine = MakeMachine(config);
    if (!end.fault.function.empty()) machine->run().addFault(end.fault);
    EXPECT_EQ(rq47set::RunSetup(), end.exitCode);
    ExpectOnlyBox(*machine, kRegistryKeysFailed);
  }
  // No run of the program reaches it: the program folder's buffer is always given.
  EXPECT_EQ(rq47set::SetupEnd(rq47set::ProgramFolderPath::kNoDestination).exitCode(), 1);
}

}  // namespace
