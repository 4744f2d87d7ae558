// The machine folder as a safe store, tried as an adversary would: winsim's
// own failures, stops and kills at exact points, full disks, read-only
// folders, planted links, two processes at once and hostile names. The built
// winsim command and programs run as processes on copies of the shipped
// machines.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "program_run.h"
#include "test_machine.h"
#include "tool_runner.h"
#include "winsim/machine.h"
#include "winsim/run.h"

namespace rq47test {
namespace {

namespace fs = std::filesystem;

const std::string kVendorKey = Hklm("Software\\Zelvaran\\RQ31DFV");
const std::vector<std::string> kNothing;
const std::string kAsBefore = "the machine is as it was before the run, registry and files";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string LastLine(const std::string& text) {
  size_t end = text.find_last_not_of('\n');
  if (end == std::string::npos) return std::string();
  size_t start = text.rfind('\n', end);
  return text.substr(start == std::string::npos ? 0 : start + 1, end - start);
}

ChildOptions Tool(std::vector<std::string> args) {
  ChildOptions options;
  options.argv = {ToolPath().string()};
  options.argv.insert(options.argv.end(), args.begin(), args.end());
  return options;
}

// Every name below a folder that winsim might have left there.
std::vector<std::string> Leftovers(const fs::path& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::string name = entry.path().filename().string();
    if (Contains(name, "winsim") || Contains(name, ".tmp")) found.push_back(name);
  }
  return found;
}

class MachineSafety : public testing::Test {
 protected:
  void SetUp() override { CopyShippedMachine("win98se", pc_); }
  std::string pc() const { return pc_.string(); }
  fs::path system() const { return pc_ / "drive_c" / "WINDOWS" / "SYSTEM"; }

  TempDir dir_;
  fs::path pc_ = dir_.path() / "pc";
};

TEST_F(MachineSafety, WhatWinsimCannotFinishLeavesTheMachineAsItWas) {
  struct Case {
    const char* what;
    const char* machine;
    std::vector<std::string> args;
    std::function<void(const fs::path&)> prepare;
    std::optional<uint64_t> fileSizeLimit;
    const char* said;
  };
  const Case cases[] = {
      {"an answer that does not fit the archive box",
       "win95-previous",
       {"--answers", "yes,yes", "rq47set"},
       nullptr,
       std::nullopt,
       "has only the buttons OK; fix --answers"},
      {"a regedit that never ends",
       "win98se",
       {"rq47set"},
       [](const fs::path& machine) {
         std::string ini = ReadWhole(machine / "machine.ini");
         WriteWhole(machine / "machine.ini", ini + "REGEDIT=runs\r\n");
       },
       std::nullopt,
       "which never ends"},
      {"a disk that is full when the registry is saved",
       "win98se",
       {"rq47set"},
       nullptr,
       8192,
       "cannot save the registry"},
      {"a read-only machine folder",
       "win98se",
       {"--answers", "yes,ok", "zuninst"},
       [](const fs::path& machine) {
         // Installed first, so that the uninstaller has something to remove.
         ASSERT_EQ(RunTool({"run", machine.string(), "rq47set"}).exitCode, 0);
         fs::permissions(machine, fs::perms::owner_write, fs::perm_options::remove);
       },
       std::nullopt,
       "is read-only"},
  };
  for (const Case& trial : cases) {
    TempDir scratch;
    fs::path machine = scratch.path() / "pc";
    CopyShippedMachine(trial.machine, machine);
    if (trial.prepare) trial.prepare(machine);
    auto before = FolderContents(machine);
    std::vector<std::string> args = {"run", machine.string()};
    args.insert(args.end(), trial.args.begin(), trial.args.end());
    ChildOptions options = Tool(args);
    options.fileSizeLimit = trial.fileSizeLimit;
    ChildEnd end = RunChild(options);
    EXPECT_EQ(end.exitCode, 125) << trial.what << "\n" << end.err;
    EXPECT_TRUE(Contains(end.err, trial.said)) << trial.what << "\n" << end.err;
    if (!Contains(trial.said, "read-only")) {
      EXPECT_TRUE(Contains(LastLine(end.err), kAsBefore)) << trial.what << "\n" << end.err;
    }
    EXPECT_EQ(ChangedEntries(before, FolderContents(machine)), kNothing) << trial.what;
    fs::permissions(machine, fs::perms::owner_all, fs::perm_options::add);
  }
}

TEST_F(MachineSafety, AStoppedRunIsPutBackAtOnceAndAKilledOneByTheNextCommand) {
  ASSERT_EQ(RunTool({"run", pc(), "rq47set"}).exitCode, 0);
  const fs::path copy = dir_.path() / "installed";
  fs::copy(pc_, copy, fs::copy_options::recursive);
  const auto installed = FolderContents(pc_);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    // The closing box comes after the uninstaller removed the files.
    ChildOptions options = Tool({"run", pc(), "--answers", "yes", "zuninst"});
    options.terminal = true;
    Child run(options);
    ASSERT_TRUE(run.waitForError("Press [O]K")) << signal;
    EXPECT_FALSE(fs::exists(system() / "zelvcd.vxd"));
    run.signal(signal);
    ChildEnd end = run.wait();
    EXPECT_EQ(end.signal, signal) << end.err;
    if (signal != SIGKILL) {
      EXPECT_TRUE(Contains(LastLine(end.err), "at the box \"Zelvaran RQ47 Modem\": " + kAsBefore))
          << end.err;
      EXPECT_EQ(ChangedEntries(installed, FolderContents(pc_)), kNothing) << signal;
      continue;
    }
    // Killed: the next command, even one that only reads, puts the files back first.
    ToolResult diff = RunTool({"diff", copy.string(), pc()});
    EXPECT_EQ(diff.exitCode, 0) << diff.out << diff.err;
    EXPECT_TRUE(Contains(diff.err, "was stopped before it ended (winsim run zuninst (process " +
                                       std::to_string(run.pid())))
        << diff.err;
    EXPECT_EQ(ChangedEntries(installed, FolderContents(pc_)), kNothing);
  }
}

