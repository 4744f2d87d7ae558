#include "snapshot.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "sha256.h"
#include "winsim/regedit4.h"

namespace fs = std::filesystem;

namespace winsim_tool {
namespace {

bool EndsWithIni(const std::string& name) {
  if (name.size() < 4) return false;
  return winsim::NamesEqual(std::string_view(name).substr(name.size() - 4), ".ini");
}

[[noreturn]] void CannotRead(const fs::path& path, const std::string& why) {
  throw std::runtime_error("cannot read " + path.string() + ": " + why +
                           "; check the file and its permissions");
}

FileEntry ReadFileEntry(const fs::path& path, const std::string& name) {
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) CannotRead(path, "it does not open");
  FileEntry entry;
  Sha256 hash;
  const bool keepText = EndsWithIni(name);
  std::string text;
  char buffer[1 << 16];
  while (in) {
    in.read(buffer, sizeof buffer);
    std::streamsize got = in.gcount();
    if (got <= 0) break;
    hash.update(buffer, static_cast<size_t>(got));
    entry.size += static_cast<uint64_t>(got);
    if (keepText && entry.size <= kMostTextBytes) text.append(buffer, static_cast<size_t>(got));
  }
  if (in.bad()) CannotRead(path, "reading failed");
  entry.sha256 = hash.hexDigest();
  if (keepText && entry.size <= kMostTextBytes) entry.text = std::move(text);
  return entry;
}

// Walks a drive folder; symbolic links and anything that is neither a file
// nor a folder are not part of the machine, as the drive itself ignores them.
void Walk(const fs::path& folder, const std::string& windowsFolder, MachineSnapshot& snapshot) {
  std::error_code error;
  fs::directory_iterator it(folder, error);
  if (error) CannotRead(folder, error.message());
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) CannotRead(folder, error.message());
    const fs::path& path = it->path();
    std::string name = path.filename().string();
    std::string windowsPath = windowsFolder + "\\" + name;
    fs::file_status status = fs::symlink_status(path, error);
    if (error) CannotRead(path, error.message());
    if (fs::is_directory(status)) {
      FileEntry entry;
      entry.directory = true;
      snapshot.files[windowsPath] = entry;
      Walk(path, windowsPath, snapshot);
    } else if (fs::is_regular_file(status)) {
      snapshot.files[windowsPath] = ReadFileEntry(path, name);
    }
  }
  if (error) CannotRead(folder, error.message());
}

}  // namespace

void CopyRegistry(const winsim::Registry& from, winsim::Registry& to) {
  if (std::optional<winsim::Regedit4Error> error =
          winsim::ImportRegedit4(winsim::ExportRegedit4(from), to)) {
    throw std::runtime_error("cannot copy the registry (line " + std::to_string(error->line) +
                             " of its export: " + error->message + ")");
  }
  to.modified = false;
}

MachineSnapshot TakeSnapshot(const winsim::Machine& machine) {
  MachineSnapshot snapshot;
  snapshot.folder = machine.folder();
  CopyRegistry(machine.registry, snapshot.registry);

  std::ifstream ini(machine.folder() / "machine.ini", std::ios::binary);
  if (ini.is_open()) {
    std::ostringstream content;
    content << ini.rdbuf();
    snapshot.machineIni = content.str();
  }

  for (char letter = 'a'; letter <= 'z'; ++letter) {
    fs::path drive = machine.driveFolder(letter);
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(drive, error))) continue;
    std::string root(1, static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
    root += ':';
    Walk(drive, root, snapshot);
  }
  return snapshot;
}

}  // namespace winsim_tool
