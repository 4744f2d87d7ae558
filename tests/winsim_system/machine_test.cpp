// Machine folders: create, load, save (only when changed, atomically) and the
// errors of a folder that cannot be used.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "scarce_memory.h"
#include "test_machine.h"
#include "winsim/machine.h"

namespace fs = std::filesystem;

namespace {

using rq47test::ScarceMemory;
using rq47test::TempDir;
using winsim::Machine;
using winsim::MachineConfig;
using winsim::MachineError;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

// The error load gives for the folder, or a failure when it loads.
MachineError LoadError(const fs::path& folder) {
  try {
    Machine::load(folder);
  } catch (const MachineError& error) {
    return error;
  }
  ADD_FAILURE() << "the machine loaded";
  return MachineError("", 0, "");
}

TEST(MachineFolder, CreateMakesALoadableMachineWithItsDirectories) {
  TempDir dir;
  MachineConfig config;
  config.currentDirectory = "C:\\Program Files\\Zelvaran";
  config.systemDirectory = "C:\\Windows\\System";  // differs from WINDOWS only in case
  config.processorType = 486;
  config.ports["COM2"] = winsim::PortState::Busy;
  Machine made = Machine::create(dir.path() / "new", config);

  const fs::path folder = dir.path() / "new";
  EXPECT_TRUE(fs::is_directory(folder / "drive_c" / "WINDOWS" / "System"));
  EXPECT_TRUE(fs::is_directory(folder / "drive_c" / "Program Files" / "Zelvaran"));
  EXPECT_FALSE(fs::exists(folder / "drive_c" / "Windows"));  // no second folder for the same name
  EXPECT_EQ(ReadFile(folder / "registry.reg").rfind("REGEDIT4", 0), 0u);
  EXPECT_EQ(made.driveFolder('C'), made.driveFolder('c'));
  EXPECT_EQ(made.driveFolder('D').filename(), "drive_d");

  Machine loaded = Machine::load(folder);
  EXPECT_EQ(loaded.config.processorType, 486u);
  EXPECT_EQ(loaded.config.currentDirectory, "C:\\Program Files\\Zelvaran");
  EXPECT_EQ(loaded.config.ports.at("COM2"), winsim::PortState::Busy);
  EXPECT_TRUE(loaded.registry.sameAs(winsim::Registry()));
  EXPECT_FALSE(loaded.registry.modified);
}

TEST(MachineFolder, CreateRefusesAFolderThatHoldsAMachineOrABadDirectory) {
  TempDir dir;
  Machine::create(dir.path());
  const std::string before = ReadFile(dir.path() / "machine.ini");
  EXPECT_THROW(Machine::create(dir.path()), MachineError);
  EXPECT_EQ(ReadFile(dir.path() / "machine.ini"), before);

  MachineConfig relative;
  relative.windowsDirectory = "WINDOWS";
  EXPECT_THROW(Machine::create(dir.path() / "other", relative), MachineError);
}

TEST(MachineFolder, RegistryRoundTripsThroughSaveAndLoad) {
  TempDir dir;
  Machine machine = Machine::create(dir.path());
  winsim::RegKey* key = machine.registry.create("HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV");
  ASSERT_NE(key, nullptr);
  key->setValue("Version", 1, std::string("3.02 Build 69\0\0\0\0\0\0\0", 20));
  key->setValue("Count", 4, std::string("\x05\0\0\0", 4));
  machine.registry.create("HKEY_CURRENT_USER\\Software\\Empty");
  machine.registry.modified = true;
  machine.save();
  EXPECT_FALSE(machine.registry.modified);

  Machine loaded = Machine::load(dir.path());
  EXPECT_TRUE(loaded.registry.sameAs(machine.registry));
  const winsim::RegValue* version =
      loaded.registry.value("HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV", "version");
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->data.size(), 20u);

  // A second save of the same registry writes the same bytes.
  const std::string first = ReadFile(dir.path() / "registry.reg");
  loaded.save(true);
  EXPECT_EQ(ReadFile(dir.path() / "registry.reg"), first);
}