TEST_F(MachineSafety, AProcessKilledWhileItWritesLeavesNothingBehind) {
  // Killed by the file size limit while it copies a large driver file into
  // place, or while it saves the registry at the end.
  const fs::path driver = pc_ / "drive_c" / "WINDOWS" / "Zelvaran" / "ZelSet95" / "zelvcd.vxd";
  const std::string small = ReadWhole(driver);
  for (uint64_t limit : {32 * 1024, 8 * 1024}) {
    WriteWhole(driver, limit > 8 * 1024 ? std::string(64 * 1024, 'v') : small);
    const auto before = FolderContents(pc_);
    ChildOptions options = Tool({"run", pc(), "rq47set"});
    options.fileSizeLimit = limit;
    options.killedAtLimit = true;
    ChildEnd end = RunChild(options);
    ASSERT_EQ(end.signal, SIGXFSZ) << limit << "\n" << end.err;
    ToolResult query = RunTool({"reg", pc(), "query", "HKLM\\Software"});
    EXPECT_EQ(query.exitCode, 0) << query.err;
    EXPECT_EQ(Leftovers(pc_), std::vector<std::string>()) << limit;
    EXPECT_EQ(ChangedEntries(before, FolderContents(pc_)), kNothing) << limit;
  }
}

TEST_F(MachineSafety, RunsAndImportsStartedTogetherLoseNothing) {
  const fs::path import = dir_.path() / "extra.reg";
  WriteWhole(import, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Extra]\r\n\"n\"=\"1\"\r\n");
  for (int round = 0; round < 6; ++round) {
    fs::remove_all(pc_);
    CopyShippedMachine("win98se", pc_);
    Child setup(Tool({"run", pc(), "rq47set"}));
    Child importer(Tool({"reg", pc(), "import", import.string()}));
    ChildEnd ranSetup = setup.wait();
    ChildEnd imported = importer.wait();
    winsim::Machine after = winsim::Machine::load(pc_);
    for (const auto& [end, key] :
         {std::pair{ranSetup, kVendorKey}, std::pair{imported, Hklm("Software\\Extra")}}) {
      if (end.exitCode == 0) {
        EXPECT_NE(after.registry.find(key), nullptr) << "a reported success was lost: " << key;
      } else {
        EXPECT_EQ(end.exitCode, 125) << end.err;
        EXPECT_TRUE(Contains(end.err, "is in use by winsim ")) << end.err;
      }
    }
  }
}

