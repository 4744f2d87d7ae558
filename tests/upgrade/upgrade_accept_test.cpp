// What accepting the upgrade does: the old installation archived and removed,
// its settings kept for the next run, and the reboot request whatever fails.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "machine_changes.h"
#include "upgrade.h"
#include "upgrade_fixture.h"

namespace rq47test {
namespace {

using rq47set::UpgradeResult;

constexpr char kArchiveText[] =
    "The previous version of the RQ47 Modem has been archived to the following\n"
    "directory: windir\\Zelvaran\\zelbak95\\.  Please note the location.  If you\n"
    "experience problems with the new software, follow the instructions in the\n"
    "Readme.doc file to revert back to the old version.";
constexpr char kTempKeyFailedText[] = "Failed to create temp RQ31 Key";
constexpr char kArchiveFailedLead[] =
    "The previous version of the RQ47 Modem could not be archived to the following\n"
    "directory: windir\\Zelvaran\\zelbak95\\.  Nothing of it has been removed.\n\n"
    "This file could not be copied there:\n";
// The message of a failed archive, which names the file that could not be copied.
std::string ArchiveFailedText(const std::string& file) {
  return kArchiveFailedLead + file +
         "\n\nMake sure that directory is a folder with room for the file, that no program\n"
         "uses the file and that no read-only copy of it lies there, then run Setup again.";
}

class UpgradeAcceptTest : public UpgradeTest {
 protected:
  void SetUp() override {
    AddModem("COM4");
    AddInstalledFiles();
    WriteOldSettings(kServiceKeyPath);
  }
  rq47set::UpgradeResult Accept() { return Upgrade({IDYES, IDOK, IDOK, IDOK}); }
  std::string SystemIni() { return machine().readFile("C:\\WINDOWS\\system.ini").value_or(""); }
};

TEST_F(UpgradeAcceptTest, ShowsTheQuestionTheArchiveNoticeAndTheRebootRequest) {
  EXPECT_EQ(Accept(), UpgradeResult::kPrepared);

  const std::vector<winsim::MessageBoxRecord>& boxes = run().messageBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[1].text, kArchiveText);
  EXPECT_EQ(boxes[1].caption, kUpgradeCaption);
  EXPECT_EQ(boxes[1].style, static_cast<uint32_t>(MB_OK));
  EXPECT_EQ(boxes[2].text, kRebootText);
  EXPECT_EQ(boxes[2].caption, kModemCaption);
  EXPECT_EQ(boxes[2].style, static_cast<uint32_t>(MB_OK));
  EXPECT_EQ(run().openHandleCount(), 0u);
}

TEST_F(UpgradeAcceptTest, SavesTheEightSettingsInTheTemporaryKeyAndDeletesTheOldKeys) {
  WriteOldSettings(kVendorKeyPath);

  EXPECT_EQ(Accept(), UpgradeResult::kPrepared);

  // Version is the one written over the old key's when the modem was found.
  EXPECT_EQ(machine().valueBytes(kTempKeyPath, "Version"), Kept("3.02 Build 69"));
  EXPECT_EQ(machine().valueBytes(kTempKeyPath, "Language"), Kept("German"));
  EXPECT_EQ(machine().valueBytes(kTempKeyPath, "Country"), std::string(1, 49));
  EXPECT_EQ(machine().valueBytes(kTempKeyPath, "PNP ID"), Kept(kModemId));
  EXPECT_EQ(machine().valueBytes(kTempKeyPath, "MicGain"), std::string(1, 0x40));
  EXPECT_EQ(machine().valueBytes(kTempKeyPath, "SpkrGain"), std::string(1, 0x60));
  EXPECT_EQ(machine().valueBytes(kTempKeyPath, "DOSboxEnabled"), Kept("TRUE"));
  EXPECT_EQ(machine().valueBytes(kTempKeyPath, "PortName"), Kept("COM4"));
  const winsim::RegKey* tempKey = machine().registry().find(kTempKeyPath);
  ASSERT_NE(tempKey, nullptr);
  EXPECT_EQ(tempKey->values().size(), 8u);  // Operating System is not carried over
  EXPECT_EQ(machine().registry().value(kTempKeyPath, "Language")->type, uint32_t{REG_SZ});
  EXPECT_EQ(machine().registry().value(kTempKeyPath, "Country")->type, uint32_t{REG_BINARY});

  EXPECT_FALSE(machine().keyExists(kServiceKeyPath));
  EXPECT_FALSE(machine().keyExists(kVendorKeyPath));
  EXPECT_TRUE(machine().keyExists(kModemInstancePath));
}

TEST_F(UpgradeAcceptTest, WithoutTheModemTheOldKeysOwnVersionAndPortAreSaved) {
  machine().registry().remove(kModemKeyPath);

  EXPECT_EQ(Accept(), UpgradeResult::kPrepared);

  EXPECT_EQ(machine().valueBytes(kTempKeyPath, "Version"), Kept("3.01 Build 52"));
  EXPECT_EQ(machine().valueBytes(kTempKeyPath, "PortName"), Kept("COM4"));
  EXPECT_FALSE(machine().keyExists(kServiceKeyPath));
}

TEST_F(UpgradeAcceptTest, RemovesTheOldDriversTheDriverLineAndTheInfCopies) {
  for (const char* driver : {"RQ47pci.vxd", "RQ47pci1.vxd", "zelvcd.vxd"}) {
    machine().writeFile(std::string("C:\\WINDOWS\\") + driver, "placed by an older kit");
  }

  EXPECT_EQ(Accept(), UpgradeResult::kPrepared);

  for (const char* driver : {"RQ47pci.vxd", "RQ47pci1.vxd", "zelvcd.vxd"}) {
    EXPECT_FALSE(machine().exists(std::string("C:\\WINDOWS\\SYSTEM\\") + driver)) << driver;
    EXPECT_FALSE(machine().exists(std::string("C:\\WINDOWS\\") + driver)) << driver;
  }
  // The applet, the uninstaller and Windows' own files are not the upgrade's to delete.
  EXPECT_TRUE(machine().exists("C:\\WINDOWS\\SYSTEM\\zca.cpl"));
  EXPECT_TRUE(machine().exists("C:\\WINDOWS\\SYSTEM\\zuninst.exe"));
  EXPECT_TRUE(machine().exists("C:\\WINDOWS\\SYSTEM\\vmm32.vxd"));

  EXPECT_EQ(SystemIni().find("zelvcd"), std::string::npos);
  EXPECT_NE(SystemIni().find("device=*vcd\r\n"), std::string::npos);
  EXPECT_FALSE(machine().exists("C:\\WINDOWS\\system.new"));

  EXPECT_FALSE(machine().exists(std::string(kInfFolderPath) + "\\Zelvaran IncZQRTMODM.inf"));
  EXPECT_FALSE(machine().exists(std::string(kInfFolderPath) + "\\ZelvaranSERWAVE.inf"));
  EXPECT_TRUE(machine().exists(std::string(kInfFolderPath) + "\\OTHER.INF"));
}

TEST_F(UpgradeAcceptTest, ArchivesBeforeDeletingAndSavesBeforeRemovingTheKeys) {
  machine().makeDirectory("C:\\Program Files\\ZelSetup");

  EXPECT_EQ(Accept(), UpgradeResult::kPrepared);

  // The archive holds the files as they were before anything was deleted.
  EXPECT_EQ(machine().readFile(std::string(kBackupFolderPath) + "\\ZQRTMODM.INF"), "modem inf");
  EXPECT_EQ(machine().readFile(std::string(kBackupFolderPath) + "\\SERWAVE.INF"), "wave inf");
  EXPECT_EQ(machine().readFile(std::string(kBackupFolderPath) + "\\zca.cpl"),
            "program folder zca.cpl");
  EXPECT_EQ(machine().readFile(std::string(kBackupFolderPath) + "\\setup.exe"),
            "old kit setup.exe");

  // The order the user and the data depend on: the Yes before any change;
  // every archive copy before the first deletion, and the notice that tells of
  // the archive after it; the saved settings before the old keys go; the
  // reboot asked for only once nothing more changes.
  const std::vector<std::string>& trace = run().trace();
  std::vector<size_t> changes = ChangingCallPositions(trace);
  std::vector<size_t> archiveCopies = CallPositions(trace, "CopyFileA", "zelbak95");
  std::vector<size_t> deletions = CallPositions(trace, "DeleteFileA");
  std::vector<size_t> savedValues = CallPositions(trace, "RegSetValueExA");
  std::vector<size_t> keyDeletions = CallPositions(trace, "RegDeleteKeyA");
  for (const auto* made : {&changes, &archiveCopies, &deletions, &savedValues, &keyDeletions}) {
    ASSERT_FALSE(made->empty());
  }
  size_t notice = FirstCall("MessageBoxA", "archived");
  EXPECT_LT(FirstCall("MessageBoxA", "UPGRADE"), changes.front());
  EXPECT_LT(archiveCopies.back(), notice);
  EXPECT_LT(notice, deletions.front());
  EXPECT_LT(savedValues.back(), keyDeletions.front());
  EXPECT_LT(changes.back(), FirstCall("MessageBoxA", "reboot"));
  EXPECT_EQ(CallsOf("CreateProcessA").size(), 1u);
}

TEST_F(UpgradeAcceptTest, StartsTheOldUninstallerWithoutWaitingAndClosesItsHandles) {
  machine().config().programs["UNINST.EXE"].kind = winsim::ProgramBehaviour::Kind::Runs;

  EXPECT_EQ(Accept(), UpgradeResult::kPrepared);

  ASSERT_EQ(CallsOf("CreateProcessA").size(), 1u);
  EXPECT_NE(CallsOf("CreateProcessA")[0].find(TraceQuoted("UNINST.EXE")), std::string::npos);
  EXPECT_TRUE(CallsOf("WaitForSingleObject").empty());
  EXPECT_EQ(run().openHandleCount(), 0u);
}

TEST_F(UpgradeAcceptTest, AnUnreadableSettingIsLeftOutAndTheOthersAreSaved) {
  machine().registry().find(kServiceKeyPath)->deleteValue("Language");
  machine().setBytes(kServiceKeyPath, "Country", REG_BINARY, std::string("\x31\x00", 2));

  EXPECT_EQ(Accept(), UpgradeResult::kPrepared);

  EXPECT_FALSE(machine().valueBytes(kTempKeyPath, "Language").has_value());
  EXPECT_FALSE(machine().valueBytes(kTempKeyPath, "Country").has_value());
  EXPECT_EQ(machine().valueBytes(kTempKeyPath, "DOSboxEnabled"), Kept("TRUE"));
  EXPECT_EQ(machine().valueBytes(kTempKeyPath, "MicGain"), std::string(1, 0x40));
  EXPECT_FALSE(machine().keyExists(kServiceKeyPath));
}

TEST_F(UpgradeAcceptTest, WhenTheTemporaryKeyCannotBeCreatedTheOldKeysStay) {
  run().addFault({"RegCreateKeyExA", "RQ31", 0, 0});

  EXPECT_EQ(Accept(), UpgradeResult::kPrepared);

  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kQuestionText, kArchiveText, kTempKeyFailedText,
                                                  kRebootText}));
  EXPECT_EQ(run().messageBoxes()[2].caption, kModemCaption);
  EXPECT_FALSE(machine().keyExists(kTempKeyPath));
  EXPECT_EQ(machine().valueBytes(kServiceKeyPath, "Language"), Kept("German"));
  EXPECT_EQ(machine().valueBytes(kServiceKeyPath, "DOSboxEnabled"), Kept("TRUE"));
}

