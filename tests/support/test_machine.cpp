#include "test_machine.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "winsim/file_journal.h"
#include "winsim/registry.h"

namespace fs = std::filesystem;

namespace rq47test {
namespace {

fs::path EnvPath(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return fs::path(value != nullptr && *value != '\0' ? value : fallback);
}

std::vector<std::string> SplitWindowsPath(std::string_view path) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : path) {
    if (c == '\\' || c == '/') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

}  // namespace

fs::path SourceDir() { return EnvPath("RQ47_SOURCE_DIR", RQ47_DEFAULT_SOURCE_DIR); }
fs::path BinaryDir() { return EnvPath("RQ47_BINARY_DIR", RQ47_DEFAULT_BINARY_DIR); }

void CopyMachineFiles(const fs::path& source, const fs::path& target) {
  fs::create_directories(target);
  for (const fs::directory_entry& entry : fs::directory_iterator(source)) {
    if (entry.path().filename() == winsim::kPrivateFolderName) continue;
    fs::copy(entry.path(), target / entry.path().filename(), fs::copy_options::recursive);
  }
}

void CopyShippedMachine(const std::string& name, const fs::path& target) {
  fs::path source = SourceDir() / "machines" / name;
  if (!fs::is_directory(source)) throw std::runtime_error("no shipped machine " + source.string());
  CopyMachineFiles(source, target);
}

TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() / ("rq47-test-" + std::to_string(::getpid()) +
                                                      "-" + std::to_string(random() % 100000000));
    if (fs::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

TestMachine::TestMachine(const winsim::MachineConfig& config)
    : machine_(std::make_unique<winsim::Machine>(winsim::Machine::create(dir_.path(), config))) {}

TestMachine::TestMachine(CopyTag, const std::string& shippedMachine) {
  CopyShippedMachine(shippedMachine, dir_.path());
  machine_ = std::make_unique<winsim::Machine>(winsim::Machine::load(dir_.path()));
}

std::unique_ptr<TestMachine> TestMachine::CopyOf(const std::string& shippedMachine) {
  return std::unique_ptr<TestMachine>(new TestMachine(CopyTag{}, shippedMachine));
}

winsim::Run& TestMachine::run() {
  if (!run_) run_ = std::make_unique<winsim::Run>(*machine_);
  return *run_;
}

winsim::Run& TestMachine::newRun() {
  run_.reset();
  return run();
}

void TestMachine::endRun() { run_.reset(); }

void TestMachine::reload() {
  run_.reset();
  machine_->save(true);
  machine_ = std::make_unique<winsim::Machine>(winsim::Machine::load(dir_.path()));
}

fs::path TestMachine::hostPath(std::string_view windowsPath) const {
  if (windowsPath.size() < 2 || windowsPath[1] != ':') {
    throw std::invalid_argument("test paths are absolute: " + std::string(windowsPath));
  }
  fs::path host = machine_->driveFolder(windowsPath[0]);
  for (const std::string& part : SplitWindowsPath(windowsPath.substr(2))) {
    fs::path next = host / part;
    std::error_code ignored;
    if (fs::is_directory(host, ignored)) {
      for (const auto& entry : fs::directory_iterator(host, ignored)) {
        if (winsim::NamesEqual(entry.path().filename().string(), part)) {
          next = entry.path();
          break;
        }
      }
    }
    host = next;
  }
  return host;
}

void TestMachine::makeDirectory(std::string_view windowsPath) {
  fs::create_directories(hostPath(windowsPath));
}

void TestMachine::writeFile(std::string_view windowsPath, std::string_view content) {
  fs::path host = hostPath(windowsPath);
  fs::create_directories(host.parent_path());
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + host.string());
}

std::optional<std::string> TestMachine::readFile(std::string_view windowsPath) const {
  return ReadHostFile(hostPath(windowsPath));
}

bool TestMachine::exists(std::string_view windowsPath) const {
  std::error_code ignored;
  return fs::exists(hostPath(windowsPath), ignored);
}

void TestMachine::removeFile(std::string_view windowsPath) { fs::remove(hostPath(windowsPath)); }

void TestMachine::setString(std::string_view key, std::string_view name, std::string_view text) {
  std::string bytes(text);
  bytes.push_back('\0');
  setBytes(key, name, 1, std::move(bytes));
}

void TestMachine::setBytes(std::string_view key, std::string_view name, uint32_t type,
                           std::string bytes) {
  winsim::RegKey* node = machine_->registry.create(key);
  if (node == nullptr) throw std::invalid_argument("not a registry path: " + std::string(key));
  node->setValue(name, type, std::move(bytes));
}

void TestMachine::setDword(std::string_view key, std::string_view name, uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[static_cast<size_t>(i)] = static_cast<char>(value >> (8 * i));
  setBytes(key, name, 4, std::move(bytes));
}

void TestMachine::createKey(std::string_view key) {
  if (machine_->registry.create(key) == nullptr) {
    throw std::invalid_argument("not a registry path: " + std::string(key));
  }
}

bool TestMachine::keyExists(std::string_view key) const {
  return machine_->registry.find(key) != nullptr;
}

std::optional<std::string> TestMachine::valueBytes(std::string_view key,
                                                   std::string_view name) const {
  const winsim::RegValue* value = machine_->registry.value(key, name);
  if (value == nullptr) return std::nullopt;
  return value->data;
}

std::optional<std::string> TestMachine::valueText(std::string_view key,
                                                  std::string_view name) const {
  return machine_->registry.text(key, name);
}

std::optional<std::string> ReadHostFile(const fs::path& path) {
  std::error_code ignored;
  if (!fs::is_regular_file(path, ignored)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::map<std::string, std::string> FolderContents(const fs::path& folder) {
  std::map<std::string, std::string> contents;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::string relative = fs::relative(entry.path(), folder).string();
    if (entry.is_symlink()) {
      contents[relative] = "<link to " + fs::read_symlink(entry.path()).string() + ">";
    } else if (entry.is_directory()) {
      contents[relative] = "<folder>";
    } else {
      contents[relative] = ReadWhole(entry.path());
    }
  }
  return contents;
}

std::vector<std::string> ChangedEntries(const std::map<std::string, std::string>& before,
                                        const std::map<std::string, std::string>& after) {
  std::vector<std::string> changed;
  for (const auto& [path, content] : before) {
    auto it = after.find(path);
    if (it == after.end()) {
      changed.push_back("- " + path);
    } else if (it->second != content) {
      changed.push_back("~ " + path);
    }
  }
  for (const auto& [path, content] : after) {
    if (before.count(path) == 0) changed.push_back("+ " + path);
  }
  return changed;
}

void AddModemPackage(TestMachine& machine) {
  const std::string folder = machine.config().windowsDirectory + "\\Zelvaran\\ZelSet95\\";
  for (const std::string name : kPackageFiles) {
    machine.writeFile(folder + name, name == "rq47.reg" ? "REGEDIT4\r\n" : "package " + name);
  }
}

std::string Hklm(std::string_view subkey) { return "HKEY_LOCAL_MACHINE\\" + std::string(subkey); }

}  // namespace rq47test