TEST_F(MachineSafety, NoLinkLeadsAWriteOutOfTheFolder) {
  const fs::path outside = dir_.path() / "outside.txt";
  WriteWhole(outside, "not the machine's\n");

  // A link planted where the old save put its temporary file.
  fs::create_symlink(outside, pc_ / "registry.reg.tmp");
  ToolResult install = RunTool({"run", pc(), "rq47set"});
  ASSERT_EQ(install.exitCode, 0) << install.err;
  EXPECT_FALSE(fs::is_symlink(pc_ / "registry.reg"));
  EXPECT_NE(winsim::Machine::load(pc_).registry.find(kVendorKey), nullptr);
  EXPECT_EQ(ReadWhole(outside), "not the machine's\n");

  // system.new, which the uninstaller rewrites, shares its file with one outside.
  fs::create_hard_link(outside, pc_ / "drive_c" / "WINDOWS" / "system.new");
  ToolResult uninstall = RunTool({"run", pc(), "--answers", "yes,ok", "zuninst"});
  EXPECT_EQ(uninstall.exitCode, 1) << uninstall.err;
  EXPECT_EQ(ReadWhole(outside), "not the machine's\n");

  // An export's temporary file, with a link planted at the name it would have
  // had; and a link at the file itself, which /y replaces, never follows.
  const fs::path exported = dir_.path() / "export.reg";
  fs::create_symlink(outside, exported);
  ChildOptions options = Tool({"reg", pc(), "export", exported.string(), "/y"});
  options.beforeStart = [&](pid_t pid) {
    fs::create_symlink(outside, exported.string() + ".tmp-" + std::to_string(pid));
  };
  ChildEnd end = RunChild(options);
  EXPECT_EQ(end.exitCode, 0) << end.err;
  EXPECT_FALSE(fs::is_symlink(exported));
  EXPECT_TRUE(Contains(ReadWhole(exported), "REGEDIT4"));
  EXPECT_EQ(ReadWhole(outside), "not the machine's\n");
}

TEST_F(MachineSafety, AMachineFileThatIsALinkIsRefused) {
  const fs::path elsewhere = dir_.path() / "elsewhere";
  fs::create_directory(elsewhere);
  const struct {
    const char* name;
    const char* said;
  } links[] = {{"registry.reg", "is a symbolic link"},
               {"machine.ini", "is a symbolic link"},
               {"drive_c", "is a symbolic link"},
               {".winsim", "is not winsim's own folder (it is a link or a file)"}};
  for (const auto& link : links) {
    fs::path file = pc_ / link.name;
    if (fs::exists(file)) fs::rename(file, elsewhere / link.name);
    if (!fs::exists(elsewhere / link.name)) fs::create_directory(elsewhere / link.name);
    fs::create_symlink(elsewhere / link.name, file);
    auto before = FolderContents(elsewhere);
    ToolResult result = RunTool({"run", pc(), "rq47set"});
    EXPECT_EQ(result.exitCode, 125) << link.name << "\n" << result.err;
    EXPECT_TRUE(Contains(result.err, link.name)) << result.err;
    EXPECT_TRUE(Contains(result.err, link.said)) << result.err;
    EXPECT_EQ(ChangedEntries(before, FolderContents(elsewhere)), kNothing);
    fs::remove(file);
    if (std::string(link.name) != ".winsim") fs::rename(elsewhere / link.name, file);
  }
}

TEST_F(MachineSafety, AReportReplacesOnlyAnEarlierReportAndStaysOutOfMachines) {
  const fs::path notes = dir_.path() / "notes.html";
  WriteWhole(notes, "<p>my notes</p>\n");
  const fs::path report = dir_.path() / "run.html";
  const struct {
    fs::path file;
    const char* said;
  } refused[] = {{notes, "is not a winsim report"},
                 {pc_ / "report.html", "is inside the machine folder"},
                 {pc_ / "drive_c" / "report.html", "is inside the machine folder"}};
  const auto before = FolderContents(pc_);
  for (const auto& trial : refused) {
    ToolResult result = RunTool({"run", pc(), "--report", trial.file.string(), "rq47set"});
    EXPECT_EQ(result.exitCode, 125) << result.err;
    EXPECT_TRUE(Contains(result.err, trial.said)) << result.err;
  }
  EXPECT_EQ(ReadWhole(notes), "<p>my notes</p>\n");
  EXPECT_EQ(ChangedEntries(before, FolderContents(pc_)), kNothing);

  ASSERT_EQ(RunTool({"run", pc(), "--report", report.string(), "rq47set"}).exitCode, 0);
  ToolResult again =
      RunTool({"run", pc(), "--report", report.string(), "--answers", "no", "zuninst"});
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_TRUE(Contains(ReadWhole(report), "zuninst on pc"));
}

TEST_F(MachineSafety, MachineTextCannotDriveTheTerminal) {
  const std::string hostile = "\x1b[2J\x07\x1b[31mred";
  const fs::path import = dir_.path() / "hostile.reg";
  WriteWhole(import, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\" + hostile + "]\r\n\"" +
                         hostile + "\"=\"" + hostile + "\"\r\n");
  const fs::path before = dir_.path() / "before";
  fs::copy(pc_, before, fs::copy_options::recursive);
  WriteWhole(system() / ("file" + hostile + ".txt"), "x");

  std::vector<ToolResult> shown = {
      RunTool({"reg", pc(), "import", import.string()}),
      RunTool({"reg", pc(), "query", "HKLM\\Software", "/s"}),
      RunTool({"diff", before.string(), pc()}),
  };
  WriteWhole(pc_ / "machine.ini", "[Windows]\r\nVersion=" + hostile + "\r\n");
  shown.push_back(RunTool({"run", pc(), "rq47set"}));
  for (const ToolResult& result : shown) {
    for (const std::string* text : {&result.out, &result.err}) {
      EXPECT_EQ(text->find_first_of("\x1b\x07"), std::string::npos) << *text;
    }
    EXPECT_TRUE(Contains(result.out + result.err, "\\x1b[2J\\x07\\x1b[31mred"))
        << result.out << result.err;
  }
}

