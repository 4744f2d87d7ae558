// Whole runs around files and ports that are not as the programs expect: a
// read-only help file in a read-only help folder, a missing program folder,
// and a port that is busy when probed and gone afterwards.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "bad_input_machine.h"
#include "machine_changes.h"
#include "user_settings.h"

namespace fs = std::filesystem;

namespace rq47test {
namespace {

constexpr char kHelpFolder[] = "C:\\WINDOWS\\HELP";
constexpr char kHelpFile[] = "C:\\WINDOWS\\HELP\\zca.hlp";
constexpr char kProgramFolder[] = "C:\\WINDOWS\\Zelvaran\\ZelSet95";

void MakeReadOnly(TestMachine& m, const std::string& path) {
  fs::permissions(m.hostPath(path),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

// A help file that cannot be overwritten or deleted stays as it is; every
// other file is placed or removed. Setup names the file it could not place
// and ends with 103, not with its success; the uninstaller ends as usual.
TEST(BadFiles, ReadOnlyHelpFileInAReadOnlyHelpFolder) {
  auto m = InstalledWindows98();
  const std::vector<std::string> placed = PlacedFiles("C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM");
  for (const std::string& file : placed) m->writeFile(file, "an older version");
  MakeReadOnly(*m, kHelpFile);
  MakeReadOnly(*m, kHelpFolder);

  EXPECT_EQ(RunSetupOn(*m), 103);
  EXPECT_FALSE(ShowedSuccess(*m));
  ASSERT_EQ(BoxTexts(*m).size(), 1u);
  EXPECT_EQ(BoxTexts(*m)[0].rfind("The file zca.hlp could not be copied into the folder\r"
                                  "C:\\WINDOWS\\help\r",
                                  0),
            0u);
  EXPECT_EQ(m->readFile(kHelpFile), "an older version");
  for (const std::string& file : placed) {
    if (file == kHelpFile) continue;
    EXPECT_NE(m->readFile(file), "an older version") << file << " was not replaced";
  }

  EXPECT_EQ(RunUninstallOn(*m), 1);
  EXPECT_TRUE(m->exists(kHelpFile));
  for (const std::string& file : placed) {
    if (file != kHelpFile) EXPECT_FALSE(m->exists(file)) << file;
  }
}

// Without the program folder there is nothing to place and no registry file
// to import: the run names the folder and the first file it lacks, changes
// nothing, and ends with its own exit code instead of the success message.
TEST(BadFiles, MissingProgramFolderChangesNothing) {
  auto m = Windows98();
  fs::remove_all(m->hostPath(kProgramFolder));
  MachineSnapshot before = Snapshot(*m);
  EXPECT_EQ(RunSetupOn(*m), 102);
  ASSERT_EQ(BoxTexts(*m).size(), 1u);
  EXPECT_EQ(BoxTexts(*m)[0].rfind("The installation kit is not complete: the file zelvcd.vxd is "
                                  "missing from the folder\rC:\\WINDOWS\\Zelvaran\\ZelSet95\r",
                                  0),
            0u);
  EXPECT_TRUE(Unchanged(before, *m));
}

// A port that another program holds cannot be opened, so the probe takes its
// name; when that port is gone at the next run, the name in the vendor key
// (the user's setting) still wins over the probe.
TEST(BadPorts, BusyPortThatVanishes) {
  auto m = Windows98();
  m->config().ports["COM2"] = winsim::PortState::Busy;
  m->config().ports["COM3"] = winsim::PortState::Free;
  m->config().ports["COM4"] = winsim::PortState::Free;
  EXPECT_EQ(RunSetupOn(*m), 0);
  EXPECT_EQ(m->valueText(kVendorKey, "PortName"), "COM2");
  EXPECT_EQ(m->valueText(kModemInstance, "PortName"), "COM2");

  m->config().ports.erase("COM2");
  EXPECT_EQ(RunSetupOn(*m), 0);
  EXPECT_TRUE(ShowedSuccess(*m));
  EXPECT_EQ(m->valueText(kVendorKey, "PortName"), "COM2");
  EXPECT_EQ(m->valueText(kModemInstance, "PortName"), "COM2");
}

}  // namespace
}  // namespace rq47test
