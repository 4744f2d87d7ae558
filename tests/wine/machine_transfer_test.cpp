// Moving a machine into a Wine prefix's drive and registry, and back.
#include "machine_transfer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "test_machine.h"
#include "winsim/regedit4.h"

namespace fs = std::filesystem;

namespace rq47wine {
namespace {

using Names = std::vector<std::string>;

void Write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

winsim::MachineConfig Config(const std::string& windows, const std::string& system) {
  winsim::MachineConfig config;
  config.windowsDirectory = windows;
  config.systemDirectory = system;
  return config;
}

TEST(DriveMap, PutsTheWindowsAndSystemDirectoriesWhereWineHasThem) {
  DriveMap map(Config("C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM"));
  EXPECT_EQ((Names{"windows", "system32", "zca.cpl"}),
            map.toPrefix({"WINDOWS", "SYSTEM", "zca.cpl"}));
  EXPECT_EQ((Names{"windows", "system32"}), map.toPrefix({"windows", "system"}));
  EXPECT_EQ((Names{"windows", "HELP", "zca.hlp"}), map.toPrefix({"WINDOWS", "HELP", "zca.hlp"}));
  EXPECT_EQ((Names{"Program Files", "Zelset95"}), map.toPrefix({"Program Files", "Zelset95"}));

  EXPECT_EQ((Names{"WINDOWS", "SYSTEM", "zca.cpl"}),
            map.toMachine({"windows", "system32", "zca.cpl"}));
  EXPECT_EQ((Names{"WINDOWS", "Zelvaran"}), map.toMachine({"windows", "Zelvaran"}));
  EXPECT_EQ((Names{"users"}), map.toMachine({"users"}));
  // Wine's own "system" folder stands where the machine's System directory is
  // already mapped from system32: it stands for nothing of the machine.
  EXPECT_FALSE(map.toMachine({"windows", "system"}).has_value());
  EXPECT_FALSE(map.toMachine({"windows", "SYSTEM", "x.dll"}).has_value());
}

TEST(DriveMap, FollowsOtherDirectoriesOfTheMachine) {
  DriveMap map(Config("C:\\WIN95", "C:\\WIN95\\SYS32"));
  EXPECT_EQ((Names{"windows", "system32", "a"}), map.toPrefix({"win95", "sys32", "a"}));
  EXPECT_EQ((Names{"windows", "SYSTEM", "a"}), map.toPrefix({"WIN95", "SYSTEM", "a"}));
  EXPECT_EQ((Names{"WIN95", "system", "a"}), map.toMachine({"windows", "system", "a"}));
  EXPECT_EQ((Names{"WIN95", "SYS32"}), map.toMachine({"windows", "system32"}));
}

TEST(DriveMap, RefusesDirectoriesOffDriveC) {
  EXPECT_THROW(DriveMap(Config("D:\\WINDOWS", "D:\\WINDOWS\\SYSTEM")), std::runtime_error);
  EXPECT_THROW(DriveMap(Config("C:\\WINDOWS", "\\\\server\\SYSTEM")), std::runtime_error);
  EXPECT_EQ((Names{"WINDOWS", "Zelvaran", "ZelSet95"}),
            DriveMap::NamesOf("c:\\WINDOWS\\\\Zelvaran\\ZelSet95\\"));
}

TEST(DriveTransfer, CopiesTheMachineIntoThePrefixMergingFoldersWithoutRegardToCase) {
  rq47test::TempDir dir;
  fs::path machine = dir.path() / "machine";
  fs::path prefix = dir.path() / "prefix";
  Write(machine / "WINDOWS" / "system.ini", "[386Enh]\r\ndevice=*vcd\r\n");
  Write(machine / "WINDOWS" / "SYSTEM" / "unimodem.vxd", "unimodem");
  Write(machine / "WINDOWS" / "INF" / "OTHER" / "ZelvaranSERWAVE.inf", "inf");
  Write(machine / "Program Files" / "Zelset95" / "setup.exe", "kit");
  fs::create_directories(machine / "WINDOWS" / "HELP");
  Write(prefix / "windows" / "system.ini", "wine's own");
  Write(prefix / "windows" / "inf" / "wine.inf", "wine");
  Write(prefix / "windows" / "system32" / "kernel32.dll", "wine");
  fs::create_directories(prefix / "Program Files");

  CopyDriveIntoPrefix(machine, DriveMap(Config("C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM")), prefix);

  EXPECT_EQ("[386Enh]\r\ndevice=*vcd\r\n", Read(prefix / "windows" / "system.ini"));
  EXPECT_EQ("unimodem", Read(prefix / "windows" / "system32" / "unimodem.vxd"));
  EXPECT_EQ("inf", Read(prefix / "windows" / "inf" / "OTHER" / "ZelvaranSERWAVE.inf"));
  EXPECT_EQ("kit", Read(prefix / "Program Files" / "Zelset95" / "setup.exe"));
  EXPECT_TRUE(fs::is_directory(prefix / "windows" / "HELP"));
  EXPECT_FALSE(fs::exists(prefix / "WINDOWS"));
  EXPECT_FALSE(fs::exists(prefix / "windows" / "INF"));
  EXPECT_EQ("wine", Read(prefix / "windows" / "system32" / "kernel32.dll"));
}

TEST(DriveTransfer, ReplacesAFileSharedWithTheBasePrefixWithoutWritingThroughIt) {
  rq47test::TempDir dir;
  fs::path base = dir.path() / "base" / "windows" / "system.ini";
  fs::path shared = dir.path() / "prefix" / "windows" / "system.ini";
  Write(base, "base prefix");
  fs::create_directories(shared.parent_path());
  fs::create_hard_link(base, shared);
  Write(dir.path() / "machine" / "WINDOWS" / "system.ini", "the machine's");

  CopyDriveIntoPrefix(dir.path() / "machine",
                      DriveMap(Config("C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM")),
                      dir.path() / "prefix");

  EXPECT_EQ("the machine's", Read(shared));
  EXPECT_EQ("base prefix", Read(base));
}

class CollectFromPrefix : public ::testing::Test {
 protected:
  void SetUp() override {
    // The base prefix: Wine's own files.
    Write(base_ / "windows" / "system.ini", "wine");
    Write(base_ / "windows" / "win.ini", "wine");
    Write(base_ / "windows" / "system32" / "kernel32.dll", "wine");
    Write(base_ / "windows" / "system" / "wine16.dll", "wine");
    Write(base_ / "windows" / "Fonts" / "a.ttf", "wine");
    Write(base_ / "windows" / "help" / ".keep", "");
    // The machine before the run.
    Write(original_ / "WINDOWS" / "system.ini", "machine");
    Write(original_ / "WINDOWS" / "SYSTEM" / "unimodem.vxd", "machine");
    Write(original_ / "WINDOWS" / "HELP" / "windows.hlp", "machine");
    Write(original_ / "WINDOWS" / "Zelvaran" / "ZelSet95" / "Domestic.hlp", "machine");
    // The prefix after the run: a copy of the base with the machine's files
    // and what the run changed.
    fs::copy(base_, prefix_, fs::copy_options::recursive);
    Write(prefix_ / "windows" / "system.ini", "after the run");
    Write(prefix_ / "windows" / "system32" / "unimodem.vxd", "machine");
    Write(prefix_ / "windows" / "system32" / "zca.cpl", "placed");
    Write(prefix_ / "windows" / "help" / "windows.hlp", "machine");
    Write(prefix_ / "windows" / "help" / "zca.hlp", "placed");
    Write(prefix_ / "windows" / "Zelvaran" / "ZelSet95" / "Domestic.hlp", "machine");
    Write(prefix_ / "windows" / "Zelvaran" / "zelbak95" / "rq47set.exe", "archived");
    Write(prefix_ / "windows" / "system" / "stray.dll", "written to Wine's system folder");
    fs::create_symlink(prefix_ / "windows", prefix_ / "link-to-windows");
  }