TEST_F(UpgradeAcceptTest, WhenASettingCannotBeSavedTheOldKeysStay) {
  run().addFault({"RegSetValueExA", "Language", 0, 0});

  EXPECT_EQ(Accept(), UpgradeResult::kPrepared);

  EXPECT_EQ(BoxTexts().back(), kRebootText);
  EXPECT_EQ(machine().valueBytes(kServiceKeyPath, "Language"), Kept("German"));
  EXPECT_EQ(machine().valueBytes(kTempKeyPath, "PortName"), Kept("COM4"));
}

// This program's port assignment writes PortName with 20 bytes; the upgrade
// saves it with 10 when the name fits them, and leaves it out when it does not.
TEST_F(UpgradeAcceptTest, APortNameWrittenWithTwentyBytesIsSavedWhenItFitsTen) {
  // The instance's PortName padded to the 20 bytes written, as NT or an offline
  // edit leaves it (Windows 95/98 keep "COM4" and a NUL): it cannot be read
  // into the 10 the upgrade moves, so the old key keeps its own.
  machine().setBytes(kModemInstancePath, "PortName", REG_SZ, Padded("COM4", 20));
  machine().registry().remove(kServiceKeyPath);
  const std::pair<std::string, std::optional<std::string>> kPortNames[] = {
      {"COM3", Kept("COM3")}, {"COM3-modem", std::nullopt}};
  for (const auto& [portName, saved] : kPortNames) {
    SCOPED_TRACE(portName);
    WriteOldSettings(kVendorKeyPath);
    machine().setBytes(kVendorKeyPath, "PortName", REG_SZ, Kept(portName));
    machine().registry().remove(kTempKeyPath);

    EXPECT_EQ(Accept(), UpgradeResult::kPrepared);

    EXPECT_EQ(machine().valueBytes(kTempKeyPath, "PortName"), saved);
    EXPECT_EQ(machine().valueBytes(kTempKeyPath, "Language"), Kept("German"));
    EXPECT_FALSE(machine().keyExists(kVendorKeyPath));
  }
}

