// winsim reg: a machine's registry read and changed as Windows' reg and
// regedit do it (query, export, import).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <memory>
#include <new>
#include <system_error>

#include "changes_text.h"
#include "codepage.h"
#include "command_line.h"
#include "commands.h"
#include "machine_diff.h"
#include "machine_problem.h"
#include "registry_file.h"
#include "report_file.h"
#include "snapshot.h"
#include "value_text.h"
#include "winsim/file_journal.h"
#include "winsim/guarded_run.h"
#include "winsim/machine.h"
#include "winsim/machine_hold.h"
#include "winsim/regedit4.h"

namespace fs = std::filesystem;

namespace winsim_tool {
namespace {

constexpr char kCommand[] = "reg";
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kBusy = 125;  // another run or command holds the machine; nothing was done

struct Failure {
  std::string message;
};

// The switches of reg (/v, /ve, /s, /y, also with a dash), in any case.
// Anything else is an argument, so that a file such as /tmp/a.reg stays one.
bool IsSwitch(const std::string& arg, const char* name) {
  if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return false;
  return winsim::NamesEqual(std::string_view(arg).substr(1), name);
}

struct RegArguments {
  std::vector<std::string> positional;
  std::optional<std::string> valueName;  // /v NAME, or "" for /ve
  bool recursive = false;                // /s
  bool overwrite = false;                // /y
  bool strict = false;                   // --strict
  bool wait = false;                     // --wait (import): wait for a run that holds the machine
};

RegArguments ParseRegArguments(const std::vector<std::string>& args, size_t from,
                               const std::string& operation) {
  RegArguments parsed;
  for (size_t i = from; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool isQuery = operation == "query";
    if (isQuery && IsSwitch(arg, "v")) {
      if (parsed.valueName) throw UsageError("name one value: /v NAME or /ve, once");
      if (i + 1 >= args.size()) throw UsageError("/v needs the name of a value after it");
      parsed.valueName = args[++i];
    } else if (isQuery && IsSwitch(arg, "ve")) {
      if (parsed.valueName) throw UsageError("name one value: /v NAME or /ve, once");
      parsed.valueName = std::string();
    } else if (isQuery && IsSwitch(arg, "s")) {
      parsed.recursive = true;
    } else if (operation == "export" && IsSwitch(arg, "y")) {
      parsed.overwrite = true;
    } else if (operation == "import" && arg == "--strict") {
      parsed.strict = true;
    } else if (operation == "import" && arg == "--wait") {
      parsed.wait = true;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      throw UsageError("unknown switch " + arg + " for " + operation);
    } else {
      parsed.positional.push_back(arg);
    }
  }
  return parsed;
}

std::string RootList() {
  return "HKEY_LOCAL_MACHINE (HKLM), HKEY_CURRENT_USER (HKCU), HKEY_USERS (HKU), "
         "HKEY_CLASSES_ROOT (HKCR), HKEY_CURRENT_CONFIG (HKCC) or HKEY_DYN_DATA (HKDD)";
}

// The key a path names; a Failure that names the nearest key that exists.
const winsim::RegKey& FindKey(const winsim::Registry& registry, const std::string& path,
                              const std::string& folder) {
  std::vector<std::string_view> parts = winsim::SplitKeyPath(path);
  if (parts.empty() || !winsim::ParseRootName(parts[0])) {
    throw Failure{"'" + path + "' does not start with a registry root; start it with " +
                  RootList()};
  }
  const winsim::RegKey* key = &registry.root(*winsim::ParseRootName(parts[0]));
  for (size_t i = 1; i < parts.size(); ++i) {
    const winsim::RegKey* next = key->findSubkey(parts[i]);
    if (next == nullptr) {
      throw Failure{"the registry of " + folder + " has no key " + path + ": the key " +
                    key->path() + " has no subkey '" + std::string(parts[i]) + "'" +
                    (key->subkeyCount() != 0 ? "; list its subkeys with: winsim reg " +
                                                   Shown(folder) + " query '" + key->path() + "'"
                                             : " (it has none)")};
    }
    key = next;
  }
  return *key;
}

void PrintValues(const winsim::RegKey& key) {
  size_t width = 0;
  for (const winsim::RegValue& value : key.values()) {
    width = std::max(width, ValueNameText(value.name).size());
  }
  for (const winsim::RegValue& value : key.values()) {
    std::string name = ValueNameText(value.name);
    std::string type = RegTypeName(value.type);
    std::printf("    %s%s    %-13s %s\n", name.c_str(),
                std::string(width - name.size(), ' ').c_str(), type.c_str(),
                ValueDataText(value).c_str());
  }
}

void PrintKeyTree(const winsim::RegKey& key) {
  std::printf("%s\n", ShownText(key.path()).c_str());
  PrintValues(key);
  std::printf("\n");
  for (size_t i = 0; i < key.subkeyCount(); ++i) PrintKeyTree(*key.subkey(i));
}

int Query(winsim::Machine& machine, const std::string& folder, const RegArguments& args) {
  if (args.positional.size() != 1) {
    throw UsageError("query takes one key: winsim reg DIR query KEY [/v NAME | /ve] [/s]");
  }
  const winsim::RegKey& key = FindKey(machine.registry, args.positional[0], folder);
  if (args.valueName) {
    const winsim::RegValue* value = key.findValue(*args.valueName);
    if (value == nullptr) {
      std::string names;
      for (const winsim::RegValue& each : key.values()) {
        names += (names.empty() ? "" : ", ") + ValueNameText(each.name);
      }
      throw Failure{
          "the key " + key.path() + " has no value " +
          (args.valueName->empty() ? std::string("(Default)") : "'" + *args.valueName + "'") +
          (names.empty() ? "; it has no values at all" : "; its values are " + names)};
    }
    std::printf("%s\n", ShownText(key.path()).c_str());
    std::printf("    %s    %-13s %s\n", ValueNameText(value->name).c_str(),
                RegTypeName(value->type).c_str(), ValueDataText(*value).c_str());
    return 0;
  }
  if (args.recursive) {
    PrintKeyTree(key);
    return 0;
  }
  std::printf("%s\n", ShownText(key.path()).c_str());
  PrintValues(key);
  if (key.subkeyCount() != 0) {
    std::printf("\n");
    for (size_t i = 0; i < key.subkeyCount(); ++i) {
      std::printf("%s\n", ShownText(key.subkey(i)->path()).c_str());
    }
  }
  return 0;
}

int Export(winsim::Machine& machine, const std::string& folder, const RegArguments& args) {
  if (args.positional.empty() || args.positional.size() > 2) {
    throw UsageError("export takes a file and at most one key: winsim reg DIR export FILE [KEY]");
  }
  const std::string& file = args.positional[0];
  std::string text;
  std::string what = "the whole registry";
  if (args.positional.size() == 2) {
    const winsim::RegKey& key = FindKey(machine.registry, args.positional[1], folder);
    text = winsim::ExportRegedit4(key);
    what = key.path();
  } else {
    text = winsim::ExportRegedit4(machine.registry);
  }
  if (file == "-") {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return 0;
  }
  std::string problem = OutputPathProblem(file);
  if (problem.empty()) problem = MachineFileProblem(file, folder, "export");
  if (!problem.empty()) throw Failure{problem};
  std::error_code error;
  if (fs::exists(file, error) && !args.overwrite) {
    throw Failure{file + " exists; add /y to replace it, or name another file"};
  }
  try {
    WriteFileAtomically(file, text);
  } catch (const std::exception& failure) {
    throw Failure{failure.what()};
  }
  Say(kCommand, "exported " + ShownText(what) + " to " + file);
  return 0;
}

// The lines regedit could not read, each with its number and why.
void PrintPassedOver(const std::vector<winsim::PassedOverLine>& passedOver, size_t notListed) {
  if (passedOver.empty()) return;
  std::printf("Passed over, as regedit cannot read them (--strict imports nothing then):\n");
  for (const winsim::PassedOverLine& passed : passedOver) {
    std::string where = "line " + std::to_string(passed.line);
    if (passed.lastLine > passed.line)
      where = "lines " + where.substr(5) + "-" + std::to_string(passed.lastLine);
    std::printf("  %s: %s\n", where.c_str(), ShownText(passed.message).c_str());
  }
  if (notListed != 0) std::printf("  and %zu more lines\n", notListed);
}

// The file to import, read once into memory of its size. An import holds it,
// the registry it makes and the machine's registry as it was, so a file
// larger than the computer's memory is refused before it is read.
std::string ReadImportFile(const std::string& file) {
  std::error_code error;
  if (!fs::is_regular_file(file, error)) {
    throw Failure{"cannot import " + file +
                  (fs::exists(file, error) ? ": it is not a file" : ": there is no such file")};
  }
  uintmax_t size = fs::file_size(file, error);
  if (error) size = 0;
  uintmax_t memory = winsim::ComputerMemory();
  if (memory != 0 && size > memory) {
    throw Failure{"cannot import " + file + ": it is " + winsim::SizeText(size) +
                  ", more than this computer's memory (" + winsim::SizeText(memory) +
                  "), and an import holds the whole file: check that it is a registry file, "
                  "or split it into smaller files"};
  }
  std::ifstream in(file, std::ios::binary);
  std::string bytes;
  bytes.reserve(static_cast<size_t>(size));
  char block[1 << 16];
  while (in.read(block, sizeof block), in.gcount() > 0) {
    bytes.append(block, static_cast<size_t>(in.gcount()));
  }
  if (!in.is_open() || in.bad()) {
    throw Failure{"cannot read " + file + "; check its permissions"};
  }
  return bytes;
}

// Applies the file to the machine's registry and keeps what it was before,
// for the changes to show; Failure when it cannot be imported.
void ApplyImportFile(winsim::Machine& machine, const std::string& file, bool strict,
                     winsim::Registry& before, std::vector<winsim::PassedOverLine>& passedOver,
                     size_t& notListed) {
  RegistryFileText text = ReadRegistryFileText(ReadImportFile(file));
  if (text.errorLine != 0) {
    throw Failure{file + ":" + std::to_string(text.errorLine) + ": " + text.error +
                  "; nothing was imported"};
  }
  CopyRegistry(machine.registry, before);
  std::optional<winsim::Regedit4Error> refused;
  if (strict) {
    refused = winsim::ImportRegedit4(text.regedit4, machine.registry);
  } else {
    winsim::Regedit4LineByLine imported =
        winsim::ImportRegedit4LineByLine(text.regedit4, machine.registry);
    // Stopped part way, the import is not saved: all of the file or nothing.
    refused = imported.refused ? std::move(imported.refused) : std::move(imported.stopped);
    passedOver = std::move(imported.passedOver);
    notListed = imported.notListed;
  }
  if (refused) {
    throw Failure{file + ":" + std::to_string(refused->line) + ": " + AnsiToUtf8(refused->message) +
                  "; nothing was imported"};
  }
}

int Import(winsim::Machine& machine, const std::string& folder, const RegArguments& args) {
  if (args.positional.size() != 1) {
    throw UsageError("import takes one file: winsim reg DIR import FILE [--strict] [--wait]");
  }
  const std::string& file = args.positional[0];
  winsim::Registry before;
  std::vector<winsim::PassedOverLine> passedOver;
  size_t notListed = 0;
  try {
    ApplyImportFile(machine, file, args.strict, before, passedOver, notListed);
  } catch (const std::bad_alloc&) {
    std::error_code error;
    uintmax_t size = fs::file_size(file, error);
    throw Failure{"cannot import " + file +
                  ": it does not fit in the memory this process may have" +
                  (error ? std::string() : " (the file is " + winsim::SizeText(size) + ")") +
                  ", as an import holds the file, the registry it makes and the machine's "
                  "registry as it was: free some memory, raise the process's limit (ulimit -v), "
                  "or split the file into smaller ones; nothing was imported"};
  }
  try {
    machine.save();
  } catch (const std::exception& failure) {
    throw Failure{std::string("cannot save the registry: ") + failure.what() +
                  "; the registry of " + folder + " is as it was"};
  }
  std::string shownFile = winsim::EscapeControls(file);
  std::string shownFolder = winsim::EscapeControls(folder);
  try {
    MachineChanges changes;
    changes.keys = CompareRegistries(before, machine.registry);
    if (changes.keys.empty()) {
      std::printf("Imported %s into %s: nothing changed (the registry held it all already).\n",
                  shownFile.c_str(), shownFolder.c_str());
    } else {
      std::printf("Imported %s into %s: %s\n%s", shownFile.c_str(), shownFolder.c_str(),
                  RegistrySummary(changes.registryCounts()).c_str(),
                  RegistryChangesText(changes.keys).c_str());
    }
  } catch (const std::bad_alloc&) {
    // Imported and saved: only the list of its changes did not fit.
    std::printf(
        "Imported %s into %s; its changes are too many to list in the memory this "
        "process may have.\n",
        shownFile.c_str(), shownFolder.c_str());
  }
  PrintPassedOver(passedOver, notListed);
  return 0;
}

}  // namespace

int RegCommand(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h" || arg == "/?") {
      std::fputs(CommandHelp(kCommand).c_str(), stdout);
      return 0;
    }
  }
  std::string operation;
  RegArguments parsed;
  try {
    if (args.empty()) throw UsageError("name a machine folder and query, export or import");
    if (args.size() < 2) {
      throw UsageError("after the machine folder, name what to do: query, export or import");
    }
    operation = args[1];
    if (operation != "query" && operation != "export" && operation != "import") {
      throw UsageError("'" + operation +
                       "' is not something reg does; use query, export or import");
    }
    parsed = ParseRegArguments(args, 2, operation);
  } catch (const UsageError& error) {
    SayUsage(kCommand, error.what());
    return kUsage;
  }

  const std::string& folder = args[0];
  try {
    // An import changes the machine: it holds it, as a run does. Reading
    // needs no hold, only what a killed run left put back first.
    std::unique_ptr<winsim::MachineHold> hold;
    std::error_code missing;
    if (operation == "import" && fs::is_directory(folder, missing)) {
      try {
        hold = std::make_unique<winsim::MachineHold>(
            folder, "winsim reg import", parsed.wait, [&folder](const std::string& holder) {
              Say(kCommand, "the machine " + folder + " is in use by " + holder +
                                "; waiting for it to be free");
            });
      } catch (const winsim::MachineBusy& busy) {
        Say(kCommand, "the machine " + folder + " is in use by " + busy.holder() +
                          "; import again when that has ended, or add --wait to wait for it");
        return kBusy;
      }
      if (!hold->tidied().empty()) Say(kCommand, hold->tidied());
    } else {
      std::string tidied = winsim::MachineHold::TidyIfLeft(folder, "winsim reg " + operation);
      if (!tidied.empty()) Say(kCommand, tidied);
    }
    winsim::Machine machine = [&] {
      try {
        return winsim::Machine::load(folder);
      } catch (const winsim::MachineError& error) {
        throw Failure{MachineProblem(folder, error)};
      }
    }();
    if (operation == "query") return Query(machine, folder, parsed);
    if (operation == "export") return Export(machine, folder, parsed);
    return Import(machine, folder, parsed);
  } catch (const UsageError& error) {
    SayUsage(kCommand, error.what());
    return kUsage;
  } catch (const winsim::JournalRefused& refused) {
    Say(kCommand, MachineProblem(folder, refused));
    return kBusy;
  } catch (const Failure& failure) {
    Say(kCommand, failure.message);
    return kFailed;
  } catch (const winsim::MachineError& failure) {
    Say(kCommand, MachineProblem(folder, failure));
    return kFailed;
  } catch (const std::exception& failure) {
    Say(kCommand, failure.what());
    return kFailed;
  }
}

}  // namespace winsim_tool
