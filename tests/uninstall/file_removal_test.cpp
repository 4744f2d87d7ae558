// The six files that setup places outside the program folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "file_removal.h"
#include "installed_modem.h"

namespace rq47test {
namespace {

constexpr char kControlPanelMessage[] =
    "Unable to delete Control Panel entry\r\n\r\nPlease close the Control Panel and continue";
const std::string kApplet = "C:\\WINDOWS\\SYSTEM\\zca.cpl";

// Runs both steps on the machine's current run.
void RemoveFiles(TestMachine& m) {
  m.run();
  zuninst::RemoveDriverFiles();
  zuninst::RemoveControlPanelApplet();
}

void ExpectControlPanelMessage(winsim::Run& run) {
  ASSERT_EQ(run.messageBoxes().size(), 1u);
  EXPECT_EQ(run.messageBoxes()[0].text, kControlPanelMessage);
  EXPECT_EQ(run.messageBoxes()[0].caption, "Zelvaran RQ47 Modem");
  EXPECT_EQ(run.messageBoxes()[0].style, static_cast<uint32_t>(MB_OK));
}

TEST(FileRemoval, DeletesTheSixPlacedFilesAndNothingElse) {
  TestMachine m;
  InstallModemFiles(m);
  MachineSnapshot before = Snapshot(m);
  RemoveFiles(m);
  for (const std::string& file : kPlacedFiles) EXPECT_FALSE(m.exists(file)) << file;
  EXPECT_TRUE(ChangedOnly(before, m, kPlacedFiles));
  EXPECT_TRUE(m.run().messageBoxes().empty());
  // The applet is always tried a second time.
  EXPECT_EQ(CallsOf(m.run(), "DeleteFileA").size(), 7u);
}

TEST(FileRemoval, MissingFilesAreQuietButTheAppletIsAskedFor) {
  TestMachine m;
  RemoveFiles(m);
  // The applet is gone, yet its first deletion failed: the message comes,
  // then the one further attempt.
  ExpectControlPanelMessage(m.run());
  EXPECT_EQ(CallsOf(m.run(), "DeleteFileA", "zca.cpl").size(), 2u);
  EXPECT_EQ(CallsOf(m.run(), "DeleteFileA").size(), 7u);
}

TEST(FileRemoval, AppletReleasedBeforeOkIsDeletedOnTheSecondAttempt) {
  TestMachine m;
  InstallModemFiles(m);
  m.run().addFault({"DeleteFileA", "zca.cpl", 1, ERROR_SHARING_VIOLATION});
  RemoveFiles(m);
  ExpectControlPanelMessage(m.run());
  EXPECT_FALSE(m.exists(kApplet));
  EXPECT_FALSE(m.exists("C:\\WINDOWS\\HELP\\zca.hlp"));
}

TEST(FileRemoval, AppletStillHeldStaysWithoutAnotherMessage) {
  TestMachine m;
  InstallModemFiles(m);
  m.run().addFault({"DeleteFileA", "zca.cpl", 0, ERROR_SHARING_VIOLATION});
  RemoveFiles(m);
  ExpectControlPanelMessage(m.run());
  EXPECT_TRUE(m.exists(kApplet));
  EXPECT_EQ(CallsOf(m.run(), "DeleteFileA", "zca.cpl").size(), 2u);
  EXPECT_FALSE(m.exists("C:\\WINDOWS\\HELP\\zca.hlp"));
  EXPECT_FALSE(m.exists("C:\\WINDOWS\\SYSTEM\\zelvcd.vxd"));
}

TEST(FileRemoval, FileNamesThatDoNotFitAreSkippedNotCut) {
  // 244 characters: "\zelvcd.vxd" and "\zca.cpl" still fit a 256-byte
  // name; "\zuninst.exe", "\rq47pci.vxd" and "\rq47pci1.vxd" do not.
  const std::string system = "C:\\WINDOWS\\" + std::string(233, 'S');
  // 244 characters as well; "\Help\zca.hlp" does not fit.
  const std::string windows = "C:\\" + std::string(241, 'W');
  ASSERT_EQ(system.size(), 244u);
  ASSERT_EQ(windows.size(), 244u);
  winsim::MachineConfig config;
  config.systemDirectory = system;
  config.windowsDirectory = windows;
  TestMachine m(config);
  for (const char* name : {"zuninst.exe", "zelvcd.vxd", "rq47pci.vxd", "rq47pci1.vxd", "zca.cpl"}) {
    m.writeFile(system + "\\" + name, name);
  }
  m.writeFile(windows + "\\Help\\zca.hlp", "help");
  // What the names would be if they were cut to 255 characters.
  const std::string cutNames[] = {system + "\\zuninst.ex", system + "\\rq47pci.vx",
                                  system + "\\rq47pci1.v", windows + "\\Help\\zca.h"};
  for (const std::string& cut : cutNames) m.writeFile(cut, "not ours");
  MachineSnapshot before = Snapshot(m);

  RemoveFiles(m);
  EXPECT_FALSE(m.exists(system + "\\zelvcd.vxd"));
  EXPECT_FALSE(m.exists(system + "\\zca.cpl"));
  EXPECT_TRUE(ChangedOnly(before, m, {system + "\\zelvcd.vxd", system + "\\zca.cpl"}));
  // zelvcd.vxd, and the applet twice.
  EXPECT_EQ(CallsOf(m.run(), "DeleteFileA").size(), 3u);
  EXPECT_TRUE(m.run().messageBoxes().empty());
}

TEST(FileRemoval, UnknownDirectoriesDeleteNothingAnywhere) {
  TestMachine m;
  InstallModemFiles(m);
  // Names the directory would give without a directory in front.
  for (const char* name :
       {"C:\\zuninst.exe", "C:\\zelvcd.vxd", "C:\\zca.cpl", "C:\\Help\\zca.hlp"}) {
    m.writeFile(name, "not ours");
  }
  m.run().addFault({"GetSystemDirectoryA", "", 0, ERROR_INVALID_PARAMETER});
  m.run().addFault({"GetWindowsDirectoryA", "", 0, ERROR_INVALID_PARAMETER});
  MachineSnapshot before = Snapshot(m);
  RemoveFiles(m);
  EXPECT_TRUE(Unchanged(before, m));
  EXPECT_TRUE(CallsOf(m.run(), "DeleteFileA").empty());
  EXPECT_TRUE(m.run().messageBoxes().empty());
}

}  // namespace
}  // namespace rq47test
