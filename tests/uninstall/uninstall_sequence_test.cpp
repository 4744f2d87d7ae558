// Whole runs of the uninstaller on a machine with the modem installed.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "installed_modem.h"
#include "uninstall_sequence.h"

namespace rq47test {
namespace {

constexpr char kConfirmation[] =
    "If you want to remove the Zelvaran RQ47 Modem from your system, Click Yes.  If you are "
    "intending to Upgrade the RQ47 Modem with new software drivers, Click No and simply run "
    "Setup.exe from within the new installation kit.";
constexpr char kFinished[] =
    "Software uninstall is finished.  To complete uninstallation, you must remove the hardware "
    "from the computer. ";
constexpr char kControlPanelMessage[] =
    "Unable to delete Control Panel entry\r\n\r\nPlease close the Control Panel and continue";

std::vector<std::string> BoxTexts(winsim::Run& run) {
  std::vector<std::string> texts;
  for (const winsim::MessageBoxRecord& box : run.messageBoxes()) {
    EXPECT_EQ(box.caption, "Zelvaran RQ47 Modem");
    texts.push_back(box.text);
  }
  return texts;
}

class UninstallSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallModem(m);
    m.run();
  }
  TestMachine m;
};

TEST_F(UninstallSequence, NoChangesNothing) {
  // Declining, and taking the default button, which is No.
  for (std::vector<int> answers : {std::vector<int>{IDNO}, std::vector<int>{}}) {
    MachineSnapshot before = Snapshot(m);
    winsim::Run& run = m.newRun();
    run.setAnswers(answers);
    EXPECT_EQ(zuninst::RunUninstall(), 0);
    ASSERT_EQ(run.messageBoxes().size(), 1u);
    EXPECT_EQ(run.messageBoxes()[0].text, kConfirmation);
    EXPECT_EQ(run.messageBoxes()[0].style, static_cast<uint32_t>(MB_YESNO | MB_DEFBUTTON2));
    EXPECT_EQ(run.messageBoxes()[0].result, IDNO);
    EXPECT_TRUE(Unchanged(before, m));
  }
}

TEST_F(UninstallSequence, ConfirmationThatCannotBeShownChangesNothing) {
  MachineSnapshot before = Snapshot(m);
  m.run().addFault({"MessageBoxA", "", 1, ERROR_NOT_ENOUGH_MEMORY});
  EXPECT_EQ(zuninst::RunUninstall(), 0);
  EXPECT_TRUE(Unchanged(before, m));
}

TEST_F(UninstallSequence, YesRemovesTheModemAndKeepsItsSettings) {
  AddWaveInstance(m, kWaveKeys[4], "0001", 8);
  m.run().setAnswers({IDYES, IDOK});
  EXPECT_EQ(zuninst::RunUninstall(), IDOK);

  EXPECT_EQ(BoxTexts(m.run()), (std::vector<std::string>{kConfirmation, kFinished}));
  EXPECT_EQ(m.run().messageBoxes()[1].style, static_cast<uint32_t>(MB_OK));
  for (const std::string& key : {kModemDevice, kModemSoftware, kMediaResourceKeyPath,
                                 kUninstallEntryKeyPath, WaveSoftware(7), WaveSoftware(8)}) {
    EXPECT_FALSE(m.keyExists(key)) << key;
  }
  for (const std::string& key : kWaveKeys) EXPECT_FALSE(m.keyExists(key)) << key;
  for (const std::string& file : kPlacedFiles) EXPECT_FALSE(m.exists(file)) << file;
  EXPECT_EQ(m.readFile(kSystemIniPath), kSystemIniRemoved);
  EXPECT_FALSE(m.exists("C:\\WINDOWS\\system.new"));

  // Settings, other devices and the program folder stay.
  EXPECT_EQ(m.valueText(kVendorKeyPath, "Version"), "3.02 Build 69");
  EXPECT_EQ(m.valueBytes(kVendorKeyPath, "PNP ID"), PnpIdBytes(kModemId));
  EXPECT_EQ(m.valueText(kVendorKeyPath, "Language"), "English");
  EXPECT_EQ(m.valueText(kVendorKeyPath, "PortName"), "COM2");
  EXPECT_TRUE(m.keyExists(kTempKeyPath));
  for (const std::string& key :
       {kOtherDevice, kOtherSoftware, kOtherDeviceSoftware, kOtherWave + "\\0000",
        kOtherMediaResource, kOtherUninstallEntry}) {
    EXPECT_TRUE(m.keyExists(key)) << key;
  }
  EXPECT_TRUE(m.exists(std::string(kProgramFolderPath) + "\\zca.cpl"));
  EXPECT_TRUE(m.exists(std::string(kProgramFolderPath) + "\\rq47.reg"));
  EXPECT_EQ(m.run().openHandleCount(), 0u);
}

// The user sees what is about to happen before anything changes, and hears
// that it is finished only once nothing more will change.
TEST_F(UninstallSequence, NothingChangesBeforeTheYesOrAfterTheClosingBox) {
  m.run().setAnswers({IDYES, IDOK});
  zuninst::RunUninstall();
  const std::vector<std::string>& trace = m.run().trace();
  std::vector<size_t> changes = ChangingCallPositions(trace);
  ASSERT_FALSE(changes.empty());
  EXPECT_LT(FirstCall(trace, "MessageBoxA", "Click Yes"), changes.front());
  EXPECT_LT(changes.back(), FirstCall(trace, "MessageBoxA", "finished"));
}

TEST_F(UninstallSequence, FailingStepsDoNotStopTheRest) {
  m.registry().remove(kVendorKeyPath);
  m.removeFile(kSystemIniPath);
  m.run().addFault({"RegDeleteKeyA", "", 0, ERROR_ACCESS_DENIED});
  m.run().setAnswers({IDYES, IDOK, IDOK});
  EXPECT_EQ(zuninst::RunUninstall(), IDOK);
  EXPECT_EQ(BoxTexts(m.run()),
            (std::vector<std::string>{kConfirmation, "Could not open either key", kFinished}));
  EXPECT_TRUE(m.keyExists(kModemDevice));
  EXPECT_TRUE(m.keyExists(kWaveKeys[0]));
  for (const std::string& file : kPlacedFiles) EXPECT_FALSE(m.exists(file)) << file;
  EXPECT_FALSE(m.exists(kSystemIniPath));
}

TEST_F(UninstallSequence, SecondRunFindsNothingToRemove) {
  m.run().setAnswers({IDYES, IDOK});
  ASSERT_EQ(zuninst::RunUninstall(), IDOK);
  MachineSnapshot afterFirst = Snapshot(m);

  // The next program on the same machine, in the same process.
  winsim::Run& second = m.newRun();
  second.setAnswers({IDYES, IDOK, IDOK});
  EXPECT_EQ(zuninst::RunUninstall(), IDOK);
  EXPECT_EQ(BoxTexts(second),
            (std::vector<std::string>{kConfirmation, kControlPanelMessage, kFinished}));
  EXPECT_TRUE(Unchanged(afterFirst, m));
  EXPECT_EQ(m.readFile(kSystemIniPath), kSystemIniRemoved);
}

TEST_F(UninstallSequence, ClosingBoxThatCannotBeShownStillReportsTheUninstall) {
  m.run().setAnswers({IDYES});
  m.run().addFault({"MessageBoxA", "finished", 0, ERROR_NOT_ENOUGH_MEMORY});
  EXPECT_EQ(zuninst::RunUninstall(), IDOK);
  EXPECT_FALSE(m.keyExists(kModemDevice));
}

}  // namespace
}  // namespace rq47test
