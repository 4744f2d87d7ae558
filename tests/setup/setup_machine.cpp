#include "setup_machine.h"

namespace setuptest {

rq47set::SetupContext StartedContext() {
  rq47set::SetupContext context;
  rq47set::StartSetupContext(context);
  return context;
}

std::vector<rq47test::StoredValue> FreshVendorValues(const std::string& pnpId) {
  using rq47test::ByteValue;
  using rq47test::KeptText;
  return {KeptText("Version", "3.02 Build 69"),
          KeptText("Operating System", "Windows98"),
          ByteValue("Country", 1),
          KeptText("Language", "Domestic English"),
          KeptText("PNP ID", pnpId),
          ByteValue("MicGain", 80),
          ByteValue("SpkrGain", 80),
          KeptText("DOSboxEnabled", "FALSE")};
}

void AddPciDevice(rq47test::TestMachine& machine, const std::string& name) {
  machine.setString(kPciKeyPath + "\\" + name + "\\BUS_00&DEV_0B&FUNC_00", "Class", "Modem");
}

std::unique_ptr<rq47test::TestMachine> MakeMachine(const winsim::MachineConfig& config,
                                                   const std::string& modemId) {
  auto machine = std::make_unique<rq47test::TestMachine>(config);
  machine->writeFile(kSystemIniPath, kSystemIniText);
  rq47test::AddModemPackage(*machine);
  machine->makeDirectory(machine->config().windowsDirectory + "\\HELP");
  AddPciDevice(*machine, "VEN_8086&DEV_7110&SUBSYS_00000000&REV_01");
  if (!modemId.empty()) AddPciDevice(*machine, modemId);
  machine->run();
  return machine;
}

}  // namespace setuptest
