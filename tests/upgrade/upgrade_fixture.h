// A Windows 95 machine with an earlier installation of the modem software,
// built in code with the new package in its program folder, and the means to run the upgrade step
// on it as the setup's main sequence does.
#ifndef RQ47_TESTS_UPGRADE_FIXTURE_H
#define RQ47_TESTS_UPGRADE_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modem_fixtures.h"
#include "setup_context.h"
#include "test_machine.h"
#include "trace_lines.h"
#include "upgrade.h"

namespace rq47test {

inline const std::string kModemKeyPath = Hklm("Enum\\PCI\\") + kModemId;
inline const std::string kModemInstancePath = kModemKeyPath + "\\BUS_00&DEV_0B&FUNC_00";

inline constexpr char kUpgradeCaption[] = "Zelvaran RQ47 Upgrade";
inline constexpr char kModemCaption[] = "Zelvaran RQ47 Modem";
inline constexpr char kQuestionText[] =
    "Install has found a previous version of the RQ47 Modem on your system.  Click YES to "
    "UPGRADE to the latest version.";
inline constexpr char kRebootText[] =
    "Please reboot the computer to continue with the upgrade.  Upon reboot, the system will "
    "install the new software. ";

// The settings an earlier installation keeps, as it wrote them.
struct OldSettings {
  std::string version = "3.01 Build 52";
  std::string language = "German";
  uint8_t country = 49;
  std::string pnpId = kModemId;
  uint8_t micGain = 0x40;
  uint8_t spkrGain = 0x60;
  std::string dosBoxEnabled = "TRUE";
  std::string portName = "COM4";
};

class UpgradeTest : public ::testing::Test {
 protected:
  UpgradeTest();

  TestMachine& machine() { return machine_; }
  winsim::Run& run() { return machine_.run(); }

  // The settings key of an earlier installation, with the byte counts it
  // used: Version 20, Language 22, PNP ID 42, DOSboxEnabled 10, PortName 10.
  void WriteOldSettings(const std::string& key, const OldSettings& settings = {});
  // The modem under Enum\PCI with one instance key; PortName there when given.
  void AddModem(const std::optional<std::string>& instancePortName = "COM4");
  // The files of an installation: drivers in the System directory, the kit
  // folder, the INF copies, the driver line in system.ini.
  void AddInstalledFiles();

  // Puts the setup's buffers where the main sequence has them when it reaches
  // the upgrade: program-start values and the paths.
  void StartSetupRun();
  // StartSetupRun, the answers, then the upgrade; returns its result.
  rq47set::UpgradeResult Upgrade(std::vector<int> answers);
  rq47set::SetupContext& context() { return context_; }

  // The texts of the message boxes shown so far.
  std::vector<std::string> BoxTexts();
  // The trace lines of calls to one function whose line holds the text.
  std::vector<std::string> CallsOf(std::string_view function, std::string_view containing = {}) {
    return rq47test::CallsOf(run().trace(), function, containing);
  }
  // Where in the trace the first such call was made; the trace's length when
  // there was none.
  size_t FirstCall(std::string_view function, std::string_view containing = {}) {
    return rq47test::FirstCall(run().trace(), function, containing);
  }

 private:
  TestMachine machine_;
  rq47set::SetupContext context_;
};

}  // namespace rq47test

#endif  // RQ47_TESTS_UPGRADE_FIXTURE_H
