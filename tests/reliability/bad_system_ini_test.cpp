// Whole runs that rewrite a system.ini nobody would write by hand: a line of
// a megabyte, NUL bytes, lone carriage returns, a Ctrl-Z in the middle, and a
// system.ini that is read-only. The uninstaller removes the driver line; the
// run after an upgrade's reboot adds it back.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "bad_input_machine.h"
#include "invariants.h"
#include "system_ini_model.h"
#include "user_settings.h"

namespace fs = std::filesystem;

namespace rq47test {
namespace {

constexpr char kSystemIniPath[] = "C:\\WINDOWS\\system.ini";
constexpr char kSystemNewPath[] = "C:\\WINDOWS\\system.new";
const std::string kEnhanced = "[386Enh]\r\nmouse=*vmouse\r\ndevice=*vcd\r\n";
const std::string kDriver = "device = zelvcd.vxd\r\n";
const std::string kAfter = "device=*vpd\r\n\r\n[drivers]\r\nwave=mmsound.drv\r\n";

// The uninstaller run on an installed machine whose system.ini is `ini`.
std::string AfterUninstall(const std::string& ini) {
  auto m = InstalledWindows98();
  m->writeFile(kSystemIniPath, ini);
  EXPECT_EQ(RunUninstallOn(*m), 1);
  EXPECT_FALSE(m->exists(kSystemNewPath));
  return m->readFile(kSystemIniPath).value_or("(gone)");
}

// The run after an upgrade's reboot, DOSboxEnabled "TRUE" saved, on `ini`
// (which has no driver line yet, as the upgrade left it).
std::string AfterMigration(const std::string& ini) {
  auto m = TestMachine::CopyOf("win95-previous");
  EXPECT_EQ(RunSetupOn(*m), 0);
  m->writeFile(kSystemIniPath, ini);
  EXPECT_EQ(RunSetupOn(*m), 0);
  EXPECT_TRUE(ShowedSuccess(*m));
  EXPECT_FALSE(m->exists(kSystemNewPath));
  return m->readFile(kSystemIniPath).value_or("(gone)");
}

// Every line is a whole line, however long: the megabyte line is copied whole,
// and a megabyte line that names the driver is blanked whole.
TEST(BadSystemIni, MegabyteLinesAreWholeLines) {
  const std::string longLine(1 << 20, 'x');
  const std::string ini = "[boot]\r\n" + longLine + "\r\n" + kEnhanced + kDriver + kAfter;
  EXPECT_EQ(AfterUninstall(ini), WithDriverLineRemoved(ini));
  const std::string upgraded = "[boot]\r\n" + longLine + "\r\n" + kEnhanced + kAfter;
  EXPECT_EQ(AfterMigration(upgraded), WithDriverLineAdded(upgraded));

  const std::string namesDriver = longLine + "zelvcd\r\n";
  const std::string iniWithDriver = "[boot]\r\n" + namesDriver + kEnhanced + kAfter;
  EXPECT_EQ(AfterUninstall(iniWithDriver), "[boot]\r\n  " + kEnhanced + kAfter);
}

// NUL bytes are text like any other byte.
TEST(BadSystemIni, NulBytesAreKept) {
  const std::string boot("[boot]\r\nshell=Exp\0lorer.exe\r\n", 30);
  const std::string nuls("\0\0\r\n", 4);
  const std::string ini = boot + kEnhanced + kDriver + nuls + kAfter;
  EXPECT_EQ(AfterUninstall(ini), WithDriverLineRemoved(ini));
  EXPECT_NE(AfterUninstall(ini).find(std::string("Exp\0lorer", 9)), std::string::npos);
  const std::string upgraded = boot + kEnhanced + nuls + kAfter;
  EXPECT_EQ(AfterMigration(upgraded), WithDriverLineAdded(upgraded));
}

// A carriage return without a line feed ends a line, kept byte for byte
// where the line does not name the driver.
TEST(BadSystemIni, LoneCarriageReturnsInOtherLinesAreKept) {
  const std::string boot = "[boot]\r\nshell=Explorer.exe\rold\r\n";
  EXPECT_EQ(AfterUninstall(boot + kEnhanced + kDriver + kAfter), boot + kEnhanced + "  " + kAfter);
  EXPECT_EQ(AfterMigration(boot + kEnhanced + kAfter), boot + kEnhanced + kDriver + kAfter);
}

// Windows reads a lone carriage return as the end of a line, so a system.ini
// whose lines end that way holds several settings on what the rewrite takes
// for one line. Removing the driver line must leave the other settings there.
TEST(BadSystemIni, RemovingTheDriverLineKeepsSettingsSeparatedByLoneCarriageReturns) {
  const std::string ini =
      "[boot]\rshell=Explorer.exe\r[386Enh]\rdevice=*vcd\rdevice = zelvcd.vxd\r"
      "device=*vpd\r";
  std::string after = AfterUninstall(ini);
  EXPECT_EQ(after.find("zelvcd"), std::string::npos);
  for (const char* setting :
       {"[boot]", "shell=Explorer.exe", "[386Enh]", "device=*vcd", "device=*vpd"}) {
    EXPECT_NE(after.find(setting), std::string::npos) << setting << " is gone from system.ini";
  }
}

// A Ctrl-Z in the middle ends nothing: the sections after it stay, the
// driver line is removed from among them and added back where it belongs,
// and only then are the saved settings deleted.
TEST(BadSystemIni, ACtrlZInTheMiddleCostsNoLine) {
  const std::string boot = "[boot]\r\nshell=Explorer.exe\r\n\x1a\r\n";
  EXPECT_EQ(AfterUninstall(boot + kEnhanced + kDriver + kAfter), boot + kEnhanced + "  " + kAfter);
  EXPECT_EQ(AfterMigration(boot + kEnhanced + kAfter), boot + kEnhanced + kDriver + kAfter);
}

// Lines that end in a lone CR are taken the same way by the upgrade that
// removes the driver line and by the run after its reboot that adds it:
// the line ends up right after "*vcd", once.
TEST(BadSystemIni, AWholeUpgradeOfLoneCarriageReturnLinesPutsTheLineBackAfterVcd) {
  const std::string ini =
      "[boot]\rshell=Explorer.exe\r[386Enh]\rdevice=*vcd\rdevice = zelvcd.vxd\r"
      "device=*vpd\r[drivers]\rwave=mmsound.drv\r";
  auto m = TestMachine::CopyOf("win95-previous");
  m->writeFile(kSystemIniPath, ini);
  ASSERT_EQ(RunSetupOn(*m), 0);
  EXPECT_EQ(m->readFile(kSystemIniPath), WithDriverLineRemoved(ini));
  ASSERT_EQ(RunSetupOn(*m), 0);
  EXPECT_TRUE(ShowedSuccess(*m));
  EXPECT_EQ(m->readFile(kSystemIniPath), "[boot]\rshell=Explorer.exe\r[386Enh]\rdevice=*vcd\r" +
                                             kDriver +
                                             "  device=*vpd\r[drivers]\rwave=mmsound.drv\r");
}

// Windows reads the driver line without regard to case or to blanks around
// its equals sign: a line written by hand so is the line. The run after the
// upgrade's reboot adds no second one, and the uninstaller removes it.
TEST(BadSystemIni, AHandWrittenDriverLineIsTheLine) {
  for (const char* line : {"device = ZELVCD.VXD\r\n", "device=zelvcd.vxd\r\n"}) {
    SCOPED_TRACE(line);
    const std::string ini = "[boot]\r\n" + kEnhanced + line + kAfter;
    EXPECT_EQ(AfterMigration(ini), ini);
    EXPECT_EQ(AfterUninstall(ini), "[boot]\r\n" + kEnhanced + "  " + kAfter);
  }
}

// system.new is the rewrite's own: one that a run cut short left behind goes
// when a later run finds the driver line already in place.
TEST(BadSystemIni, AStaleTemporaryCopyGoesWhenTheLineIsAlreadyThere) {
  auto m = TestMachine::CopyOf("win95-previous");
  ASSERT_EQ(RunSetupOn(*m), 0);
  const std::string ini = "[boot]\r\n" + kEnhanced + kDriver + kAfter;
  m->writeFile(kSystemIniPath, ini);
  m->writeFile(kSystemNewPath, "[boot]\r\n" + kEnhanced);
  ASSERT_EQ(RunSetupOn(*m), 0);
  EXPECT_EQ(m->readFile(kSystemIniPath), ini);
  EXPECT_FALSE(m->exists(kSystemNewPath));
  EXPECT_FALSE(m->keyExists(Hklm("Software\\Zelvaran\\RQ31")));
}

// A read-only system.ini cannot be copied over: it keeps its content, the
// temporary copy is deleted all the same, and the runs end as usual.
TEST(BadSystemIni, ReadOnlySystemIniIsLeftAsItIs) {
  const std::string ini = "[boot]\r\n" + kEnhanced + kDriver + kAfter;
  auto installed = InstalledWindows98();
  installed->writeFile(kSystemIniPath, ini);
  fs::permissions(installed->hostPath(kSystemIniPath), fs::perms::owner_write,
                  fs::perm_options::remove);
  EXPECT_EQ(RunUninstallOn(*installed), 1);
  EXPECT_EQ(installed->readFile(kSystemIniPath), ini);
  EXPECT_FALSE(installed->exists(kSystemNewPath));

  auto rebooted = TestMachine::CopyOf("win95-previous");
  ASSERT_EQ(RunSetupOn(*rebooted), 0);
  const std::string withoutDriver = "[boot]\r\n" + kEnhanced + kAfter;
  rebooted->writeFile(kSystemIniPath, withoutDriver);
  fs::permissions(rebooted->hostPath(kSystemIniPath), fs::perms::owner_write,
                  fs::perm_options::remove);
  EXPECT_EQ(RunSetupOn(*rebooted), 0);
  EXPECT_TRUE(ShowedSuccess(*rebooted));
  EXPECT_EQ(rebooted->readFile(kSystemIniPath), withoutDriver);
  EXPECT_FALSE(rebooted->exists(kSystemNewPath));
}

}  // namespace
}  // namespace rq47test