TEST(MachineFolder, SaveWritesOnlyAChangedRegistryAndLeavesNoTemporaryFile) {
  TempDir dir;
  Machine::create(dir.path());
  Machine machine = Machine::load(dir.path());
  // Someone else's content on disk shows whether save wrote the file.
  const std::string outside = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Outside]\r\n\r\n";
  WriteFile(dir.path() / "registry.reg", outside);
  machine.save();
  EXPECT_EQ(ReadFile(dir.path() / "registry.reg"), outside);

  machine.registry.create("HKEY_LOCAL_MACHINE\\Inside");
  machine.registry.modified = true;
  machine.save();
  const std::string saved = ReadFile(dir.path() / "registry.reg");
  EXPECT_NE(saved.find("[HKEY_LOCAL_MACHINE\\Inside]"), std::string::npos);
  EXPECT_EQ(saved.find("Outside"), std::string::npos);
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  }
}

// The largest file this process may write, for as long as it lives: a disk
// that is full.
class FullDisk {
 public:
  explicit FullDisk(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &previous_);
    previousSignal_ = signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG
    rlimit limit = {bytes, previous_.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FullDisk() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    signal(SIGXFSZ, previousSignal_);
  }

 private:
  rlimit previous_{};
  void (*previousSignal_)(int) = nullptr;
};

TEST(MachineFolder, AFailedSaveKeepsTheOldRegistryWholeAndSaysWhy) {
  TempDir dir;
  Machine machine = Machine::create(dir.path());
  const std::string before = ReadFile(dir.path() / "registry.reg");
  for (int i = 0; i < 200; ++i) {
    machine.registry.create("HKEY_LOCAL_MACHINE\\Lost\\Key" + std::to_string(i));
  }
  machine.registry.modified = true;
  try {
    FullDisk full(1024);
    machine.save();
    ADD_FAILURE() << "the save succeeded";
  } catch (const MachineError& error) {
    EXPECT_EQ(error.file(), "registry.reg");
    EXPECT_NE(error.problem().find("cannot write"), std::string::npos) << error.problem();
    EXPECT_NE(error.problem().find("free space"), std::string::npos) << error.problem();
  }
  EXPECT_EQ(ReadFile(dir.path() / "registry.reg"), before);
  EXPECT_TRUE(machine.registry.modified);  // still to be saved
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  }
}

TEST(MachineFolder, AMachineFileTooLargeToHoldIsRefusedBeforeItFillsTheMemory) {
  // Sparse files: gigabytes long, none of it on the disk. Larger than the
  // computer's memory, a registry is refused unread; smaller, a file that
  // does not start as a registry does is refused after its first block.
  const auto memory = static_cast<uintmax_t>(::sysconf(_SC_PHYS_PAGES)) *
                      static_cast<uintmax_t>(::sysconf(_SC_PAGESIZE));
  struct Case {
    const char* file;
    uintmax_t size;
    size_t line;
    const char* said;
  } cases[] = {
      {"machine.ini", uintmax_t{1} << 40, 0, "far more than such a file holds"},
      {"registry.reg", memory + (uintmax_t{1} << 30), 0, "more than this computer's memory"},
      {"registry.reg", std::min(memory / 2, uintmax_t{4} << 30), 1,
       "the first line must be REGEDIT4"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    Machine::create(dir.path());
    fs::resize_file(dir.path() / c.file, 0);
    fs::resize_file(dir.path() / c.file, c.size);
    ScarceMemory scarce(rlim_t{512} << 20);
    MachineError error = LoadError(dir.path());
    EXPECT_EQ(error.file(), c.file) << c.size;
    EXPECT_EQ(error.line(), c.line) << c.file << " " << c.size;
    EXPECT_NE(error.problem().find(c.said), std::string::npos) << error.problem();
  }
}

TEST(MachineFolder, ALoadThatRunsOutOfMemorySaysSoAndWhatToDo) {
  TempDir dir;
  Machine::create(dir.path());
  // A value of 64 MB on one line, which the reader holds whole.
  WriteFile(dir.path() / "registry.reg",
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Big]\r\n\"Text\"=\"" +
                std::string(size_t{64} << 20, 'x') + "\"\r\n");
  ScarceMemory scarce(rlim_t{32} << 20);
  if (!scarce.active()) GTEST_SKIP() << "the process's memory cannot be limited here";
  MachineError error = LoadError(dir.path());
  EXPECT_EQ(error.file(), "registry.reg");
  EXPECT_NE(error.problem().find("does not fit in the memory this process may have"),
            std::string::npos)
      << error.problem();
  EXPECT_NE(error.problem().find("64 MB"), std::string::npos) << error.problem();
}

