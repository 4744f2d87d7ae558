// winsim's path resolution on any current directory and path: no path a
// program gives resolves to a host path outside the machine folder, and no
// file call made with it creates, changes or removes anything outside.
//
// The machine has links that point out of it (a folder link, a file link,
// one absolute and one relative) beside a folder outside with a file in it.
//
// Input: the first byte picks what is done with the path (resolve only,
// create a file and write to it, create a folder, delete, copy over); the
// rest is "current directory\npath", both cut at the first NUL as a C string
// would be.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <system_error>

#include "winsim/filesystem.h"
#include "winsim/machine.h"
#include "winsim/run.h"

namespace fs = std::filesystem;

namespace {

constexpr char kSecret[] = "outside the machine";

// An entry of the machine folder as it was at the start.
struct Entry {
  fs::file_type type = fs::file_type::none;
  std::string content;  // a file's bytes, a link's target
};

struct World {
  fs::path root;  // holds the machine folder and the folder outside it
  fs::path machineFolder;
  fs::path outside;
  std::unique_ptr<winsim::Machine> machine;
  std::map<fs::path, Entry> initialEntries;  // everything below the machine folder at the start
};

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "path confinement: %s\n", what.c_str());
  std::abort();
}

std::set<fs::path> EntriesBelow(const fs::path& folder) {
  std::set<fs::path> entries;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    entries.insert(it->path());
  }
  return entries;
}

void WriteHostFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string ReadHostFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Entry Describe(const fs::path& path) {
  std::error_code error;
  Entry entry;
  entry.type = fs::symlink_status(path, error).type();
  if (entry.type == fs::file_type::regular) entry.content = ReadHostFile(path);
  if (entry.type == fs::file_type::symlink) entry.content = fs::read_symlink(path, error).string();
  return entry;
}

std::map<fs::path, Entry> Snapshot(const fs::path& folder) {
  std::map<fs::path, Entry> entries;
  for (const fs::path& path : EntriesBelow(folder)) entries[path] = Describe(path);
  return entries;
}