// What the in-process sweeps leave when the run is cut or a call fails.
std::map<std::string, std::string> SweptMachine(const fs::path& folder,
                                                const std::vector<int>& answers,
                                                std::optional<winsim::FaultRule> fault,
                                                std::optional<uint64_t> cut, bool saveRegistry) {
  winsim::Machine machine = winsim::Machine::load(folder);
  {
    winsim::Run run(machine);
    run.setAnswers(answers);
    if (fault) run.addFault(*fault);
    if (cut) run.stopAfterCalls(*cut);
    try {
      winsim_tool::CallProgram(winsim_tool::Program::Uninstaller);
    } catch (const winsim::RunStopped&) {
    }
  }
  if (saveRegistry) machine.save();
  return FolderContents(folder);
}

TEST_F(MachineSafety, PowerCutsAndFaultsOnTheCommandLineReproduceTheSweeps) {
  ASSERT_EQ(RunTool({"run", pc(), "rq47set"}).exitCode, 0);
  const fs::path start = dir_.path() / "installed";
  fs::copy(pc_, start, fs::copy_options::recursive);
  const fs::path swept = dir_.path() / "swept";
  const struct {
    std::vector<std::string> options;
    std::optional<winsim::FaultRule> fault;
    std::optional<uint64_t> cut;
    bool registryAtCut;
    int exitCode;
  } points[] = {
      {{"--power-cut", "45"}, std::nullopt, 45, true, 137},
      {{"--power-cut", "80", "--power-loss", "registry-at-start"}, std::nullopt, 80, false, 137},
      {{"--power-cut", "80", "--power-loss", "registry-at-cut"}, std::nullopt, 80, true, 137},
      {{"--fail", "DeleteFileA:4:ERROR_ACCESS_DENIED"},
       winsim::FaultRule{"DeleteFileA", "", 4, 5},
       std::nullopt,
       true,
       1},
      {{"--fail", "regdeletekeya:2"},
       winsim::FaultRule{"RegDeleteKeyA", "", 2, 0},
       std::nullopt,
       true,
       1},
  };
  for (const auto& point : points) {
    fs::remove_all(pc_);
    fs::copy(start, pc_, fs::copy_options::recursive);
    std::vector<std::string> args = {"run", pc(), "--answers", "yes,ok"};
    args.insert(args.end(), point.options.begin(), point.options.end());
    args.push_back("zuninst");
    ToolResult result = RunTool(args);
    EXPECT_EQ(result.exitCode, point.exitCode) << result.err;
    if (point.cut) {
      EXPECT_TRUE(Contains(LastLine(result.err), point.registryAtCut
                                                     ? "the registry as at the cut"
                                                     : "the registry as at the start of the run"))
          << result.err;
    }
    fs::remove_all(swept);
    fs::copy(start, swept, fs::copy_options::recursive);
    auto sweptContents = SweptMachine(swept, winsim::ParseAnswers("yes,ok"), point.fault, point.cut,
                                      point.registryAtCut);
    EXPECT_EQ(ChangedEntries(sweptContents, FolderContents(pc_)), kNothing)
        << point.options[0] << " " << point.options[1];
  }
}

// ---- A machine folder handed over by someone else ----

std::string Record(char kind, const std::string& path, int kept = 0) {
  std::string head = std::string(1, kind) + " " + (kept != 0 ? std::to_string(kept) + " " : "");
  return head + std::to_string(path.size()) + " " + path + "\n";
}

