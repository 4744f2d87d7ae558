#include "setup_machine.h"

namespace setuptest {

std::string Padded(std::string_view text, size_t count) {
  std::string bytes(text);
  bytes.resize(count, '\0');
  return bytes;
}

void AddPciDevice(rq47test::TestMachine& machine, const std::string& name) {
  machine.setString(kPci + "\\" + name + "\\BUS_00&DEV_0B&FUNC_00", "Class", "Modem");
}

std::unique_ptr<rq47test::TestMachine> MakeMachine(const winsim::MachineConfig& config,
                                                   const std::string& modemId) {
  auto machine = std::make_unique<rq47test::TestMachine>(config);
  machine->writeFile(kSystemIni, kSystemIniText);
  rq47test::AddModemPackage(*machine);
  AddPciDevice(*machine, "VEN_8086&DEV_7110&SUBSYS_00000000&REV_01");
  if (!modemId.empty()) AddPciDevice(*machine, modemId);
  machine->run();
  return machine;
}

std::vector<std::string> Calls(rq47test::TestMachine& machine, std::string_view function,
                               std::string_view with) {
  std::string prefix = std::string(function) + "(";
  std::vector<std::string> found;
  for (const std::string& line : machine.run().trace()) {
    if (line.compare(0, prefix.size(), prefix) == 0 && line.find(with) != std::string::npos) {
      found.push_back(line);
    }
  }
  return found;
}

long FirstCall(rq47test::TestMachine& machine, std::string_view function, std::string_view with) {
  std::string prefix = std::string(function) + "(";
  const std::vector<std::string>& trace = machine.run().trace();
  for (size_t i = 0; i < trace.size(); ++i) {
    if (trace[i].compare(0, prefix.size(), prefix) == 0 &&
        trace[i].find(with) != std::string::npos) {
      return static_cast<long>(i);
    }
  }
  return -1;
}

size_t ChangingCalls(rq47test::TestMachine& machine) {
  size_t count = 0;
  for (const char* function : {"RegSetValueExA", "RegCreateKeyExA", "RegDeleteKeyA", "CopyFileA",
                               "DeleteFileA", "CreateDirectoryA", "WriteFile"}) {
    count += Calls(machine, function).size();
  }
  return count;
}

}  // namespace setuptest