  fs::path Collected() {
    CollectDriveFromPrefix(prefix_, base_, DriveMap(Config("C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM")),
                           original_, out_);
    return out_;
  }

  rq47test::TempDir dir_;
  fs::path base_ = dir_.path() / "base";
  fs::path original_ = dir_.path() / "original";
  fs::path prefix_ = dir_.path() / "prefix";
  fs::path out_ = dir_.path() / "out";
};

TEST_F(CollectFromPrefix, TakesTheMachinesFilesAndWhatTheRunMadeInTheMachinesPlaces) {
  fs::path out = Collected();
  EXPECT_EQ("after the run", Read(out / "WINDOWS" / "system.ini"));
  EXPECT_EQ("machine", Read(out / "WINDOWS" / "SYSTEM" / "unimodem.vxd"));
  EXPECT_EQ("placed", Read(out / "WINDOWS" / "SYSTEM" / "zca.cpl"));
  EXPECT_EQ("placed", Read(out / "WINDOWS" / "HELP" / "zca.hlp"));
  EXPECT_EQ("machine", Read(out / "WINDOWS" / "HELP" / "windows.hlp"));
  EXPECT_EQ("archived", Read(out / "WINDOWS" / "Zelvaran" / "zelbak95" / "rq47set.exe"));
}

TEST_F(CollectFromPrefix, LeavesWinesOwnFilesAndLinksOut) {
  fs::path out = Collected();
  EXPECT_FALSE(fs::exists(out / "WINDOWS" / "win.ini"));
  EXPECT_FALSE(fs::exists(out / "WINDOWS" / "SYSTEM" / "kernel32.dll"));
  EXPECT_FALSE(fs::exists(out / "WINDOWS" / "Fonts"));
  EXPECT_FALSE(fs::exists(out / "WINDOWS" / "HELP" / ".keep"));
  EXPECT_FALSE(fs::exists(out / "WINDOWS" / "system" / "stray.dll"));
  EXPECT_FALSE(fs::exists(out / "link-to-windows"));
  EXPECT_FALSE(fs::exists(out / "windows"));
}

TEST_F(CollectFromPrefix, LeavesOutAMachineFileTheRunDeleted) {
  fs::remove(prefix_ / "windows" / "system32" / "unimodem.vxd");
  fs::path out = Collected();
  EXPECT_FALSE(fs::exists(out / "WINDOWS" / "SYSTEM" / "unimodem.vxd"));
  EXPECT_TRUE(fs::is_directory(out / "WINDOWS" / "SYSTEM"));
}

TEST_F(CollectFromPrefix, SpellsWhatTheRunMadeAsTheRunDidAndWinesFoldersAsTheMachine) {
  // The run deleted the machine's file and made it anew in another case.
  Write(original_ / "WINDOWS" / "SYSTEM" / "RQ47pci.vxd", "old driver");
  Write(prefix_ / "windows" / "system32" / "rq47pci.vxd", "new driver");
  fs::path out = Collected();
  EXPECT_TRUE(fs::exists(out / "WINDOWS" / "SYSTEM" / "rq47pci.vxd"));
  EXPECT_FALSE(fs::exists(out / "WINDOWS" / "SYSTEM" / "RQ47pci.vxd"));
  // Wine's "help" stands for the machine's "HELP".
  EXPECT_TRUE(fs::is_directory(out / "WINDOWS" / "HELP"));
  EXPECT_FALSE(fs::exists(out / "WINDOWS" / "help"));
}

TEST(ShortAliases, LinkEachLongNameOfTheMachineUnderItsAlias) {
  rq47test::TempDir dir;
  fs::path machine = dir.path() / "machine";
  fs::path prefix = dir.path() / "prefix";
  Write(machine / "Program Files" / "Zelset95" / "setup.exe", "kit");
  Write(machine / "WINDOWS" / "INF" / "OTHER" / "Zelvaran IncZQRTMODM.inf", "modem");
  Write(machine / "WINDOWS" / "INF" / "OTHER" / "ZelvaranSERWAVE.inf", "wave");
  DriveMap map(Config("C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM"));
  fs::create_directories(prefix / "windows" / "inf");
  CopyDriveIntoPrefix(machine, map, prefix);
  MakeShortAliases(machine, map, prefix);

  EXPECT_TRUE(fs::is_symlink(prefix / "PROGRA~1"));
  EXPECT_EQ("kit", Read(prefix / "PROGRA~1" / "Zelset95" / "setup.exe"));
  EXPECT_EQ("modem", Read(prefix / "windows" / "inf" / "OTHER" / "ZELVAR~1.INF"));
  EXPECT_EQ("wave", Read(prefix / "windows" / "inf" / "OTHER" / "ZELVAR~2.INF"));
  // Names that fit 8.3 are their own aliases: no link.
  EXPECT_FALSE(fs::exists(prefix / "ZELSET95"));
  EXPECT_FALSE(fs::is_symlink(prefix / "PROGRA~1" / "ZELSET95"));
  // A link is left out of what a run is compared by.
  fs::path out = dir.path() / "out";
  CollectDriveFromPrefix(prefix, dir.path() / "empty-base", map, machine, out);
  EXPECT_FALSE(fs::exists(out / "PROGRA~1"));
  EXPECT_TRUE(fs::exists(out / "Program Files" / "Zelset95" / "setup.exe"));
}

TEST(WindowsVersion, NamesWhatWineReportsForTheMachine) {
  winsim::MachineConfig config;
  config.majorVersion = 4;
  config.minorVersion = 0;
  EXPECT_NE(std::string::npos, WindowsVersionFile(config).find("\"Version\"=\"win95\""));
  config.minorVersion = 10;
  EXPECT_NE(std::string::npos, WindowsVersionFile(config).find("\"Version\"=\"win98\""));
  config.minorVersion = 90;
  EXPECT_NE(std::string::npos, WindowsVersionFile(config).find("\"Version\"=\"winme\""));
  winsim::Registry registry;
  ASSERT_FALSE(winsim::ImportRegedit4(WindowsVersionFile(config), registry).has_value());
  EXPECT_EQ(std::optional<std::string>("winme"),
            registry.text("HKEY_CURRENT_USER\\Software\\Wine", "Version"));
  config.minorVersion = 20;
  EXPECT_THROW(WindowsVersionFile(config), std::runtime_error);
  config.platform = 2;
  config.majorVersion = 5;
  config.minorVersion = 0;
  EXPECT_THROW(WindowsVersionFile(config), std::runtime_error);
}

TEST(RegistryLoad, MakesThePrefixsComparedKeysWhatTheMachineHolds) {
  // The prefix holds a key the machine does not and lacks one it has; after
  // the load file, the compared keys are the machine's, the rest untouched.
  winsim::Registry machine;
  machine.create("HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_1A3C&DEV_2210\\BUS_00")
      ->setValue("Driver", 1, std::string("Modem\\0000", 11));
  machine.create("HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV")
      ->setValue("Version", 1, std::string("3.02 Build 69\0\0\0\0\0\0\0", 20));
  machine.create("HKEY_LOCAL_MACHINE\\Software\\Other")->setValue("Kept", 4, std::string(4, '\1'));

  winsim::Registry prefix;
  prefix.create("HKEY_LOCAL_MACHINE\\Enum\\Root\\Stale");
  prefix.create("HKEY_LOCAL_MACHINE\\Software\\Wine")
      ->setValue("Version", 1, std::string("win98", 6));
  ASSERT_FALSE(winsim::ImportRegedit4(RegistryLoadFile(machine), prefix).has_value());

  EXPECT_EQ(nullptr, prefix.find("HKEY_LOCAL_MACHINE\\Enum\\Root"));
  ASSERT_NE(nullptr,
            prefix.value("HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_1A3C&DEV_2210\\BUS_00", "Driver"));
  EXPECT_EQ(std::string("3.02 Build 69\0\0\0\0\0\0\0", 20),
            prefix.value("HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV", "Version")->data);
  EXPECT_NE(nullptr, prefix.find("HKEY_LOCAL_MACHINE\\Software\\Wine"));
  // Only the compared keys travel.
  EXPECT_EQ(nullptr, prefix.find("HKEY_LOCAL_MACHINE\\Software\\Other"));
}

TEST(RegistryLoad, ReplaceKeysPutsEachExportInPlaceOfItsKey) {
  winsim::Registry registry;
  registry.create("HKEY_LOCAL_MACHINE\\Enum\\PCI\\Gone");
  registry.create("HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31");
  registry.create("HKEY_LOCAL_MACHINE\\Software\\Other");
  ReplaceKeys(
      registry,
      {{"HKEY_LOCAL_MACHINE\\Enum",
        std::string("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Enum\\PCI\\New]\r\n\"A\"=\"b\"\r\n")},
       {"HKEY_LOCAL_MACHINE\\Software\\Zelvaran", std::nullopt}});
  EXPECT_EQ(nullptr, registry.find("HKEY_LOCAL_MACHINE\\Enum\\PCI\\Gone"));
  EXPECT_EQ(std::optional<std::string>("b"),
            registry.text("HKEY_LOCAL_MACHINE\\Enum\\PCI\\New", "A"));
  EXPECT_EQ(nullptr, registry.find("HKEY_LOCAL_MACHINE\\Software\\Zelvaran"));
  EXPECT_NE(nullptr, registry.find("HKEY_LOCAL_MACHINE\\Software\\Other"));

  EXPECT_THROW(ReplaceKeys(registry, {{"HKEY_LOCAL_MACHINE\\Enum", std::string("not a file")}}),
               std::runtime_error);
}

TEST(PortPlan, OpensTheMachinesFreePortsAndBlocksEveryOther) {
  winsim::MachineConfig config;
  config.ports["COM1"] = winsim::PortState::Free;
  config.ports["COM3"] = winsim::PortState::Busy;
  config.ports["COM12"] = winsim::PortState::Free;
  PortPlan plan = PlanPorts(config);
  winsim::Registry registry;
  ASSERT_FALSE(winsim::ImportRegedit4(plan.settingsFile, registry).has_value());
  const char* key = "HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports";
  EXPECT_EQ(std::optional<std::string>("/dev/null"), registry.text(key, "COM1"));
  EXPECT_EQ(std::optional<std::string>("/dev/null"), registry.text(key, "COM12"));
  // Every other port up to COM9 has a setting, so no host device takes it.
  for (int n = 2; n <= 9; ++n) {
    EXPECT_TRUE(registry.text(key, "COM" + std::to_string(n)).has_value()) << n;
  }
  EXPECT_EQ(
      (std::vector<std::string>{"com2", "com3", "com4", "com5", "com6", "com7", "com8", "com9"}),
      plan.blockedLinks);
  EXPECT_EQ((std::vector<std::string>{"com1", "com12"}), plan.freeLinks);
}

}  // namespace
}  // namespace rq47wine