TEST(MachineFolder, ASavedRegistryKeepsItsPermissionsAndNeverWritesThroughALink) {
  TempDir dir;
  Machine machine = Machine::create(dir.path());
  const fs::path registry = dir.path() / "registry.reg";
  // Something planted at the name the save once used for its temporary file.
  const fs::path outside = dir.path().parent_path() / (dir.path().filename().string() + "-x");
  WriteFile(outside, "outside\n");
  fs::create_symlink(outside, dir.path() / "registry.reg.tmp");
  chmod(registry.c_str(), 0440);
  machine.registry.create("HKEY_LOCAL_MACHINE\\Saved");
  machine.registry.modified = true;
  machine.save();
  struct stat info;
  ASSERT_EQ(lstat(registry.c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0440u);
  EXPECT_NE(ReadFile(registry).find("[HKEY_LOCAL_MACHINE\\Saved]"), std::string::npos);
  EXPECT_EQ(ReadFile(outside), "outside\n");
  fs::remove(outside);
}

// A machine file swapped again and again with a pipe while the machine is
// loaded: a load reads the file or refuses it as no file, never the pipe (nor
// waits on it, which would keep it from ending).
TEST(MachineFolder, AMachineFileSwappedForAPipeIsNeverReadAsIt) {
  for (const char* name : {"machine.ini", "registry.reg"}) {
    TempDir dir;
    MachineConfig config;
    config.processorType = 486;
    Machine::create(dir.path(), config);
    const std::string file = (dir.path() / name).string();
    const std::string pipe = file + ".pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    std::atomic<bool> done{false};
    std::thread swapper([&] {
      while (!done) {
        ::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, pipe.c_str(), RENAME_EXCHANGE);
        // A writer lets a read that waits on the pipe go on (to be caught below).
        for (const std::string& end : {file, pipe}) {
          int writer = ::open(end.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
          if (writer >= 0) ::close(writer);
        }
      }
    });
    std::set<std::string> wrong;
    for (int i = 0; i < 2000; ++i) {
      try {
        if (Machine::load(dir.path()).config.processorType != 486)
          wrong.insert("a default machine");
      } catch (const MachineError& error) {
        if (error.problem().find("is not a file") == std::string::npos) wrong.insert(error.what());
      }
    }
    done = true;
    swapper.join();
    EXPECT_EQ(wrong, std::set<std::string>{}) << name;
  }
}

TEST(MachineFolder, LoadNamesTheFileAndLineOfWhatIsWrong) {
  TempDir dir;
  const fs::path folder = dir.path() / "m";

  MachineError missingFolder = LoadError(folder);
  EXPECT_EQ(missingFolder.file(), "");
  EXPECT_NE(missingFolder.problem().find("no such machine folder"), std::string::npos);

  Machine::create(folder);
  fs::remove(folder / "machine.ini");
  MachineError missingIni = LoadError(folder);
  EXPECT_EQ(missingIni.file(), "machine.ini");
  EXPECT_NE(missingIni.problem().find("missing"), std::string::npos);

  WriteFile(folder / "machine.ini", "[Windows]\r\nPlatform=1\r\n[Hardware]\r\nMemory=lots\r\n");
  MachineError badIni = LoadError(folder);
  EXPECT_EQ(badIni.file(), "machine.ini");
  EXPECT_EQ(badIni.line(), 4u);

  WriteFile(folder / "machine.ini", "");
  fs::remove(folder / "registry.reg");
  MachineError missingReg = LoadError(folder);
  EXPECT_EQ(missingReg.file(), "registry.reg");
  EXPECT_NE(missingReg.problem().find("missing"), std::string::npos);

  WriteFile(folder / "registry.reg",
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n\"a\"=dword:1\r\n\"b\"=wrong\r\n");
  MachineError badReg = LoadError(folder);
  EXPECT_EQ(badReg.file(), "registry.reg");
  EXPECT_EQ(badReg.line(), 5u);

  WriteFile(folder / "registry.reg", "[HKEY_LOCAL_MACHINE\\Software]\r\n");
  EXPECT_EQ(LoadError(folder).file(), "registry.reg");

  WriteFile(folder / "registry.reg", "REGEDIT4\r\n");
  WriteFile(folder / "machine.ini", "[Windows]\r\nWindowsDirectory=E:\\WINDOWS\r\n");
  MachineError noDrive = LoadError(folder);
  EXPECT_EQ(noDrive.file(), "machine.ini");
  EXPECT_NE(noDrive.problem().find("drive_e"), std::string::npos) << noDrive.problem();
}

}  // namespace
