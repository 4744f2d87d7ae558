// Placing the drivers, the applet, the uninstaller and the applet's help file
// from the program folder into the System directory and the help folder.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "file_placement.h"
#include "setup_context.h"
#include "test_machine.h"
#include "text_buffer.h"
#include "trace_lines.h"

namespace {

using rq47test::TestMachine;

const char* const kSystemFiles[] = {"zelvcd.vxd", "rq47pci.vxd", "rq47pci1.vxd", "zca.cpl",
                                    "zuninst.exe"};

std::string ContentOf(const std::string& name) { return "the package's " + name + "\r\n"; }

class FilePlacement : public ::testing::Test {
 protected:
  void SetUp() override { rq47set::StartSetupContext(context); }
  rq47set::Placement PlaceModemFiles() { return rq47set::PlaceModemFiles(context); }

  // The one box of a placement that failed: it names the first file not
  // placed and the folder it was to go into.
  void ExpectNotPlacedBox(const std::string& name, const std::string& folder) {
    const auto& boxes = machine_->run().messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "The file " + name + " could not be copied into the folder\r" +
                                 folder +
                                 "\r\rMake sure that folder is there, has room for the file and "
                                 "that no program uses the\rfile, then run Setup again. The "
                                 "installation is not finished.");
    EXPECT_EQ(boxes[0].caption, "Zelvaran RQ47 Modem");
  }

  // A machine whose program folder holds the six source files.
  TestMachine& MakeMachine(const std::string& windowsDirectory = "C:\\WINDOWS",
                           const std::string& systemDirectory = "C:\\WINDOWS\\SYSTEM",
                           bool withHelpFolder = true) {
    winsim::MachineConfig config;
    config.windowsDirectory = windowsDirectory;
    config.systemDirectory = systemDirectory;
    config.currentDirectory = "C:\\";
    machine_ = std::make_unique<TestMachine>(config);
    programFolder_ = Join(windowsDirectory, "Zelvaran\\ZelSet95");
    systemFolder_ = systemDirectory;
    helpFolder_ = Join(windowsDirectory, "HELP");
    for (const char* name : kSystemFiles) {
      machine_->writeFile(Join(programFolder_, name), ContentOf(name));
    }
    machine_->writeFile(Join(programFolder_, "Domestic.hlp"), ContentOf("Domestic.hlp"));
    machine_->writeFile(Join(programFolder_, "German.hlp"), ContentOf("German.hlp"));
    if (withHelpFolder) machine_->makeDirectory(helpFolder_);
    startHandles_ = machine_->run().openHandleCount();
    return *machine_;
  }

  static std::string Join(const std::string& folder, const std::string& name) {
    return folder.back() == '\\' ? folder + name : folder + "\\" + name;
  }

  void ExpectSystemFilesPlaced() {
    for (const char* name : kSystemFiles) {
      EXPECT_EQ(machine_->readFile(Join(systemFolder_, name)), ContentOf(name)) << name;
    }
  }

  std::vector<std::string> Copies() {
    return rq47test::CallsOf(machine_->run().trace(), "CopyFileA");
  }

  std::unique_ptr<TestMachine> machine_;
  rq47set::SetupContext context;
  std::string programFolder_, systemFolder_, helpFolder_;
  size_t startHandles_ = 0;
};

TEST_F(FilePlacement, SixCopiesLeaveTheSourcesInPlace) {
  TestMachine& machine = MakeMachine();

  EXPECT_EQ(PlaceModemFiles(), rq47set::Placement::kPlaced);

  EXPECT_EQ(Copies().size(), 6u);
  EXPECT_TRUE(machine.run().messageBoxes().empty());
  ExpectSystemFilesPlaced();
  EXPECT_EQ(machine.readFile("C:\\WINDOWS\\HELP\\zca.hlp"), ContentOf("Domestic.hlp"));
  EXPECT_FALSE(machine.exists("C:\\WINDOWS\\HELP\\German.hlp"));
  for (const char* name : kSystemFiles) {
    EXPECT_EQ(machine.readFile(Join(programFolder_, name)), ContentOf(name)) << name;
  }
  EXPECT_EQ(machine.readFile(Join(programFolder_, "Domestic.hlp")), ContentOf("Domestic.hlp"));
  EXPECT_EQ(machine.run().openHandleCount(), startHandles_);
}

TEST_F(FilePlacement, EarlierInstallationIsOverwritten) {
  TestMachine& machine = MakeMachine();
  for (const char* name : kSystemFiles) {
    machine.writeFile(Join(systemFolder_, name), "an earlier version");
  }
  machine.writeFile("C:\\WINDOWS\\HELP\\zca.hlp", "an earlier help file");

  PlaceModemFiles();

  ExpectSystemFilesPlaced();
  EXPECT_EQ(machine.readFile("C:\\WINDOWS\\HELP\\zca.hlp"), ContentOf("Domestic.hlp"));
}

