#include "bad_input_machine.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "main_sequence.h"
#include "test_machine.h"
#include "uninstall_sequence.h"
#include "winsim/regedit4.h"

namespace fs = std::filesystem;

namespace rq47test {
namespace {}  // namespace

std::vector<std::string> PlacedFiles(const std::string& windowsDirectory,
                                     const std::string& systemDirectory) {
  return {systemDirectory + "\\zelvcd.vxd",   systemDirectory + "\\rq47pci.vxd",
          systemDirectory + "\\rq47pci1.vxd", systemDirectory + "\\zca.cpl",
          systemDirectory + "\\zuninst.exe",  windowsDirectory + "\\HELP\\zca.hlp"};
}

std::unique_ptr<TestMachine> Windows98() { return TestMachine::CopyOf("win98se"); }

std::unique_ptr<TestMachine> InstalledWindows98() {
  std::unique_ptr<TestMachine> machine = Windows98();
  if (RunSetupOn(*machine) != 0 || !ShowedSuccess(*machine)) {
    throw std::runtime_error("the clean installation on win98se did not succeed");
  }
  return machine;
}

std::unique_ptr<TestMachine> Windows98With(const std::string& windowsDirectory,
                                           const std::string& systemDirectory) {
  const fs::path shipped = SourceDir() / "machines" / "win98se";
  winsim::MachineConfig config = winsim::Machine::load(shipped).config;
  const std::string programFolder = windowsDirectory + "\\Zelvaran\\ZelSet95";
  config.windowsDirectory = windowsDirectory;
  config.systemDirectory = systemDirectory;
  config.currentDirectory = programFolder.size() < MAX_PATH ? programFolder : "C:\\";
  auto machine = std::make_unique<TestMachine>(config);

  if (auto error =
          winsim::ImportRegedit4(ReadWhole(shipped / "registry.reg"), machine->registry())) {
    throw std::runtime_error("the shipped registry does not import: " + error->message);
  }
  const fs::path shippedWindows = shipped / "drive_c" / "WINDOWS";
  machine->writeFile(windowsDirectory + "\\system.ini", ReadWhole(shippedWindows / "system.ini"));
  machine->writeFile(windowsDirectory + "\\HELP\\windows.hlp",
                     ReadWhole(shippedWindows / "HELP" / "windows.hlp"));
  for (const auto& entry : fs::directory_iterator(shippedWindows / "Zelvaran" / "ZelSet95")) {
    machine->writeFile(programFolder + "\\" + entry.path().filename().string(),
                       ReadWhole(entry.path()));
  }
  return machine;
}

int RunSetupOn(TestMachine& machine, std::vector<int> answers) {
  machine.newRun().setAnswers(std::move(answers));
  return rq47set::RunSetup();
}

int RunUninstallOn(TestMachine& machine) {
  machine.newRun().setAnswers({IDYES});
  return zuninst::RunUninstall();
}

std::vector<std::string> BoxTexts(TestMachine& machine) {
  std::vector<std::string> texts;
  for (const winsim::MessageBoxRecord& box : machine.run().messageBoxes()) {
    texts.push_back(box.text);
  }
  return texts;
}

bool ShowedSuccess(TestMachine& machine) {
  std::vector<std::string> texts = BoxTexts(machine);
  return !texts.empty() && texts.back().rfind(kSuccessPrefix, 0) == 0;
}

}  // namespace rq47test