// A link the person names the machine by is their own name for it: every
// command uses the folder it names, and puts back what a killed run left there.
TEST_F(MachineSafety, AMachineNamedThroughALinkIsUsedAsItself) {
  const std::string link = (dir_.path() / "current").string();
  fs::create_directory_symlink(pc_, link);
  const fs::path left = pc_ / "drive_c" / "WINDOWS" / "left.txt";
  const struct {
    const char* what;
    std::vector<std::string> args;
    bool saysItPutBack;  // a copy says only what it made
  } commands[] = {
      {"a run", {"run", link, "rq47set"}, true},
      {"an import", {"reg", link, "import", (pc_ / "registry.reg").string()}, true},
      {"a copy", {"new", (dir_.path() / "made").string(), "--from", link}, false},
  };
  for (const auto& command : commands) {
    // What a run killed outright left: a file it made, and its journal.
    fs::create_directories(pc_ / ".winsim" / "journal");
    WriteWhole(pc_ / ".winsim" / "journal" / "log", Record('N', "drive_c/WINDOWS/left.txt"));
    WriteWhole(left, "made by the killed run\n");
    ToolResult result = RunTool(command.args);
    EXPECT_EQ(result.exitCode, 0) << command.what << "\n" << result.err;
    EXPECT_EQ(Contains(result.err, "was stopped before it ended"), command.saysItPutBack)
        << command.what;
    EXPECT_FALSE(fs::exists(left)) << command.what;
    EXPECT_FALSE(fs::exists(pc_ / ".winsim")) << command.what;
  }
  EXPECT_TRUE(fs::exists(system() / "zuninst.exe"));  // the run installed
  EXPECT_FALSE(fs::exists(dir_.path() / "made" / "drive_c" / "WINDOWS" / "left.txt"));
}

TEST_F(MachineSafety, ACraftedJournalMakesEveryCommandRefuseAndTouchesNothing) {
  const fs::path outside = dir_.path() / "outside";
  fs::create_directory(outside);
  WriteWhole(outside / "precious.txt", "mine\n");
  const fs::path copy = dir_.path() / "copy";
  fs::copy(pc_, copy, fs::copy_options::recursive);
  const fs::path journal = pc_ / ".winsim" / "journal";
  fs::create_directories(journal);
  const std::string log = Record('N', "drive_c/WINDOWS") + Record('N', "drive_c/../../outside");
  WriteWhole(journal / "log", log);
  const fs::path import = dir_.path() / "extra.reg";
  WriteWhole(import, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Extra]\r\n");
  const auto before = FolderContents(pc_);
  const struct {
    std::vector<std::string> args;
    int exitCode;
  } commands[] = {
      {{"reg", pc(), "query", "HKLM\\Software"}, 125},
      {{"reg", pc(), "import", import.string()}, 125},
      {{"diff", copy.string(), pc()}, 125},
      {{"new", (dir_.path() / "made").string(), "--from", pc()}, 1},
      {{"run", pc(), "rq47set"}, 125},
  };
  for (const auto& command : commands) {
    ToolResult result = RunTool(command.args);
    EXPECT_EQ(result.exitCode, command.exitCode) << command.args[0] << "\n" << result.err;
    EXPECT_TRUE(Contains(result.err, ".winsim/journal/log: record 2 names")) << result.err;
    EXPECT_EQ(ReadWhole(outside / "precious.txt"), "mine\n");
    EXPECT_EQ(ChangedEntries(before, FolderContents(pc_)), kNothing) << command.args[0];
    EXPECT_EQ(ReadWhole(journal / "log"), log);
  }
  EXPECT_FALSE(fs::exists(dir_.path() / "made"));
}

// Things that are no file, made where winsim expects one of its own files;
// `make` is 0 when made (only root makes devices).
struct NoFile {
  const char* what;
  std::function<int(const fs::path&)> make;
};
const NoFile kNoFiles[] = {
    {"a pipe", [](const fs::path& at) { return ::mkfifo(at.c_str(), 0644); }},
    {"the null device",
     [](const fs::path& at) { return ::mknod(at.c_str(), S_IFCHR | 0644, makedev(1, 3)); }},
};

// A pipe where the journal's log should be would keep every command waiting
// for ever; a device would be opened and read.
TEST_F(MachineSafety, AJournalLogThatIsNoFileIsRefusedNotWaitedOn) {
  const fs::path log = pc_ / ".winsim" / "journal" / "log";
  const std::vector<std::string> commands[] = {{"run", pc(), "rq47set"},
                                               {"reg", pc(), "query", "HKLM\\Software"}};
  const auto before = FolderContents(pc_);
  for (const auto& kind : kNoFiles) {
    for (const auto& args : commands) {
      fs::create_directories(log.parent_path());
      if (kind.make(log) != 0) {
        fs::remove_all(pc_ / ".winsim");
        continue;
      }
      Child command(Tool(args));
      ASSERT_TRUE(command.waitForError(".winsim/journal/log: is not a file", 10))
          << kind.what << ", " << args[0];
      EXPECT_EQ(command.wait().exitCode, 125) << kind.what;
      EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(log))) << kind.what << ": replaced";
      fs::remove_all(pc_ / ".winsim");
      EXPECT_EQ(ChangedEntries(before, FolderContents(pc_)), kNothing) << kind.what;
    }
  }
}

