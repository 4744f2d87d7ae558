#include "driver_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

#include "test_machine.h"
#include "text_file.h"

namespace {

constexpr char kIni[] = "C:\\WINDOWS\\system.ini";
constexpr char kNew[] = "C:\\WINDOWS\\system.new";
constexpr char kDriver[] = "device = zelvcd.vxd\r\n";

const std::string kTypicalIni =
    "[boot]\r\n"
    "shell=Explorer.exe\r\n"
    "[386Enh]\r\n"
    "device=*vcd\r\n"
    "device=*vpd\r\n"
    "[drivers]\r\n"
    "wave=mmsystem.dll\r\n";

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

class DriverLine : public ::testing::Test {
 protected:
  void SetUp() override { machine.run(); }
  void TearDown() override { EXPECT_EQ(machine.run().openHandleCount(), 0u); }

  void addTo(const std::string& content) {
    machine.writeFile(kIni, content);
    AddDriverLine();
  }
  void removeFrom(const std::string& content) {
    machine.writeFile(kIni, content);
    RemoveDriverLine();
  }
  std::string ini() { return machine.readFile(kIni).value(); }
  bool tempCopyLeft() { return machine.exists(kNew); }

  rq47test::TestMachine machine;
};

TEST_F(DriverLine, AddPutsTheDriverLineAfterTheVcdLine) {
  addTo(kTypicalIni);
  EXPECT_EQ(ini(), "[boot]\r\nshell=Explorer.exe\r\n[386Enh]\r\ndevice=*vcd\r\n" +
                       std::string(kDriver) + "device=*vpd\r\n[drivers]\r\nwave=mmsystem.dll\r\n");
  EXPECT_FALSE(tempCopyLeft());
}

TEST_F(DriverLine, AddWithoutVcdRewritesTheSameLinesWithCrLf) {
  std::string lfOnly = "[boot]\nshell=Explorer.exe\n[386Enh]\ndevice=*vpd\n";
  addTo(lfOnly);
  EXPECT_EQ(ini(), "[boot]\r\nshell=Explorer.exe\r\n[386Enh]\r\ndevice=*vpd\r\n");
  EXPECT_FALSE(tempCopyLeft());
}

TEST_F(DriverLine, CrLfAndLfInputGiveTheSameFile) {
  std::string lfOnly = kTypicalIni;
  lfOnly.erase(std::remove(lfOnly.begin(), lfOnly.end(), '\r'), lfOnly.end());
  addTo(kTypicalIni);
  std::string fromCrLf = ini();
  addTo(lfOnly);
  EXPECT_EQ(ini(), fromCrLf);
  removeFrom(fromCrLf);
  std::string removedCrLf = ini();
  std::string fromCrLfNoCr = fromCrLf;
  fromCrLfNoCr.erase(std::remove(fromCrLfNoCr.begin(), fromCrLfNoCr.end(), '\r'),
                     fromCrLfNoCr.end());
  removeFrom(fromCrLfNoCr);
  EXPECT_EQ(ini(), removedCrLf);
}

TEST_F(DriverLine, AddMatchesAnywhereInALineButOnlyInExactCase) {
  std::string content =
      ";device=*vcd was here\r\n"
      "DEVICE=*VCD\r\n"
      "[Other]\r\n"
      "x=prefix*vcdsuffix\r\n"
      "y=*Vcd\r\n";
  addTo(content);
  EXPECT_EQ(ini(), ";device=*vcd was here\r\n" + std::string(kDriver) +
                       "DEVICE=*VCD\r\n[Other]\r\nx=prefix*vcdsuffix\r\n" + kDriver + "y=*Vcd\r\n");
}

TEST_F(DriverLine, AddAddsAgainOnEveryCallAndRemoveClearsThemAll) {
  addTo("a\r\ndevice=*vcd\r\nb\r\n");
  AddDriverLine();
  EXPECT_EQ(ini(), "a\r\ndevice=*vcd\r\n" + std::string(kDriver) + kDriver + "b\r\n");
  RemoveDriverLine();
  EXPECT_EQ(ini(), "a\r\ndevice=*vcd\r\n    b\r\n");
  RemoveDriverLine();
  EXPECT_EQ(ini(), "a\r\ndevice=*vcd\r\n    b\r\n");
  EXPECT_FALSE(tempCopyLeft());
}

TEST_F(DriverLine, ALastVcdLineWithoutLineFeedGetsTheDriverLineOnItsOwnLine) {
  addTo("[386Enh]\r\ndevice=*vcd");
  EXPECT_EQ(ini(), "[386Enh]\r\ndevice=*vcd\r\n" + std::string(kDriver));
  // Any other last line keeps its missing line feed.
  addTo("[386Enh]\r\ndevice=*vpd");
  EXPECT_EQ(ini(), "[386Enh]\r\ndevice=*vpd");
}

TEST_F(DriverLine, RemoveJoinsTheBlanksToTheNextLine) {
  removeFrom("A\r\ndevice = zelvcd.vxd\r\nB\r\n");
  EXPECT_EQ(ini(), "A\r\n  B\r\n");
  EXPECT_FALSE(tempCopyLeft());
}

TEST_F(DriverLine, RemoveOfALastDriverLineWithoutLineFeedLeavesTwoBlanksAtTheEnd) {
  removeFrom("A\r\ndevice = zelvcd.vxd");
  EXPECT_EQ(ini(), "A\r\n  ");
  // A last line without a match keeps its text and its missing line feed.
  removeFrom("A\r\nB");
  EXPECT_EQ(ini(), "A\r\nB");
}

// The driver line in capitals is still the driver line, as Windows reads it.
TEST_F(DriverLine, RemoveMatchesExactCaseAnywhere) {
  removeFrom(
      ";zelvcd comment\r\n;ZELVCD comment\r\nDEVICE=ZELVCD.VXD\r\n[x]\r\nk=pre_zelvcd_post\r\n"
      "z\r\n");
  EXPECT_EQ(ini(), "  ;ZELVCD comment\r\n  [x]\r\n  z\r\n");
}

TEST_F(DriverLine, LongLinesStayWholeAndAreMatchedWhole) {
  for (size_t length : {size_t{255}, size_t{256}, size_t{100000}}) {
    SCOPED_TRACE(length);
    std::string plain(length, 'p');
    addTo("a\r\n" + plain + "\r\nb\r\n");
    EXPECT_EQ(ini(), "a\r\n" + plain + "\r\nb\r\n");
    removeFrom("a\r\n" + plain + "\r\nb\r\n");
    EXPECT_EQ(ini(), "a\r\n" + plain + "\r\nb\r\n");

    // The match text at the very end, and across the 255th character.
    std::string vcdAtEnd = std::string(length - 4, 'v') + "*vcd";
    addTo(vcdAtEnd + "\r\nb\r\n");
    EXPECT_EQ(ini(), vcdAtEnd + "\r\n" + kDriver + "b\r\n");
    std::string vcdAcross = std::string(length, 'v');
    vcdAcross.replace(std::min<size_t>(252, length - 4), 4, "*vcd");
    addTo(vcdAcross + "\r\n");
    EXPECT_EQ(ini(), vcdAcross + "\r\n" + kDriver);

    std::string driverInside = std::string(length, 'd');
    driverInside.replace(length / 2 - 3, 6, "zelvcd");
    removeFrom("a\r\n" + driverInside + "\r\nb\r\n");
    EXPECT_EQ(ini(), "a\r\n  b\r\n");
  }
}

TEST_F(DriverLine, LinesLongerThanABlockAreMatchedWhole) {
  std::string huge(2 * kTextFileBlockSize + 17, 'h');
  // After "a\r\n", this puts the match text across the first block boundary.
  huge.replace(kTextFileBlockSize - 5, 4, "*vcd");
  addTo("a\r\n" + huge + "\r\nb");
  EXPECT_EQ(ini(), "a\r\n" + huge + "\r\n" + kDriver + "b");
  EXPECT_EQ(Count(ini(), "zelvcd"), 1u);
}

// A Ctrl-Z in the middle of system.ini ends nothing: every line after it is
// kept, and matched as any other.
TEST_F(DriverLine, CtrlZIsKeptAndTheLinesAfterItToo) {
  addTo("a\r\n\x1a\r\n[386Enh]\r\ndevice=*vcd\r\ntrailing\r\n\x1a");
  EXPECT_EQ(ini(),
            "a\r\n\x1a\r\n[386Enh]\r\ndevice=*vcd\r\n" + std::string(kDriver) + "trailing\r\n\x1a");
  removeFrom("a\r\nb\x1a\r\nzelvcd\r\n[drivers]\r\n");
  EXPECT_EQ(ini(), "a\r\nb\x1a\r\n  [drivers]\r\n");
}

TEST_F(DriverLine, LoneCarriageReturnsAndNulBytesAreKept) {
  std::string odd("k=a\rb\r\nn=x\0y\r\n", 15);
  addTo(odd);
  EXPECT_EQ(ini(), odd);
  removeFrom(odd);
  EXPECT_EQ(ini(), odd);
  std::string nulThenMatch("d=\0*vcd\r\n", 9);
  addTo(nulThenMatch);
  EXPECT_EQ(ini(), nulThenMatch + kDriver);
}

// Windows also ends a line of system.ini at a lone CR: of a file whose lines
// end that way, only the piece that names the driver goes, with its CR.
TEST_F(DriverLine, RemoveTakesLinesEndedByLoneCarriageReturnsOneByOne) {
  removeFrom(
      "[boot]\rshell=Explorer.exe\r[386Enh]\rdevice=*vcd\rdevice = zelvcd.vxd\r"
      "device=*vpd\r");
  EXPECT_EQ(ini(), "[boot]\rshell=Explorer.exe\r[386Enh]\rdevice=*vcd\r  device=*vpd\r");
  // A last piece that names the driver goes with the line feed, as a whole line does.
  removeFrom("a\rzelvcd\r\nb\r\n");
  EXPECT_EQ(ini(), "a\r  b\r\n");
  removeFrom("a\rdevice = zelvcd.vxd\nb\rc");
  EXPECT_EQ(ini(), "a\r  b\rc");
}

// The rewrite that adds the line takes lines as the removal does, so a file
// whose lines end in a lone CR gets the line right after "*vcd", not at the
// end of the file; removed again, the rest is as it was but for two blanks.
TEST_F(DriverLine, AddTakesLinesEndedByLoneCarriageReturnsAsTheRemovalDoes) {
  const std::string loneCr = "[386Enh]\rdevice=*vcd\rdevice=*vpd\r[drivers]\rwave=x\r";
  addTo(loneCr);
  EXPECT_EQ(ini(),
            "[386Enh]\rdevice=*vcd\r" + std::string(kDriver) + "device=*vpd\r[drivers]\rwave=x\r");
  EXPECT_FALSE(NeedsDriverLine());
  RemoveDriverLine();
  EXPECT_EQ(ini(), "[386Enh]\rdevice=*vcd\r  device=*vpd\r[drivers]\rwave=x\r");
  // A "*vcd" piece that ends the file without a line end.
  addTo("[386Enh]\rdevice=*vcd");
  EXPECT_EQ(ini(), "[386Enh]\rdevice=*vcd\r\n" + std::string(kDriver));
}

// Windows reads the file name on the line without regard to case: a driver
// line written by hand in capitals is the line, taken away by the removal.
TEST_F(DriverLine, RemoveTakesTheDriverLineInAnyCase) {
  removeFrom("[386Enh]\r\ndevice=*vcd\r\n Device = ZELVCD.VXD\r\ndevice=*vpd\r\n");
  EXPECT_EQ(ini(), "[386Enh]\r\ndevice=*vcd\r\n  device=*vpd\r\n");
}

TEST_F(DriverLine, AnEmptySystemIniStaysEmpty) {
  addTo("");
  EXPECT_EQ(ini(), "");
  removeFrom("");
  EXPECT_EQ(ini(), "");
  EXPECT_FALSE(tempCopyLeft());
}

TEST_F(DriverLine, WithoutSystemIniNothingIsWritten) {
  ASSERT_FALSE(machine.exists(kIni));
  AddDriverLine();
  RemoveDriverLine();
  EXPECT_FALSE(machine.exists(kIni));
  EXPECT_FALSE(tempCopyLeft());
}

TEST_F(DriverLine, AStaleTemporaryCopyIsReplacedAndRemoved) {
  machine.writeFile(kNew, "left over from an earlier failure\r\n");
  addTo(kTypicalIni);
  EXPECT_EQ(Count(ini(), "left over"), 0u);
  EXPECT_EQ(Count(ini(), kDriver), 1u);
  EXPECT_FALSE(tempCopyLeft());
}

TEST_F(DriverLine, ATemporaryCopyThatCannotBeMadeLeavesSystemIniUntouched) {
  machine.writeFile(kIni, kTypicalIni);
  machine.run().addFault({"CreateFileA", "system.new", 0, 0});
  AddDriverLine();
  RemoveDriverLine();
  EXPECT_EQ(ini(), kTypicalIni);
  EXPECT_FALSE(tempCopyLeft());
}

TEST_F(DriverLine, AFailedWriteLeavesSystemIniUntouchedAndThePartialCopy) {
  std::string big = kTypicalIni + std::string(3 * kTextFileBlockSize, 'x') + "\r\n";
  machine.writeFile(kIni, big);
  machine.run().addFault({"WriteFile", "", 2, 0});
  AddDriverLine();
  EXPECT_EQ(ini(), big);
  ASSERT_TRUE(tempCopyLeft());
  EXPECT_EQ(machine.readFile(kNew)->size(), kTextFileBlockSize) << "the first block only";

  machine.run().clearFaults();
  machine.run().addFault({"WriteFile", "", 0, 0});
  RemoveDriverLine();
  EXPECT_EQ(ini(), big);
}

TEST_F(DriverLine, AFailedWriteOfTheLastBufferedLinesIsAFailureToo) {
  machine.writeFile(kIni, kTypicalIni);
  machine.run().addFault({"WriteFile", "", 0, 0});
  AddDriverLine();
  EXPECT_EQ(ini(), kTypicalIni);
}

TEST_F(DriverLine, AReadErrorLeavesSystemIniUntouchedAndNoTemporaryCopy) {
  std::string big = kTypicalIni + std::string(2 * kTextFileBlockSize, 'r') + "\r\nend\r\n";
  machine.writeFile(kIni, big);
  machine.run().addFault({"ReadFile", "", 2, 0});
  AddDriverLine();
  EXPECT_EQ(ini(), big);
  EXPECT_FALSE(tempCopyLeft());

  machine.run().clearFaults();
  machine.run().addFault({"ReadFile", "", 1, 0});
  RemoveDriverLine();
  EXPECT_EQ(ini(), big);
  EXPECT_FALSE(tempCopyLeft());
}

// Memory the heap cannot give fails like a read: system.ini stays as it was
// and no temporary copy is left.
TEST_F(DriverLine, MemoryTheHeapCannotGiveLeavesSystemIniUntouched) {
  // The reader's block, the writer's, the room for a line longer than a
  // block, and that room's growth.
  std::string big = kTypicalIni + "zelvcd " + std::string(kTextFileBlockSize, 'm') + "\r\n";
  machine.writeFile(kIni, big);
  for (unsigned failing : {1u, 2u, 3u, 4u}) {
    for (void (*rewrite)() : {AddDriverLine, RemoveDriverLine}) {
      machine.run().clearFaults();
      machine.run().addFault({"HeapAlloc", "", failing, 0});
      rewrite();
      EXPECT_EQ(ini(), big) << "allocation " << failing;
      EXPECT_FALSE(tempCopyLeft());
    }
  }
  EXPECT_EQ(machine.run().heapBlockCount(), 0u);
}

TEST_F(DriverLine, AFailedCopyBackKeepsSystemIniAndStillDeletesTheCopy) {
  machine.writeFile(kIni, kTypicalIni);
  machine.run().addFault({"CopyFileA", "system.new", 0, 0});
  AddDriverLine();
  EXPECT_EQ(ini(), kTypicalIni);
  EXPECT_FALSE(tempCopyLeft());
}

TEST_F(DriverLine, AFailedDeletionLeavesTheCopyBehind) {
  machine.writeFile(kIni, kTypicalIni);
  machine.run().addFault({"DeleteFileA", "system.new", 0, 0});
  AddDriverLine();
  EXPECT_EQ(Count(ini(), kDriver), 1u);
  EXPECT_TRUE(tempCopyLeft());
}

TEST_F(DriverLine, AWindowsDirectoryThatCannotBeAskedIsAFailure) {
  machine.writeFile(kIni, kTypicalIni);
  machine.run().addFault({"GetWindowsDirectoryA", "", 0, 0});
  AddDriverLine();
  EXPECT_EQ(ini(), kTypicalIni);
}

// The check that lets a caller add the driver line once and see that it went in.
TEST_F(DriverLine, TheDriverLineIsNeededWhileAVcdLineLacksIt) {
  machine.writeFile(kIni, kTypicalIni);
  EXPECT_TRUE(NeedsDriverLine());
  AddDriverLine();
  EXPECT_FALSE(NeedsDriverLine());

  // Only the driver line itself, directly after a "*vcd" line, loads the driver.
  const std::pair<std::string, bool> kFiles[] = {
      {"[386Enh]\r\ndevice=*vpd\r\n", false},  // no place for it
      {"[386Enh]\r\ndevice=*VCD\r\n", false},
      {"[386Enh]\r\ndevice=*vcd", true},  // a last line without line feed
      {"[386Enh]\r\ndevice=*vcd\r\n \tdevice = zelvcd.vxd\t \r\n", false},  // blanks aside
      // Lines as the rewrite takes them: a lone CR ends a line.
      {"[386Enh]\r\ndevice=*vcd\rdevice = zelvcd.vxd\r\n", false},
      {"[386Enh]\rdevice=*vcd\rdevice=*vpd\rdevice = zelvcd.vxd\r", true},
      {"\x1a\r\n[386Enh]\r\ndevice=*vcd\r\n" + std::string(kDriver), false},  // after a Ctrl-Z
      {"[386Enh]\r\ndevice=*vcd\x1a\r\n", true},
      {"[boot.description]\r\n; zelvcd.vxd is the modem's DOS box driver\r\n"
       "[386Enh]\r\ndevice=*vcd\r\n",
       true},
      {"[386Enh]\r\ndevice=*vcd\r\n;device = zelvcd.vxd\r\n", true},  // commented out
      {"[386Enh]\r\ndevice=*vcd\r\ndevice = ZELVCD.VXD\r\n", false},  // any case
      // Blanks around the equals sign aside, as Windows reads the setting.
      {"[386Enh]\r\ndevice=*vcd\r\ndevice=zelvcd.vxd\r\n", false},
      {"[386Enh]\r\ndevice=*vcd\r\nDEVICE\t= zelvcd.vxd\r\n", false},
      {"[386Enh]\r\ndevice=*vcd\r\ndevice=C:\\WINDOWS\\SYSTEM\\ZELVCD.VXD\r\n", false},  // a path
      {"[386Enh]\r\ndevice=*vcd\r\ndevice=zelvcd.vxd.old\r\n", true},  // another file
      {"[386Enh]\r\ndevice=*vcd\r\ndevice=C:\\old_zelvcd.vxd\r\n", true},
      {"[386Enh]\r\ndevice=*vcd\r\ndevices=zelvcd.vxd\r\n", true},  // another setting
      {"[386Enh]\r\ndevice=*vcd\r\ndevice zelvcd.vxd\r\n", true},   // no setting at all
      {"[386Enh]\r\ndevice=*vcd\r\ndevice=*vpd\r\ndevice = zelvcd.vxd\r\n", true},
      {"device = zelvcd.vxd\r\n[386Enh]\r\ndevice=*vcd\r\n", true},  // before, not after
  };
  for (const auto& [content, needed] : kFiles) {
    SCOPED_TRACE(content);
    machine.writeFile(kIni, content);
    EXPECT_EQ(NeedsDriverLine(), needed);
    EXPECT_EQ(ini(), content) << "only read";
  }
}

// Nothing read says the line is there, so it is still needed.
TEST_F(DriverLine, ASystemIniThatCannotBeReadStillNeedsTheDriverLine) {
  EXPECT_TRUE(NeedsDriverLine()) << "no system.ini";

  std::string big = "[boot]\r\n" + std::string(2 * kTextFileBlockSize, 'r') +
                    "\r\n[386Enh]\r\ndevice=*vcd\r\n" + kDriver;
  machine.writeFile(kIni, big);
  EXPECT_FALSE(NeedsDriverLine());
  machine.run().addFault({"ReadFile", "", 2, 0});
  EXPECT_TRUE(NeedsDriverLine()) << "a read error before the driver line";
  machine.run().clearFaults();
  machine.run().addFault({"CreateFileA", "system.ini", 0, 0});
  EXPECT_TRUE(NeedsDriverLine());
  machine.run().clearFaults();
  machine.run().addFault({"GetWindowsDirectoryA", "", 0, 0});
  EXPECT_TRUE(NeedsDriverLine());
}

// A path of exactly `length` characters below C:, in folders of legal length.
std::string DirectoryOfLength(size_t length) {
  std::string directory = "C:";
  while (directory.size() < length) {
    size_t left = length - directory.size();
    size_t part = std::min<size_t>(left, 60);
    if (left - part == 1) part = 50;
    directory += "\\" + std::string(part - 1, 'D');
  }
  return directory;
}

// Any Windows directory below which system.ini can still be named (a path of
// less than MAX_PATH characters) works.
TEST(DriverLineWindowsDirectory, TheLongestDirectoryThatFitsWorksAndALongerOneFails) {
  for (size_t length : {size_t{248}, size_t{249}}) {
    SCOPED_TRACE(length);
    winsim::MachineConfig config;
    config.windowsDirectory = DirectoryOfLength(length);
    ASSERT_EQ(config.windowsDirectory.size(), length);
    config.systemDirectory = "C:\\SYSTEM";
    config.currentDirectory = "C:\\";
    rq47test::TestMachine machine(config);
    machine.run();
    std::string ini = config.windowsDirectory + "\\system.ini";
    machine.writeFile(ini, kTypicalIni);
    AddDriverLine();
    if (length == 248) {
      EXPECT_EQ(Count(machine.readFile(ini).value(), kDriver), 1u);
    } else {
      EXPECT_EQ(machine.readFile(ini).value(), kTypicalIni);
    }
    EXPECT_FALSE(machine.exists(config.windowsDirectory + "\\system.new"));
  }
}

}  // namespace