World MakeWorld() {
  World world;
  std::string pattern = (fs::temp_directory_path() / "rq47-path-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) Fail("cannot make a temporary folder");
  world.root = pattern;
  world.machineFolder = world.root / "machine";
  world.outside = world.root / "outside";
  fs::create_directories(world.outside);
  WriteHostFile(world.outside / "secret.txt", kSecret);

  winsim::MachineConfig config;
  config.currentDirectory = "C:\\WINDOWS\\Zelvaran\\ZelSet95";
  world.machine =
      std::make_unique<winsim::Machine>(winsim::Machine::create(world.machineFolder, config));
  fs::path c = world.machine->driveFolder('C');
  fs::create_directories(c / "Program Files" / "Zelset95");
  WriteHostFile(c / "WINDOWS" / "system.ini", "[386Enh]\r\ndevice=*vcd\r\n");
  WriteHostFile(c / "Program Files" / "Zelset95" / "setup.exe", "kit");
  fs::create_directory_symlink(world.outside, c / "outlink");
  fs::create_directory_symlink("../../outside", c / "WINDOWS" / "uplink");
  fs::create_symlink(world.outside / "secret.txt", c / "WINDOWS" / "secret.ini");
  fs::create_directories(world.machine->driveFolder('D'));
  world.initialEntries = Snapshot(world.machineFolder);
  std::atexit([] {
    std::error_code ignored;
    fs::remove_all(fs::path(std::getenv("RQ47_PATH_FUZZ_ROOT")), ignored);
  });
  ::setenv("RQ47_PATH_FUZZ_ROOT", world.root.c_str(), 1);
  return world;
}

World& TheWorld() {
  static World world = MakeWorld();
  return world;
}

// `path` lies below `folder`, component by component.
bool IsBelow(const fs::path& path, const fs::path& folder) {
  auto [end, ignored] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
  return end == folder.end();
}

void CheckResolved(const World& world, const fs::path& host, const std::string& what) {
  if (host.empty()) return;
  fs::path normal = host.lexically_normal();
  if (!IsBelow(normal, world.machineFolder)) Fail(what + " resolves outside: " + host.string());
  std::error_code error;
  fs::path parent = fs::weakly_canonical(normal.parent_path(), error);
  if (!error && !IsBelow(parent, fs::weakly_canonical(world.machineFolder))) {
    Fail(what + " resolves into a folder outside: " + host.string());
  }
}

// Nothing outside the machine folder changed and no link inside it was
// touched; the machine's own files and folders, which the calls may change or
// delete as on any machine, are put back as they were for the next input.
void CheckOutsideAndRestore(World& world) {
  std::set<fs::path> rootEntries;
  for (const auto& entry : fs::directory_iterator(world.root)) rootEntries.insert(entry.path());
  if (rootEntries != std::set<fs::path>{world.machineFolder, world.outside}) {
    Fail("a file call made something beside the machine folder");
  }
  if (EntriesBelow(world.outside) != std::set<fs::path>{world.outside / "secret.txt"}) {
    Fail("a file call changed the folder outside the machine");
  }
  if (ReadHostFile(world.outside / "secret.txt") != kSecret) {
    Fail("a file call changed the file outside the machine");
  }

  std::set<fs::path> now = EntriesBelow(world.machineFolder);
  for (auto it = now.rbegin(); it != now.rend(); ++it) {
    if (world.initialEntries.count(*it) == 0) {
      std::error_code ignored;
      fs::remove_all(*it, ignored);
    }
  }
  for (const auto& [path, was] : world.initialEntries) {
    Entry is = Describe(path);
    if (was.type == fs::file_type::symlink) {
      if (is.type != was.type || is.content != was.content) {
        Fail("a file call changed the link " + path.string());
      }
    } else if (was.type == fs::file_type::directory && is.type != was.type) {
      fs::create_directories(path);
    } else if (was.type == fs::file_type::regular &&
               (is.type != was.type || is.content != was.content)) {
      std::error_code ignored;
      fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ignored);
      WriteHostFile(path, was.content);
    }
  }
}

std::string CString(const std::string& text) { return text.substr(0, text.find('\0')); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  World& world = TheWorld();
  const uint8_t operation = data[0] % 6;
  std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  size_t lineFeed = rest.find('\n');
  std::string current = lineFeed == std::string::npos ? world.machine->config.currentDirectory
                                                      : CString(rest.substr(0, lineFeed));
  std::string path = CString(lineFeed == std::string::npos ? rest : rest.substr(lineFeed + 1));

  winsim::PathResult result = winsim::ResolvePath(*world.machine, current, path);
  if (result.path)
    CheckResolved(world, result.path->host, "\"" + path + "\" from \"" + current + "\"");
  CheckResolved(world, winsim::HostPath(*world.machine, path),
                "\"" + path + "\" as an absolute path");
  if (operation == 0) return 0;

  {
    winsim::Run run(*world.machine);
    run.currentDirectory = current;
    switch (operation) {
      case 1: {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
          DWORD wrote = 0;
          WriteFile(file, "changed", 7, &wrote, nullptr);
          CloseHandle(file);
        }
        break;
      }
      case 2: CreateDirectoryA(path.c_str(), nullptr); break;
      case 3: DeleteFileA(path.c_str()); break;
      case 4: CopyFileA("C:\\WINDOWS\\system.ini", path.c_str(), FALSE); break;
      case 5: CopyFileA(path.c_str(), "C:\\WINDOWS\\copied.ini", FALSE); break;
    }
  }
  std::ifstream copied(world.machine->driveFolder('C') / "WINDOWS" / "copied.ini",
                       std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(copied)), std::istreambuf_iterator<char>());
  if (content == kSecret) Fail("\"" + path + "\" reads a file outside the machine");
  CheckOutsideAndRestore(world);
  return 0;
}