TEST_F(MachineSafety, TheLockIsNeverFollowedNorWrittenThrough) {
  const fs::path outside = dir_.path() / "outside.txt";
  const auto before = FolderContents(pc_);
  for (bool hard : {true, false}) {
    WriteWhole(outside, "not the machine's\n");
    fs::create_directory(pc_ / ".winsim");
    if (hard) {
      fs::create_hard_link(outside, pc_ / ".winsim" / "lock");
    } else {
      fs::create_symlink(outside, pc_ / ".winsim" / "lock");
    }
    ToolResult result = RunTool({"run", pc(), "rq47set"});
    EXPECT_EQ(result.exitCode, 125) << result.err;
    EXPECT_TRUE(Contains(result.err, ".winsim/lock: is not winsim's own lock file")) << result.err;
    EXPECT_EQ(ReadWhole(outside), "not the machine's\n") << hard;
    fs::remove_all(pc_ / ".winsim");
    EXPECT_EQ(ChangedEntries(before, FolderContents(pc_)), kNothing);
  }
}

// Opening a device has effects of its own (a tape rewinds): what is no file
// is refused as the lock without being opened.
TEST_F(MachineSafety, ALockThatIsNoFileIsNeverOpened) {
  const fs::path lock = pc_ / ".winsim" / "lock";
  for (const auto& kind : kNoFiles) {
    fs::create_directories(lock.parent_path());
    if (kind.make(lock) != 0) {
      fs::remove_all(lock.parent_path());
      continue;
    }
    int opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(opens, lock.c_str(), IN_OPEN), 0);
    ToolResult result = RunTool({"run", pc(), "rq47set"});
    EXPECT_EQ(result.exitCode, 125) << result.err;
    EXPECT_TRUE(Contains(result.err, ".winsim/lock: is not winsim's own lock file")) << result.err;
    char events[4096];
    EXPECT_LT(::read(opens, events, sizeof events), 0) << kind.what << " was opened";
    ::close(opens);
    fs::remove_all(lock.parent_path());
  }
}

TEST_F(MachineSafety, ALiveRunIsNeverTakenForAKilledOne) {
  ASSERT_EQ(RunTool({"run", pc(), "rq47set"}).exitCode, 0);
  const auto installed = FolderContents(pc_);
  const fs::path import = dir_.path() / "extra.reg";
  WriteWhole(import, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Extra]\r\n");
  for (bool wholeFolder : {false, true}) {
    ChildOptions options = Tool({"run", pc(), "--answers", "yes", "zuninst"});
    options.terminal = true;
    Child run(options);
    ASSERT_TRUE(run.waitForError("Press [O]K")) << wholeFolder;
    if (!wholeFolder) {
      // Its lock is gone, its journal is not: the next command must not undo a live run.
      fs::remove(pc_ / ".winsim" / "lock");
      ToolResult import2 = RunTool({"reg", pc(), "import", import.string()});
      EXPECT_EQ(import2.exitCode, 125) << import2.err;
      EXPECT_TRUE(Contains(import2.err, "belongs to a run that is still going")) << import2.err;
      EXPECT_FALSE(fs::exists(system() / "zelvcd.vxd"));  // still as the live run left it
      run.signal(SIGTERM);
      EXPECT_TRUE(Contains(LastLine(run.wait().err), kAsBefore));
      EXPECT_EQ(ChangedEntries(installed, FolderContents(pc_)), kNothing);
      continue;
    }
    // Its journal is gone: it cannot put the files back, and says so.
    fs::remove_all(pc_ / ".winsim");
    run.signal(SIGTERM);
    ChildEnd end = run.wait();
    EXPECT_TRUE(
        Contains(LastLine(end.err), "its journal (.winsim/journal) was removed while it ran"))
        << end.err;
    EXPECT_FALSE(Contains(end.err, kAsBefore)) << end.err;
  }
}

TEST_F(MachineSafety, OutputsThatAreFilesOfTheMachineAreRefused) {
  const fs::path linked = dir_.path() / "linked.txt";
  fs::create_hard_link(pc_ / "registry.reg", linked);
  const auto before = FolderContents(pc_);
  const struct {
    std::vector<std::string> args;
    int exitCode;
    const char* said;
  } cases[] = {
      {{"run", pc(), "--trace", linked.string(), "rq47set"}, 125, "is also a file of the machine"},
      {{"run", pc(), "--report", linked.string(), "rq47set"}, 125, "is also a file of the machine"},
      {{"reg", pc(), "export", linked.string(), "/y"}, 1, "is also a file of the machine"},
      {{"reg", pc(), "export", (pc_ / "machine.ini").string(), "/y"},
       1,
       "is inside the machine folder"},
  };
  for (const auto& trial : cases) {
    ToolResult result = RunTool(trial.args);
    EXPECT_EQ(result.exitCode, trial.exitCode) << result.err;
    EXPECT_TRUE(Contains(result.err, trial.said)) << result.err;
    EXPECT_EQ(ChangedEntries(before, FolderContents(pc_)), kNothing) << result.err;
  }
}