TEST_F(FilePlacement, MissingSourceLeavesOnlyThatFileUnplaced) {
  TestMachine& machine = MakeMachine();
  machine.removeFile(Join(programFolder_, "rq47pci1.vxd"));

  EXPECT_EQ(PlaceModemFiles(), rq47set::Placement::kNotPlaced);
  ExpectNotPlacedBox("rq47pci1.vxd", "C:\\WINDOWS\\SYSTEM");

  EXPECT_EQ(Copies().size(), 6u) << "the copies after the missing file still follow";
  EXPECT_FALSE(machine.exists("C:\\WINDOWS\\SYSTEM\\rq47pci1.vxd"));
  for (const char* name : {"zelvcd.vxd", "rq47pci.vxd", "zca.cpl", "zuninst.exe"}) {
    EXPECT_EQ(machine.readFile(Join(systemFolder_, name)), ContentOf(name)) << name;
  }
  EXPECT_EQ(machine.readFile("C:\\WINDOWS\\HELP\\zca.hlp"), ContentOf("Domestic.hlp"));
}

TEST_F(FilePlacement, MissingHelpFolderIsNotCreated) {
  TestMachine& machine = MakeMachine("C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM", false);

  EXPECT_EQ(PlaceModemFiles(), rq47set::Placement::kNotPlaced);
  ExpectNotPlacedBox("zca.hlp", "C:\\WINDOWS\\help");

  ExpectSystemFilesPlaced();
  EXPECT_FALSE(machine.exists("C:\\WINDOWS\\HELP"));
  EXPECT_TRUE(rq47test::CallsOf(machine.run().trace(), "CreateDirectoryA").empty());
}

TEST_F(FilePlacement, DirectoriesAreReadAgainWhateverTheyHeld) {
  MakeMachine();
  ASSERT_TRUE(CopyText(context.windowsDirectory, "C:\\ELSEWHERE"));
  ASSERT_TRUE(CopyText(context.systemDirectory, "C:\\ELSEWHERE\\SYSTEM"));

  PlaceModemFiles();

  EXPECT_STREQ(context.windowsDirectory, "C:\\WINDOWS");
  EXPECT_STREQ(context.systemDirectory, "C:\\WINDOWS\\SYSTEM");
  ExpectSystemFilesPlaced();
}

TEST_F(FilePlacement, LongDirectoriesAreUsedWhole) {
  // Longer than the 19 and 39 characters the directory strings once held.
  const std::string windows = "C:\\Windows For The Modem Test Machine";
  const std::string system = windows + "\\System Directory Of The Test";
  TestMachine& machine = MakeMachine(windows, system);

  PlaceModemFiles();

  ExpectSystemFilesPlaced();
  EXPECT_EQ(machine.readFile(Join(helpFolder_, "zca.hlp")), ContentOf("Domestic.hlp"));
}

TEST_F(FilePlacement, WindowsDirectoryAtADriveRootGetsNoDoubledSeparator) {
  TestMachine& machine = MakeMachine("C:\\", "C:\\SYSTEM");

  PlaceModemFiles();

  for (const std::string& copy : Copies()) {
    for (const std::string& path : rq47test::TextArguments(copy)) {
      EXPECT_EQ(path.find("\\\\"), std::string::npos) << path;
    }
  }
  ExpectSystemFilesPlaced();
  EXPECT_EQ(machine.readFile("C:\\HELP\\zca.hlp"), ContentOf("Domestic.hlp"));
}

TEST_F(FilePlacement, PathThatDoesNotFitIsSkippedNeverCut) {
  // 250 characters: "\zca.cpl" still fits within MAX_PATH, the longer names do not.
  const std::string system = "C:\\" + std::string(247, 'S');
  TestMachine& machine = MakeMachine("C:\\WINDOWS", system);

  EXPECT_EQ(PlaceModemFiles(), rq47set::Placement::kNotPlaced);
  ExpectNotPlacedBox("zelvcd.vxd", system);

  std::set<std::string> destinations;
  for (const std::string& copy : Copies()) {
    std::vector<std::string> paths = rq47test::TextArguments(copy);
    ASSERT_EQ(paths.size(), 2u) << copy;
    destinations.insert(paths[1]);
  }
  EXPECT_EQ(destinations,
            (std::set<std::string>{system + "\\zca.cpl", "C:\\WINDOWS\\help\\zca.hlp"}));
  EXPECT_EQ(machine.readFile(system + "\\zca.cpl"), ContentOf("zca.cpl"));
}

}  // namespace