// A read the registry fails (unlike a value that is not there) says nothing
// about the setting: the old keys stay, so the setting is not lost.
struct UnreadableSetting {
  const char* name;
  unsigned nth;  // which read of the value fails
  bool modem;
};

class UnreadableSettingTest : public UpgradeAcceptTest,
                              public ::testing::WithParamInterface<UnreadableSetting> {};

TEST_P(UnreadableSettingTest, KeepsTheOldKeys) {
  const UnreadableSetting& setting = GetParam();
  if (!setting.modem) machine().registry().remove(kModemKeyPath);
  WriteOldSettings(kVendorKeyPath);
  run().addFault({"RegQueryValueExA", TraceQuoted(setting.name), setting.nth, ERROR_CANTREAD});

  EXPECT_EQ(Accept(), UpgradeResult::kPrepared);

  EXPECT_EQ(BoxTexts().back(), kRebootText);
  for (const std::string& key : {kServiceKeyPath, kVendorKeyPath}) {
    EXPECT_EQ(machine().valueBytes(key, "Language"), Kept("German"));
    EXPECT_EQ(machine().valueBytes(key, "Country"), std::string(1, 49));
    EXPECT_EQ(machine().valueBytes(key, "PortName"), Kept("COM4"));
  }
  EXPECT_EQ(machine().valueBytes(kTempKeyPath, "DOSboxEnabled"), Kept("TRUE"));
  EXPECT_EQ(run().openHandleCount(), 0u);
}

