// winsim new, run as a person runs it: the machine it makes, and the folders
// it refuses, leaving nothing behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "child_process.h"
#include "test_machine.h"
#include "tool_runner.h"
#include "winsim/machine.h"
#include "winsim/machine_hold.h"

namespace rq47test {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Nothing but the named entries in the folder: no half-made machine beside them.
std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// What a shipped machine holds, without the lock another test's `new` may be
// holding on it just then.
std::map<std::string, std::string> ShippedContents(const std::string& name) {
  TempDir dir;
  CopyShippedMachine(name, dir.path());
  return FolderContents(dir.path());
}

TEST(NewCommand, CopiesTheDefaultShippedMachine) {
  TempDir dir;
  fs::path target = dir.path() / "pc";
  ToolResult result = RunTool({"new", target.string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(Contains(result.out, "win98se")) << result.out;
  EXPECT_TRUE(Contains(result.out, "64 MB")) << result.out;
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"pc"});
  EXPECT_EQ(FolderContents(target), ShippedContents("win98se"));
}

TEST(NewCommand, AnEmptyExistingFolderIsFilled) {
  TempDir dir;
  fs::create_directory(dir.path() / "pc");
  ToolResult result = RunTool({"new", (dir.path() / "pc").string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NO_THROW(winsim::Machine::load(dir.path() / "pc"));
}

TEST(NewCommand, FromAnotherMachineByNameOrByPath) {
  TempDir dir;
  // A folder of shipped machines of its own, named by --machines or WINSIM_MACHINES.
  fs::path shelf = dir.path() / "shelf";
  fs::create_directories(shelf);
  winsim::MachineConfig config;
  config.processorType = 486;
  config.totalMemory = 16 * 1024 * 1024;
  winsim::Machine::create(shelf / "old486", config);
  fs::create_directories(shelf / "not-a-machine");

  ToolResult byOption = RunTool(
      {"new", (dir.path() / "a").string(), "--machines", shelf.string(), "--from", "old486"});
  ASSERT_EQ(byOption.exitCode, 0) << byOption.err;
  EXPECT_TRUE(Contains(byOption.out, "processor 486")) << byOption.out;
  EXPECT_EQ(FolderContents(dir.path() / "a"), FolderContents(shelf / "old486"));

  ToolResult byEnvironment = RunTool({"new", (dir.path() / "b").string(), "--from=old486"},
                                     {{"WINSIM_MACHINES", shelf.string()}});
  ASSERT_EQ(byEnvironment.exitCode, 0) << byEnvironment.err;
  EXPECT_EQ(winsim::Machine::load(dir.path() / "b").config.processorType, 486u);

  ToolResult byPath =
      RunTool({"new", (dir.path() / "c").string(), "--from", (shelf / "old486").string()});
  ASSERT_EQ(byPath.exitCode, 0) << byPath.err;
  EXPECT_EQ(FolderContents(dir.path() / "c"), FolderContents(shelf / "old486"));

  // A read-only machine (no run can hold it) is copied as it is.
  fs::permissions(shelf / "old486", fs::perms::owner_write, fs::perm_options::remove);
  ToolResult readOnly =
      RunTool({"new", (dir.path() / "r").string(), "--from", (shelf / "old486").string()});
  fs::permissions(shelf / "old486", fs::perms::owner_write, fs::perm_options::add);
  ASSERT_EQ(readOnly.exitCode, 0) << readOnly.err;
  EXPECT_EQ(FolderContents(dir.path() / "r"), FolderContents(shelf / "old486"));

  // A name that is not there: the machines that are, and nothing made.
  ToolResult unknown = RunTool(
      {"new", (dir.path() / "d").string(), "--machines", shelf.string(), "--from", "win2000"});
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_TRUE(Contains(unknown.err, "'win2000'")) << unknown.err;
  EXPECT_TRUE(Contains(unknown.err, "the shipped machines are: old486")) << unknown.err;
  EXPECT_FALSE(fs::exists(dir.path() / "d"));
}

TEST(NewCommand, EmptyMakesAValidMachineWithNothingInIt) {
  TempDir dir;
  ToolResult result = RunTool({"new", (dir.path() / "blank").string(), "--empty"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  winsim::Machine machine = winsim::Machine::load(dir.path() / "blank");
  EXPECT_EQ(machine.registry.root(winsim::Root::LocalMachine).subkeyCount(), 0u);
  EXPECT_TRUE(fs::is_directory(dir.path() / "blank" / "drive_c" / "WINDOWS" / "SYSTEM"));
}

TEST(NewCommand, RefusesWhatItCannotUseAndChangesNothing) {
  TempDir dir;
  fs::path busy = dir.path() / "busy";
  fs::create_directories(busy);
  WriteWhole(busy / "notes.txt", "mine");
  ToolResult notEmpty = RunTool({"new", busy.string()});
  EXPECT_EQ(notEmpty.exitCode, 1);
  EXPECT_TRUE(Contains(notEmpty.err, busy.string())) << notEmpty.err;
  EXPECT_TRUE(Contains(notEmpty.err, "not empty")) << notEmpty.err;
  EXPECT_EQ(Entries(busy), std::vector<std::string>{"notes.txt"});

  WriteWhole(dir.path() / "file", "x");
  ToolResult aFile = RunTool({"new", (dir.path() / "file").string()});
  EXPECT_EQ(aFile.exitCode, 1);
  EXPECT_TRUE(Contains(aFile.err, "not a folder")) << aFile.err;

  ToolResult noParent = RunTool({"new", (dir.path() / "missing" / "pc").string()});
  EXPECT_EQ(noParent.exitCode, 1);
  EXPECT_TRUE(Contains(noParent.err, "does not exist; make it first")) << noParent.err;

  // A machine to copy that does not load is not copied: its fault is named.
  fs::path broken = dir.path() / "broken";
  winsim::Machine::create(broken);
  WriteWhole(broken / "machine.ini", "[Windows]\nPlatform=1\n[Nonsense]\n");
  ToolResult badSource =
      RunTool({"new", (dir.path() / "copy").string(), "--from", broken.string()});
  EXPECT_EQ(badSource.exitCode, 1);
  EXPECT_TRUE(Contains(badSource.err, "machine.ini:3")) << badSource.err;
  EXPECT_FALSE(fs::exists(dir.path() / "copy"));

  // Nor one holding what no drive shows and no copy takes: the entry is named.
  fs::path piped = dir.path() / "piped";
  winsim::Machine::create(piped);
  ASSERT_EQ(::mkfifo((piped / "drive_c" / "WINDOWS" / "pipe").c_str(), 0644), 0);
  ToolResult special = RunTool({"new", (dir.path() / "copy").string(), "--from", piped.string()});
  EXPECT_EQ(special.exitCode, 1);
  EXPECT_TRUE(Contains(special.err, "drive_c/WINDOWS/pipe in it is a pipe")) << special.err;
  EXPECT_FALSE(fs::exists(dir.path() / "copy"));

  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"broken", "busy", "file", "piped"}));
}

// The copy's summary counts what drive C: shows: links lead outside the
// machine (a drive folder that is one could lead to the whole host).
TEST(NewCommand, TheSummaryFollowsNoLinkOutOfTheMachine) {
  TempDir dir;
  const fs::path outside = dir.path() / "outside";
  fs::create_directories(outside / "folder");
  for (const char* name : {"a.txt", "b.txt", "folder/c.txt"}) WriteWhole(outside / name, "x");
  const struct {
    const char* what;
    std::function<void(const fs::path& drive)> plant;
    const char* said;
  } cases[] = {
      {"drive C: a link",
       [&](const fs::path& drive) {
         fs::remove_all(drive);
         fs::create_directory_symlink(outside, drive);
       },
       ", 0 files on drive C:"},
      {"links in drive C:",
       [&](const fs::path& drive) {
         WriteWhole(drive / "own.txt", "x");
         fs::create_directory_symlink(outside, drive / "WINDOWS" / "away");
         fs::create_symlink(outside / "a.txt", drive / "a.txt");
       },
       ", 1 file on drive C:"},
  };
  for (const auto& trial : cases) {
    const fs::path source = dir.path() / "source";
    winsim::MachineConfig config;  // Windows on D:, so that C: may be anything
    config.windowsDirectory = config.currentDirectory = "D:\\WINDOWS";
    config.systemDirectory = "D:\\WINDOWS\\SYSTEM";
    winsim::Machine::create(source, config);
    fs::create_directories(source / "drive_c" / "WINDOWS");
    trial.plant(source / "drive_c");
    ToolResult made = RunTool({"new", (dir.path() / "copy").string(), "--from", source.string()});
    ASSERT_EQ(made.exitCode, 0) << trial.what << "\n" << made.err;
    EXPECT_TRUE(Contains(made.out, trial.said)) << trial.what << "\n" << made.out;
    fs::remove_all(source);
    fs::remove_all(dir.path() / "copy");
  }
}

TEST(NewCommand, WrongCommandLinesAndHelp) {
  TempDir dir;
  ToolResult none = RunTool({"new"});
  EXPECT_EQ(none.exitCode, 2);
  EXPECT_TRUE(Contains(none.err, "winsim new --help")) << none.err;

  ToolResult both = RunTool({"new", (dir.path() / "x").string(), "--empty", "--from", "win98se"});
  EXPECT_EQ(both.exitCode, 2);
  EXPECT_TRUE(Contains(both.err, "--empty")) << both.err;

  ToolResult unknown = RunTool({"new", (dir.path() / "x").string(), "--form", "win98se"});
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_TRUE(Contains(unknown.err, "unknown option --form")) << unknown.err;
  EXPECT_FALSE(fs::exists(dir.path() / "x"));

  ToolResult help = RunTool({"new", "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(Contains(help.out, "WINSIM_MACHINES")) << help.out;
  EXPECT_TRUE(Contains(help.out, "--empty")) << help.out;

  ToolResult overview = RunTool({"--help"});
  EXPECT_EQ(overview.exitCode, 0);
  for (const char* command : {"new", "run", "diff", "reg"}) {
    EXPECT_TRUE(Contains(overview.out, std::string("  ") + command + " ")) << command;
  }
  ToolResult wrong = RunTool({"install"});
  EXPECT_EQ(wrong.exitCode, 2);
  EXPECT_TRUE(Contains(wrong.err, "'install' is not a winsim command")) << wrong.err;
}

// The tests copy the shipped machines while another test's `new` may hold
// one: the copy leaves the holder's lock behind, and fails on no file that
// comes and goes.
TEST(NewCommand, AMachineCopiedWhileHeldIsCopiedWithoutTheHold) {
  TempDir dir;
  CopyShippedMachine("win98se", dir.path() / "held");
  winsim::MachineHold hold(dir.path() / "held", "winsim new", false);
  CopyMachineFiles(dir.path() / "held", dir.path() / "copy");
  EXPECT_FALSE(fs::exists(dir.path() / "copy" / ".winsim"));
  EXPECT_NO_THROW(winsim::MachineHold(dir.path() / "copy", "rq47set", false));
}

TEST(NewCommand, AnyWayOfNamingAnEmptyFolderFillsIt) {
  TempDir dir;
  fs::create_directory(dir.path() / "here");
  const auto shipped = ShippedContents("win98se");
  const struct {
    std::string given;
    fs::path made;
    fs::path startIn;
  } cases[] = {
      {(dir.path() / "slash").string() + "/", dir.path() / "slash", {}},
      {(dir.path() / "empty").string() + "/", dir.path() / "empty", {}},
      {".", dir.path() / "here", dir.path() / "here"},
  };
  fs::create_directory(dir.path() / "empty");
  for (const auto& trial : cases) {
    ChildOptions options;
    options.argv = {ToolPath().string(), "new", trial.given};
    options.workingFolder = trial.startIn;
    ChildEnd end = RunChild(options);
    EXPECT_EQ(end.exitCode, 0) << trial.given << "\n" << end.err;
    EXPECT_EQ(FolderContents(trial.made), shipped) << trial.given;
  }
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"empty", "here", "slash"}));
}

TEST(NewCommand, WhatAKilledNewLeftIsRemovedByTheNext) {
  TempDir dir;
  const fs::path source = dir.path() / "big";
  CopyShippedMachine("win98se", source);
  WriteWhole(source / "drive_c" / "large.bin", std::string(256 * 1024, 'x'));
  const fs::path target = dir.path() / "pc";
  ChildOptions options;
  options.argv = {ToolPath().string(), "new", target.string(), "--from", source.string()};
  options.fileSizeLimit = 64 * 1024;
  options.killedAtLimit = true;
  ASSERT_EQ(RunChild(options).signal, SIGXFSZ);

  ToolResult again = RunTool({"new", target.string(), "--from", source.string()});
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(FolderContents(target), FolderContents(source));
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"big", "pc"}));
}

}  // namespace
}  // namespace rq47test
