#include "setup_machine.h"

#include "trace_lines.h"

namespace setuptest {

rq47set::SetupContext StartedContext() {
  rq47set::SetupContext context;
  rq47set::StartSetupContext(context);
  return context;
}

void AddPciDevice(rq47test::TestMachine& machine, const std::string& name) {
  machine.setString(kPciKeyPath + "\\" + name + "\\BUS_00&DEV_0B&FUNC_00", "Class", "Modem");
}

std::unique_ptr<rq47test::TestMachine> MakeMachine(const winsim::MachineConfig& config,
                                                   const std::string& modemId) {
  auto machine = std::make_unique<rq47test::TestMachine>(config);
  machine->writeFile(kSystemIniPath, kSystemIniText);
  rq47test::AddModemPackage(*machine);
  AddPciDevice(*machine, "VEN_8086&DEV_7110&SUBSYS_00000000&REV_01");
  if (!modemId.empty()) AddPciDevice(*machine, modemId);
  machine->run();
  return machine;
}

size_t ChangingCalls(rq47test::TestMachine& machine) {
  size_t count = 0;
  for (const char* function : {"RegSetValueExA", "RegCreateKeyExA", "RegDeleteKeyA", "CopyFileA",
                               "DeleteFileA", "CreateDirectoryA", "WriteFile"}) {
    count += rq47test::CallsOf(machine.run().trace(), function).size();
  }
  return count;
}

}  // namespace setuptest