// With the modem detected, the old key's Version and PortName give way to
// this version and the device's port and are not read again; without it they
// are (Version asked for and read once before the question, asked for again as
// the key is opened again, then read with the others).
INSTANTIATE_TEST_SUITE_P(Values, UnreadableSettingTest,
                         ::testing::Values(UnreadableSetting{"Version", 4, false},
                                           UnreadableSetting{"Language", 1, true},
                                           UnreadableSetting{"Country", 1, true},
                                           UnreadableSetting{"PNP ID", 1, true},
                                           UnreadableSetting{"PortName", 1, false}),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
                           return name;
                         });

// Where the upgrade keeps each file it deletes, below the backup folder.
const std::pair<std::string, std::string> kDeletedFiles[] = {
    {"C:\\WINDOWS\\SYSTEM\\RQ47pci.vxd", "System\\RQ47pci.vxd"},
    {"C:\\WINDOWS\\SYSTEM\\RQ47pci1.vxd", "System\\RQ47pci1.vxd"},
    {"C:\\WINDOWS\\SYSTEM\\zelvcd.vxd", "System\\zelvcd.vxd"},
    {"C:\\WINDOWS\\RQ47pci.vxd", "Windows\\RQ47pci.vxd"},
    {"C:\\WINDOWS\\zelvcd.vxd", "Windows\\zelvcd.vxd"},
    {std::string(kInfFolderPath) + "\\Zelvaran IncZQRTMODM.inf", "INF\\Zelvaran IncZQRTMODM.inf"},
    {std::string(kInfFolderPath) + "\\ZelvaranSERWAVE.inf", "INF\\ZelvaranSERWAVE.inf"},
};

// Machines on which the archive's documented copies do not hold what the
// upgrade deletes.
enum class ArchiveSources { kNewPackageOnly, kNoKitFolder, kOtherInfFirst };

class DeletedFilesTest : public UpgradeAcceptTest,
                         public ::testing::WithParamInterface<ArchiveSources> {
 protected:
  void SetUp() override {
    UpgradeAcceptTest::SetUp();
    machine().writeFile("C:\\WINDOWS\\RQ47pci.vxd", "placed by an older kit");
    machine().writeFile("C:\\WINDOWS\\zelvcd.vxd", "placed by an older kit too");
    if (GetParam() == ArchiveSources::kNoKitFolder) {
      std::filesystem::remove_all(machine().hostPath(kKitFolderPath));
    }
    // Named first, this INF bears the short name ZELVAR~1.INF.
    if (GetParam() == ArchiveSources::kOtherInfFirst) {
      machine().writeFile(std::string(kInfFolderPath) + "\\Zelvar Modem.inf", "other maker");
    }
  }
  std::string Backup(const std::string& name) {
    return machine().readFile(std::string(kBackupFolderPath) + "\\" + name).value_or("(none)");
  }
};