TEST_F(MachineSafety, AFolderThatIsNoMachineLosesNothing) {
  const fs::path folder = dir_.path() / "notes";
  fs::create_directory(folder);
  for (const char* name : {"registry.reg.tmp", "machine.ini.tmp-abcdef", "short-names.txt.tmp"}) {
    WriteWhole(folder / name, "mine\n");
  }
  const auto before = FolderContents(folder);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"run", folder.string(), "rq47set"},
        std::vector<std::string>{"reg", folder.string(), "query", "HKLM"}}) {
    ToolResult result = RunTool(args);
    EXPECT_NE(result.exitCode, 0) << result.err;
    EXPECT_TRUE(Contains(result.err, "machine.ini: missing")) << result.err;
    EXPECT_EQ(ChangedEntries(before, FolderContents(folder)), kNothing) << args[0];
    EXPECT_FALSE(fs::exists(folder / ".winsim"));
  }
}

TEST_F(MachineSafety, NewNeverCopiesAHeldMachineNorMixesTwo) {
  // A machine in the middle of a run is not copied.
  {
    ChildOptions options = Tool({"run", pc(), "rq47set"});
    ASSERT_EQ(RunTool({"run", pc(), "rq47set"}).exitCode, 0);
    options = Tool({"run", pc(), "--answers", "yes", "zuninst"});
    options.terminal = true;
    Child run(options);
    ASSERT_TRUE(run.waitForError("Press [O]K"));
    ToolResult copied = RunTool({"new", (dir_.path() / "copy").string(), "--from", pc()});
    EXPECT_EQ(copied.exitCode, 1) << copied.err;
    EXPECT_TRUE(Contains(copied.err, "is in use by winsim run zuninst")) << copied.err;
    EXPECT_FALSE(fs::exists(dir_.path() / "copy"));
    run.signal(SIGTERM);
    run.wait();
  }
  // Copies of one machine made together: copying only reads it, so none refuses.
  for (int round = 0; round < 3; ++round) {
    std::vector<std::unique_ptr<Child>> copies;
    for (int i = 0; i < 3; ++i) {
      const fs::path target = dir_.path() / ("copy-" + std::to_string(round * 3 + i));
      copies.push_back(std::make_unique<Child>(Tool({"new", target.string(), "--from", pc()})));
    }
    for (int i = 0; i < 3; ++i) {
      ChildEnd end = copies[i]->wait();
      EXPECT_EQ(end.exitCode, 0) << end.err;
      EXPECT_NO_THROW(
          winsim::Machine::load(dir_.path() / ("copy-" + std::to_string(round * 3 + i))));
    }
  }
  // Two on one empty folder: one makes the machine, the other refuses.
  for (int round = 0; round < 4; ++round) {
    const fs::path target = dir_.path() / ("two-" + std::to_string(round));
    fs::create_directory(target);
    Child first(Tool({"new", target.string()}));
    Child second(Tool({"new", target.string()}));
    ChildEnd ends[] = {first.wait(), second.wait()};
    EXPECT_EQ(ends[0].exitCode + ends[1].exitCode, 1) << ends[0].err << ends[1].err;
    EXPECT_TRUE(fs::is_regular_file(target / "machine.ini"));
    EXPECT_NO_THROW(winsim::Machine::load(target));
  }
  // A `new` killed while it moved the machine in left part of it: the next
  // one refuses and removes nothing.
  const fs::path half = dir_.path() / "half";
  fs::create_directory(half);
  CopyShippedMachine("win98se", half / ".winsim-new-1-abcdef");
  fs::rename(half / ".winsim-new-1-abcdef" / "drive_c", half / "drive_c");
  const auto left = FolderContents(half);
  ToolResult again = RunTool({"new", half.string()});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_TRUE(Contains(again.err, "is not empty")) << again.err;
  EXPECT_EQ(ChangedEntries(left, FolderContents(half)), kNothing);
}

