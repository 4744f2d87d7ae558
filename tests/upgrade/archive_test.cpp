// The archive of the previous version: which files go into the backup folder,
// from where, in what order, and under which names.
#include <windows.h>

#include <map>

#include "archive.h"
#include "machine_changes.h"
#include "main_sequence.h"
#include "text_buffer.h"
#include "upgrade_fixture.h"

namespace rq47test {
namespace {

using rq47set::UpgradeResult;

// The previous version's files the archive takes from the kit folder alone,
// and those it takes from the kit folder and then the program folder.
const char* const kKitOnly[] = {
    "zdll.dll",   "_isuser.dll", "_setup.dll", "setup.ins", "_inst32i.ex_", "_isdel.exe",
    "setup.exe",  "_sys1.cab",   "_user1.cab", "data.tag",  "data1.cab",    "lang.dat",
    "layout.bin", "os.dat",      "setup.ini",  "setup.lid", "_isres.dll"};
const char* const kKitAndProgram[] = {
    "brazil.hlp",  "zca.cpl",     "zelvcd.vxd",   "zuninst.exe",  "domestic.hlp", "french.hlp",
    "german.hlp",  "italian.hlp", "spanish.hlp",  "chinese.hlp",  "japanese.hlp", "ui.hlp",
    "revhist.doc", "readme.doc",  "rq47_ctl.vxd", "rq47dfv1.vxd", "rq47pci.vxd",  "rq47pci1.vxd"};

class ArchiveTest : public UpgradeTest {
 protected:
  // The setup at the point of the archive: paths filled, the backup folder
  // made; each test puts the files it needs in the program folder.
  void SetUp() override {
    StartSetupRun();
    machine().makeDirectory(kBackupFolderPath);
    std::filesystem::remove_all(machine().hostPath(kProgramFolderPath));
  }
  std::optional<std::string> Archived(const std::string& name) {
    return machine().readFile(std::string(kBackupFolderPath) + "\\" + name);
  }
  std::vector<std::string> ArchivedNames() {
    std::vector<std::string> names;
    for (const auto& entry : FolderContents(machine().hostPath(kBackupFolderPath))) {
      names.push_back(entry.first);
    }
    return names;
  }
};

// With every file in both folders, each lands in the backup folder once; where
// both folders have it, the program folder's copy is the one kept.
TEST_F(ArchiveTest, ArchivesEveryFileOfThePreviousVersion) {
  std::map<std::string, std::string> expected;
  auto put = [&](const std::string& folder, const std::string& name, const std::string& content) {
    machine().writeFile(folder + "\\" + name, content);
    expected[name] = content;
  };
  for (const char* name : kKitOnly) put(kKitFolderPath, name, std::string("kit ") + name);
  for (const char* name : kKitAndProgram) {
    machine().writeFile(std::string(kKitFolderPath) + "\\" + name, "kit");
    put(kProgramFolderPath, name, std::string("program ") + name);
  }
  put(kProgramFolderPath, "rq47set.exe", "old setup");
  machine().writeFile(std::string(kInfFolderPath) + "\\Zelvaran IncZQRTMODM.inf", "modem inf");
  machine().writeFile(std::string(kInfFolderPath) + "\\ZelvaranSERWAVE.inf", "wave inf");
  expected["ZQRTMODM.INF"] = "modem inf";
  expected["SERWAVE.INF"] = "wave inf";

  EXPECT_EQ(rq47set::ArchivePreviousVersion(context()), rq47set::Archive::kMade);

  EXPECT_EQ(FolderContents(machine().hostPath(kBackupFolderPath)), expected);
}

TEST_F(ArchiveTest, TheProgramFoldersFileWinsOverTheKitFolders) {
  machine().writeFile(std::string(kKitFolderPath) + "\\zca.cpl", "kit zca.cpl");
  machine().writeFile(std::string(kProgramFolderPath) + "\\zca.cpl", "program zca.cpl");
  machine().writeFile(std::string(kKitFolderPath) + "\\german.hlp", "kit german.hlp");
  machine().writeFile(std::string(kProgramFolderPath) + "\\ui.hlp", "program ui.hlp");

  rq47set::ArchivePreviousVersion(context());

  EXPECT_EQ(Archived("zca.cpl"), "program zca.cpl");
  EXPECT_EQ(Archived("german.hlp"), "kit german.hlp");
  EXPECT_EQ(Archived("ui.hlp"), "program ui.hlp");
}

// A kit copied from a CD keeps its files read-only, and so do their copies:
// the program folder's file must still be the one archived.
TEST_F(ArchiveTest, AReadOnlyKitFileDoesNotStopTheProgramFoldersFile) {
  for (const char* name : {"zca.cpl", "brazil.hlp"}) {
    const std::string kitFile = std::string(kKitFolderPath) + "\\" + name;
    machine().writeFile(kitFile, "kit");
    std::filesystem::permissions(machine().hostPath(kitFile), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    machine().writeFile(std::string(kProgramFolderPath) + "\\" + name, "program");
  }

  EXPECT_EQ(rq47set::ArchivePreviousVersion(context()), rq47set::Archive::kMade);

  EXPECT_EQ(Archived("zca.cpl"), "program");
  EXPECT_EQ(Archived("brazil.hlp"), "program");
}

TEST_F(ArchiveTest, KitFilesComeOnlyFromTheKitAndTheOldSetupOnlyFromTheProgramFolder) {
  machine().writeFile(std::string(kKitFolderPath) + "\\setup.exe", "kit setup.exe");
  machine().writeFile(std::string(kProgramFolderPath) + "\\setup.exe", "program setup.exe");
  machine().writeFile(std::string(kKitFolderPath) + "\\rq47set.exe", "kit rq47set.exe");
  machine().writeFile(std::string(kProgramFolderPath) + "\\rq47set.exe", "program rq47set.exe");
  machine().writeFile(std::string(kProgramFolderPath) + "\\rq47.reg", "not archived");

  rq47set::ArchivePreviousVersion(context());

  EXPECT_EQ(Archived("setup.exe"), "kit setup.exe");
  EXPECT_EQ(Archived("rq47set.exe"), "program rq47set.exe");
  EXPECT_EQ(ArchivedNames(), (std::vector<std::string>{"rq47set.exe", "setup.exe"}));
}

TEST_F(ArchiveTest, InfFilesAreReadByTheirShortNamesAndStoredUnderTheKitsNames) {
  machine().writeFile(std::string(kInfFolderPath) + "\\Zelvaran IncZQRTMODM.inf", "modem inf");
  machine().writeFile(std::string(kInfFolderPath) + "\\ZelvaranSERWAVE.inf", "wave inf");

  rq47set::ArchivePreviousVersion(context());

  EXPECT_EQ(Archived("ZQRTMODM.INF"), "modem inf");
  EXPECT_EQ(Archived("SERWAVE.INF"), "wave inf");
}

TEST_F(ArchiveTest, WithNeitherKitNorProgramFolderOnlyTheInfFilesAreArchived) {
  std::filesystem::remove_all(machine().hostPath(kProgramFolderPath));
  machine().writeFile(std::string(kInfFolderPath) + "\\Zelvaran IncZQRTMODM.inf", "modem inf");
  machine().writeFile(std::string(kInfFolderPath) + "\\ZelvaranSERWAVE.inf", "wave inf");

  rq47set::ArchivePreviousVersion(context());

  EXPECT_EQ(CallsOf("CopyFileA").size(), 56u);
  EXPECT_EQ(ArchivedNames(), (std::vector<std::string>{"SERWAVE.INF", "ZQRTMODM.INF"}));
  EXPECT_TRUE(run().messageBoxes().empty());
}

TEST_F(ArchiveTest, SourcesAreLeftInPlace) {
  AddInstalledFiles();
  machine().writeFile(std::string(kKitFolderPath) + "\\data1.cab", "kit data1.cab");
  MachineSnapshot before = Snapshot(machine());

  rq47set::ArchivePreviousVersion(context());

  EXPECT_TRUE(ChangedOnly(before, machine(), {kBackupFolderPath}));
  EXPECT_EQ(Archived("data1.cab"), "kit data1.cab");
}

TEST_F(ArchiveTest, ASecondArchiveOverwritesByNameAndKeepsTheRest) {
  machine().writeFile(std::string(kBackupFolderPath) + "\\zca.cpl", "first upgrade's zca.cpl");
  machine().writeFile(std::string(kBackupFolderPath) + "\\brazil.hlp",
                      "first upgrade's brazil.hlp");
  machine().writeFile(std::string(kProgramFolderPath) + "\\zca.cpl", "second upgrade's zca.cpl");

  rq47set::ArchivePreviousVersion(context());

  EXPECT_EQ(Archived("zca.cpl"), "second upgrade's zca.cpl");
  EXPECT_EQ(Archived("brazil.hlp"), "first upgrade's brazil.hlp");
}

// Files that are not there are passed over; the first that is there and
// cannot be copied (here for want of a backup folder) ends the archive.
TEST_F(ArchiveTest, WithoutABackupFolderTheFirstFileThereFailsTheArchive) {
  std::filesystem::remove_all(machine().hostPath(kBackupFolderPath));
  machine().writeFile(std::string(kProgramFolderPath) + "\\zca.cpl", "program zca.cpl");

  EXPECT_EQ(rq47set::ArchivePreviousVersion(context()), rq47set::Archive::kFailed);

  std::vector<std::string> copies = CallsOf("CopyFileA");
  ASSERT_FALSE(copies.empty());
  EXPECT_NE(copies.back().find(TraceQuoted(std::string(kProgramFolderPath) + "\\zca.cpl")),
            std::string::npos);
  // 20 before it; the kit's zca.cpl, which the program folder's replaces, is not copied
  EXPECT_EQ(copies.size(), 21u);
  EXPECT_FALSE(machine().exists(kBackupFolderPath));
  EXPECT_TRUE(run().messageBoxes().empty());
}

// A copy that fails for any reason but a missing source stops the upgrade
// before anything of the previous version is removed, whichever copy it is:
// one of the 56 documented copies, or a copy of a file the upgrade deletes.
TEST(ArchiveFailure, EachCopyFailingStopsTheUpgradeBeforeAnythingIsRemoved) {
  const uint32_t kErrors[] = {ERROR_DISK_FULL, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION};
  // Which of the copies find their source, as a clean upgrade makes them.
  std::vector<bool> sourceThere;
  {
    auto clean = TestMachine::CopyOf("win95-previous");
    clean->run();
    ASSERT_EQ(rq47set::RunSetup(), 0);
    for (const std::string& line : clean->run().trace()) {
      if (line.rfind("CopyFileA(", 0) == 0 && line.find("zelbak95") != std::string::npos) {
        sourceThere.push_back(line.find(") = TRUE") != std::string::npos);
      }
    }
  }
  // The 56 documented copies but the 18 from the kit that the program
  // folder's files replace, then the three drivers of the System and of the
  // Windows directory and the two INF files.
  ASSERT_EQ(sourceThere.size(), 46u);

  for (unsigned copy = 1; copy <= sourceThere.size(); ++copy) {
    SCOPED_TRACE("copy " + std::to_string(copy));
    auto m = TestMachine::CopyOf("win95-previous");
    MachineSnapshot before = Snapshot(*m);
    m->run().addFault({"CopyFileA", "zelbak95", copy, kErrors[copy % 3]});

    int exitCode = rq47set::RunSetup();

    if (!sourceThere[copy - 1]) {  // a file that is not there is passed over
      EXPECT_EQ(exitCode, 0);
      EXPECT_FALSE(m->keyExists(kServiceKeyPath));
      continue;
    }
    EXPECT_EQ(exitCode, 101) << "the previous version could not be archived";
    ASSERT_EQ(m->run().messageBoxes().size(), 2u);
    EXPECT_EQ(m->run().messageBoxes()[1].caption, kUpgradeCaption);
    EXPECT_NE(m->run().messageBoxes()[1].text.find("could not be archived"), std::string::npos);
    EXPECT_TRUE(ChangedOnly(before, *m, {kBackupFolderPath}));
  }
}

// A backup copy that cannot be replaced counts as made only when it holds
// the file's bytes already.
TEST_F(ArchiveTest, AReadOnlyBackupCopyCountsOnlyWithTheSameBytes) {
  const std::string source = std::string(kProgramFolderPath) + "\\zca.cpl";
  const std::string copy = std::string(kBackupFolderPath) + "\\zca.cpl";
  const std::string large(3000, 'z');  // longer than one block of the comparison
  const struct {
    std::string sourceBytes;
    std::string copyBytes;
    rq47set::Archive result;
  } kCases[] = {
      {large, large, rq47set::Archive::kMade},
      {large, large + "z", rq47set::Archive::kFailed},
      {large + "a", large + "b", rq47set::Archive::kFailed},
      {"", "", rq47set::Archive::kMade},
  };
  for (const auto& c : kCases) {
    machine().writeFile(source, c.sourceBytes);
    std::error_code notThereYet;
    std::filesystem::permissions(machine().hostPath(copy), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, notThereYet);
    machine().writeFile(copy, c.copyBytes);
    std::filesystem::permissions(machine().hostPath(copy), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_EQ(rq47set::ArchivePreviousVersion(context()), c.result) << c.copyBytes.size();
    EXPECT_EQ(Archived("zca.cpl"), c.copyBytes);
  }
}

// The failed archive asks for Setup to be run again. A package copied from
// a CD keeps its files read-only, as some machines keep their drivers, and so
// do the copies that the failed run made of them in the backup folder: the
// next run finishes the upgrade all the same.
TEST(ArchiveFailure, TheRunAfterAFailedArchiveFinishesTheUpgrade) {
  for (const char* readOnlyFolder : {kProgramFolderPath, "C:\\WINDOWS\\SYSTEM"}) {
    SCOPED_TRACE(readOnlyFolder);
    auto m = TestMachine::CopyOf("win95-previous");
    const std::optional<std::string> driver = m->readFile("C:\\WINDOWS\\SYSTEM\\zelvcd.vxd");
    for (const auto& entry : std::filesystem::directory_iterator(m->hostPath(readOnlyFolder))) {
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::remove);
    }
    m->run().addFault({"CopyFileA", "SYSTEM\\\\zelvcd.vxd", 1, ERROR_SHARING_VIOLATION});
    ASSERT_EQ(rq47set::RunSetup(), 101);

    m->newRun();
    EXPECT_EQ(rq47set::RunSetup(), 0);
    EXPECT_FALSE(m->keyExists(kServiceKeyPath));
    EXPECT_EQ(m->readFile(std::string(kBackupFolderPath) + "\\System\\zelvcd.vxd"), driver);
  }
}

TEST_F(ArchiveTest, TheKitFolderIsOnTheCurrentDrive) {
  ASSERT_TRUE(CopyText(context().driveRoot, "D:\\"));
  machine().writeFile("D:\\Program Files\\Zelset95\\setup.exe", "kit on D:");
  machine().writeFile(std::string(kKitFolderPath) + "\\setup.exe", "kit on C:");

  rq47set::ArchivePreviousVersion(context());

  EXPECT_EQ(Archived("setup.exe"), "kit on D:");
}

TEST_F(ArchiveTest, WithoutADriveRootTheKitFolderIsRelativeToTheCurrentDirectory) {
  context().driveRoot[0] = '\0';
  machine().writeFile("C:\\KITS\\Program Files\\Zelset95\\setup.exe", "kit below C:\\KITS");
  machine().writeFile(std::string(kKitFolderPath) + "\\setup.exe", "kit at the root");
  run().currentDirectory = "C:\\KITS";

  rq47set::ArchivePreviousVersion(context());

  EXPECT_EQ(Archived("setup.exe"), "kit below C:\\KITS");
  ASSERT_FALSE(CallsOf("CopyFileA").empty());
  EXPECT_NE(CallsOf("CopyFileA")[0].find(TraceQuoted("Progra~1\\Zelset95\\brazil.hlp")),
            std::string::npos);
}

}  // namespace
}  // namespace rq47test
