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

#include "test_machine.h"

namespace rq47test {

inline const std::string kServiceKeyPath = Hklm("System\\CurrentControlSet\\Services\\RQ31DFV");
inline const std::string kVendorKeyPath = Hklm("Software\\Zelvaran\\RQ31DFV");
inline const std::string kTempKeyPath = Hklm("Software\\Zelvaran\\RQ31");
inline constexpr char kModemId[] = "VEN_1A3C&DEV_2210&SUBSYS_00000000&REV_01";
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

inline constexpr char kProgramFolder[] = "C:\\WINDOWS\\Zelvaran\\ZelSet95";
inline constexpr char kKitFolder[] = "C:\\Program Files\\Zelset95";
inline constexpr char kBackupFolder[] = "C:\\WINDOWS\\Zelvaran\\zelbak95";
inline constexpr char kInfFolder[] = "C:\\WINDOWS\\INF\\Other";

// text, its terminator and zero bytes up to count, as the programs write values.
std::string Padded(std::string_view text, size_t count);

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

// A text as the trace shows it among a call's arguments: quoted, with every
// backslash doubled.
std::string TraceQuoted(std::string_view text);

// Every file below a host folder, by its path relative to that folder.
std::map<std::string, std::string> FilesBelow(const std::filesystem::path& folder);

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
  // the upgrade: program-start values, the version text, the paths.
  void StartSetupRun();
  // StartSetupRun, the answers, then the upgrade; returns its result.
  int Upgrade(std::vector<int> answers);

  // The texts of the message boxes shown so far.
  std::vector<std::string> BoxTexts();
  // The trace lines of calls to one function.
  std::vector<std::string> CallsOf(std::string_view function);
  // Where in the trace the first call of the function whose arguments contain
  // the text was made; the trace's length when there was none.
  size_t FirstCall(std::string_view function, std::string_view containing = "");

 private:
  TestMachine machine_;
};

}  // namespace rq47test

#endif  // RQ47_TESTS_UPGRADE_FIXTURE_H