TEST_F(MachineSafety, AClosedOutputStopsTheRunAndPutsTheMachineBack) {
  ASSERT_EQ(RunTool({"run", pc(), "rq47set"}).exitCode, 0);
  const auto installed = FolderContents(pc_);
  // Standard error is a pipe nobody reads any more, as after `| head`.
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(ends[1], 1);
    ::dup2(ends[1], 2);
    ::signal(SIGPIPE, SIG_DFL);
    const std::string tool = ToolPath().string();
    ::execl(tool.c_str(), tool.c_str(), "run", pc().c_str(), "--answers", "yes,ok", "zuninst",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(ends[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) << status;
  EXPECT_FALSE(fs::exists(pc_ / ".winsim"));  // nothing left for the next command to undo
  EXPECT_EQ(ChangedEntries(installed, FolderContents(pc_)), kNothing);
}

TEST_F(MachineSafety, AReportThatCannotBeWrittenAfterAKeptRunSaysTheRunWasKept) {
  ASSERT_EQ(RunTool({"run", pc(), "rq47set"}).exitCode, 0);
  const fs::path pages = dir_.path() / "pages";
  fs::create_directory(pages);
  ChildOptions options =
      Tool({"run", pc(), "--answers", "yes", "--report", (pages / "run.html").string(), "zuninst"});
  options.terminal = true;
  Child run(options);
  ASSERT_TRUE(run.waitForError("Press [O]K"));
  fs::remove_all(pages);
  run.type("o");
  ChildEnd end = run.wait();
  EXPECT_EQ(end.exitCode, 1) << end.err;  // the uninstaller's own
  EXPECT_TRUE(Contains(end.err, "the report cannot be written")) << end.err;
  EXPECT_TRUE(Contains(end.err, "the run itself is kept")) << end.err;
  EXPECT_FALSE(Contains(end.err, kAsBefore)) << end.err;
  EXPECT_FALSE(fs::exists(system() / "zelvcd.vxd"));
}

TEST_F(MachineSafety, NoControlCharacterReachesTheTerminalOrThePage) {
  // ESC and a C1 control (0x9D in the machine's code page) in names; U+009B in a message.
  const std::string hostile = "\x1b[31m\x9d";
  const fs::path import = dir_.path() / "hostile.reg";
  WriteWhole(import, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\" + hostile + "]\r\n");
  const fs::path before = dir_.path() / "before";
  fs::copy(pc_, before, fs::copy_options::recursive);
  ASSERT_EQ(RunTool({"reg", pc(), "import", import.string()}).exitCode, 0);
  WriteWhole(system() / "file\x9d.txt", "x");
  const fs::path page = dir_.path() / "diff.html";
  std::vector<ToolResult> shown = {
      RunTool({"diff", before.string(), pc(), "--report", page.string()}),
      RunTool({"reg", pc(), "query", "HKLM\\Software", "/s"}),
      RunTool({"run", (dir_.path() / "no\x9b\xc2\x9bmachine").string(), "rq47set"}),
      RunTool({"new", (dir_.path() / "new\x1b[2J\x9d").string(), "--empty"}),
      RunTool({"\x1b[2J\xc2\x9b"}),
  };
  shown.back().out += ReadWhole(page);
  for (const ToolResult& result : shown) {
    for (const char* raw : {"\x1b", "\x9b", "\x9d"}) {
      EXPECT_EQ((result.out + result.err).find(raw), std::string::npos) << result.out << result.err;
    }
  }
  EXPECT_TRUE(Contains(ReadWhole(page), "\\x1b[31m\\x9d")) << ReadWhole(page);
  EXPECT_TRUE(Contains(ReadWhole(page), "file\\x9d.txt")) << ReadWhole(page);
}

TEST_F(MachineSafety, AStaleLockOrAnEmptyPrivateFolderIsTidied) {
  for (bool lock : {false, true}) {
    fs::create_directory(pc_ / ".winsim");
    if (lock) WriteWhole(pc_ / ".winsim" / "lock", "winsim run rq47set (process 1, since 2024)\n");
    ToolResult query = RunTool({"reg", pc(), "query", "HKLM\\Software"});
    EXPECT_EQ(query.exitCode, 0) << query.err;
    EXPECT_FALSE(fs::exists(pc_ / ".winsim")) << lock;
  }
}

TEST_F(MachineSafety, TheJournalAndTheDecidingRenamesReachTheDisk) {
  if (std::system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  const fs::path calls = dir_.path() / "calls.txt";
  // LeakSanitizer cannot run under a tracer: a sanitized tool would fail at its exit.
  const std::string command =
      "ASAN_OPTIONS=detect_leaks=0 strace -f -qq -e "
      "trace=fdatasync,fsync,syncfs,rename -o " +
      calls.string() + " " + ToolPath().string() + " run " + pc() + " rq47set >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string text = ReadWhole(calls);
  const size_t decided = text.find("journal.done");
  ASSERT_NE(decided, std::string::npos) << text;
  const std::string beforeDecision = text.substr(0, decided);
  EXPECT_TRUE(Contains(beforeDecision, "fdatasync(")) << text;  // the journal's records
  EXPECT_TRUE(Contains(beforeDecision, "syncfs(")) << text;     // what the run wrote
  const size_t saved = text.find("registry.reg\"");
  ASSERT_NE(saved, std::string::npos) << text;
  EXPECT_TRUE(Contains(text.substr(saved), "fsync(")) << text;  // the folder of the rename
}

}  // namespace
}  // namespace rq47test