// Whatever the kit and program folders hold, every file the upgrade deletes
// is in the backup folder byte for byte; the documented copies hold what
// they always held.
TEST_P(DeletedFilesTest, AreInTheBackupFolderAsTheyWere) {
  std::map<std::string, std::string> before;
  for (const auto& [file, kept] : kDeletedFiles) before[file] = machine().readFile(file).value();

  EXPECT_EQ(Accept(), UpgradeResult::kPrepared);

  for (const auto& [file, kept] : kDeletedFiles) {
    EXPECT_FALSE(machine().exists(file)) << file;
    EXPECT_EQ(Backup(kept), before[file]) << file;
  }
  EXPECT_EQ(Backup("zelvcd.vxd"),
            machine().readFile(std::string(kProgramFolderPath) + "\\zelvcd.vxd"));
  EXPECT_EQ(Backup("ZQRTMODM.INF"),
            GetParam() == ArchiveSources::kOtherInfFirst ? "other maker" : "modem inf");
  EXPECT_TRUE(machine().exists(std::string(kInfFolderPath) + "\\Zelvar Modem.inf") ||
              GetParam() != ArchiveSources::kOtherInfFirst);
}

INSTANTIATE_TEST_SUITE_P(Machines, DeletedFilesTest,
                         ::testing::Values(ArchiveSources::kNewPackageOnly,
                                           ArchiveSources::kNoKitFolder,
                                           ArchiveSources::kOtherInfFirst));

// A file to be deleted that cannot be copied into the backup folder stops
// the upgrade before anything is deleted, as a failed archive does.
// Its message names the file. Each case: the copy in the backup folder, and
// the file it is made of.
class UnkeptFileTest : public UpgradeAcceptTest,
                       public ::testing::WithParamInterface<std::pair<std::string, std::string>> {};

TEST_P(UnkeptFileTest, StopsTheUpgradeBeforeAnythingIsDeleted) {
  run().addFault({"CopyFileA",
                  TraceQuoted(std::string(kBackupFolderPath) + "\\" + GetParam().first), 0,
                  ERROR_DISK_FULL});
  MachineSnapshot before = Snapshot(machine());

  EXPECT_EQ(Accept(), UpgradeResult::kArchiveFailed);

  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{kQuestionText, ArchiveFailedText(GetParam().second)}));
  EXPECT_TRUE(ChangedOnly(before, machine(), {kBackupFolderPath}));
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnkeptFileTest,
    ::testing::Values(std::make_pair("System\\RQ47pci.vxd", "C:\\WINDOWS\\SYSTEM\\RQ47pci.vxd"),
                      std::make_pair("System\\zelvcd.vxd", "C:\\WINDOWS\\SYSTEM\\zelvcd.vxd"),
                      std::make_pair("INF\\ZelvaranSERWAVE.inf",
                                     "C:\\WINDOWS\\INF\\Other\\ZelvaranSERWAVE.inf"),
                      std::make_pair("zca.cpl", "C:\\WINDOWS\\Zelvaran\\ZelSet95\\zca.cpl")));

// With every file and registry step failing, no archive can be made: the
// upgrade stops there, and the previous version stays whole.
TEST_F(UpgradeAcceptTest, EveryFileAndRegistryStepFailingStopsBeforeAnythingIsRemoved) {
  StartSetupRun();
  MachineSnapshot before = Snapshot(machine());
  for (const char* function :
       {"CreateProcessA", "GetWindowsDirectoryA", "GetSystemDirectoryA", "CreateDirectoryA",
        "SetCurrentDirectoryA", "CopyFileA", "DeleteFileA", "RegCreateKeyExA", "RegDeleteKeyA",
        "RegSetValueExA"}) {
    run().addFault({function, "", 0, 0});
  }

  run().setAnswers({IDYES, IDOK});
  EXPECT_EQ(rq47set::UpgradePreviousInstallation(context()),
            rq47set::UpgradeResult::kArchiveFailed);

  ASSERT_EQ(BoxTexts().size(), 2u);
  EXPECT_EQ(BoxTexts()[1].rfind(kArchiveFailedLead, 0), 0u);
  EXPECT_EQ(run().messageBoxes()[1].caption, kUpgradeCaption);
  EXPECT_TRUE(Unchanged(before, machine()));
}

}  // namespace
}  // namespace rq47test
