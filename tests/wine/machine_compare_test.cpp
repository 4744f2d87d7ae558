// Comparing what a step changed on winsim with what it changed under Wine.
#include "machine_compare.h"

#include <gtest/gtest.h>

#include <functional>

namespace rq47wine {
namespace {

using winsim_tool::FileEntry;
using winsim_tool::MachineSnapshot;

constexpr const char* kVendor = "HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV";

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

FileEntry File(const std::string& bytes) { return {false, bytes.size(), "sha-" + bytes, {}}; }

// Where both sides start: a vendor key with a value, Enum, and a system.ini.
void Start(MachineSnapshot& machine) {
  machine.registry.create(kVendor)->setValue("Version", 1, std::string("3.02\0", 5));
  machine.registry.create("HKEY_LOCAL_MACHINE\\Enum");
  machine.files["C:\\WINDOWS"] = FileEntry{true, 0, "", {}};
  machine.files["C:\\WINDOWS\\system.ini"] = File("[386Enh]");
}

using Step = std::function<void(MachineSnapshot&)>;

// A step that did one thing on winsim and another under Wine; the
// differences the comparison finds with those allowances.
std::vector<std::string> Differences(const Step& onWinsim, const Step& underWine,
                                     const WineAllowances& allowances = {}) {
  MachineSnapshot before, winsim, wine;
  Start(before);
  Start(winsim);
  Start(wine);
  onWinsim(winsim);
  underWine(wine);
  return CompareChanges(before, winsim, before, wine, allowances);
}

Step SetValue(const std::string& key, const std::string& name, uint32_t type,
              const std::string& data) {
  return [=](MachineSnapshot& m) { m.registry.create(key)->setValue(name, type, data); };
}
Step PutFile(const std::string& path, FileEntry entry) {
  return [=](MachineSnapshot& m) { m.files[path] = entry; };
}
Step Both(Step first, Step second) {
  return [=](MachineSnapshot& m) {
    first(m);
    second(m);
  };
}
const Step kNothing = [](MachineSnapshot&) {};

TEST(ChangeComparison, TheSameChangesOnBothSidesAreNoDifference) {
  Step step = Both(SetValue(kVendor, "PortName", 1, std::string("COM2\0", 5)),
                   Both(PutFile("C:\\WINDOWS\\system.ini", File("device = zelvcd.vxd")),
                        PutFile("C:\\WINDOWS\\SYSTEM\\zca.cpl", File("applet"))));
  EXPECT_TRUE(Differences(step, step).empty()) << Joined(Differences(step, step));
}

TEST(ChangeComparison, EachDifferenceToTheLetter) {
  const std::string padded("COM2\0\0\0\0", 8);
  const struct {
    const char* what;
    Step onWinsim, underWine;
    size_t count;
    const char* says;  // in the first line
  } rows[] = {
      {"a string's byte count", SetValue(kVendor, "PortName", 1, padded),
       SetValue(kVendor, "PortName", 1, std::string("COM2\0", 5)), 1, "value PortName: added"},
      {"a value's type", SetValue(kVendor, "Country", 3, "\x01"),
       SetValue(kVendor, "Country", 4, std::string("\x01\0\0\0", 4)), 1, "REG_DWORD"},
      {"the case of a new value's name", SetValue(kVendor, "PortName", 1, "x"),
       SetValue(kVendor, "portname", 1, "x"), 2, "PortName: added"},
      {"the case of a value renamed",
       [](MachineSnapshot& m) {
         m.registry.find(kVendor)->deleteValue("Version");
         m.registry.find(kVendor)->setValue("VERSION", 1, std::string("3.02\0", 5));
       },
       kNothing, 1, "VERSION: changed"},
      {"a key on one side",
       [](MachineSnapshot& m) { m.registry.create("HKEY_LOCAL_MACHINE\\Enum\\PCI"); }, kNothing, 1,
       "Enum\\PCI: the key added on winsim, unchanged under Wine"},
      {"a file's bytes", PutFile("C:\\WINDOWS\\system.ini", File("device=a")),
       PutFile("C:\\WINDOWS\\system.ini", File("device=b")), 1, "other bytes"},
      {"a file on one side", PutFile("C:\\WINDOWS\\zca.cpl", File("applet")), kNothing, 1,
       "zca.cpl: added (6 bytes) on winsim, unchanged under Wine"},
      {"a folder and a file", PutFile("C:\\WINDOWS\\HELP", FileEntry{true, 0, "", {}}),
       PutFile("C:\\WINDOWS\\HELP", File("x")), 1, "added (a folder) on winsim, added (1 bytes)"},
      {"the case of a new folder", PutFile("C:\\WINDOWS\\zelbak95", FileEntry{true, 0, "", {}}),
       PutFile("C:\\WINDOWS\\ZELBAK95", FileEntry{true, 0, "", {}}), 2, "ZELBAK95"},
      {"values in another order",
       Both(SetValue(kVendor, "A", 1, "a"), SetValue(kVendor, "B", 1, "b")),
       Both(SetValue(kVendor, "B", 1, "b"), SetValue(kVendor, "A", 1, "a")), 1,
       "the values in the order \"A\" \"B\" on winsim, \"B\" \"A\" under Wine"},
      {"a key outside the machine's keys",
       [](MachineSnapshot& m) { m.registry.create("HKEY_LOCAL_MACHINE\\Software\\Wine\\X"); },
       kNothing, 2, "Software\\Wine\\X"},
      {"another drive", PutFile("D:\\SETUP.LOG", File("log")), kNothing, 1, "D:\\SETUP.LOG"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> found = Differences(row.onWinsim, row.underWine);
    ASSERT_EQ(found.size(), row.count) << row.what << ":\n" << Joined(found);
    EXPECT_NE(Joined(found).find(row.says), std::string::npos) << row.what << ":\n"
                                                               << Joined(found);
  }
}

TEST(ChangeComparison, TheAllowancesLeaveOutOnlyWhatTheyName) {
  WineAllowances allowed = EndToEndAllowances();
  Step elsewhere =
      Both([](MachineSnapshot& m) { m.registry.create("HKEY_LOCAL_MACHINE\\Software\\Wine\\X"); },
           PutFile("D:\\SETUP.LOG", File("log")));
  EXPECT_TRUE(Differences(elsewhere, kNothing, allowed).empty());
  EXPECT_TRUE(Differences(Both(SetValue(kVendor, "A", 1, "a"), SetValue(kVendor, "B", 1, "b")),
                          Both(SetValue(kVendor, "B", 1, "b"), SetValue(kVendor, "A", 1, "a")),
                          allowed)
                  .empty());
  // Below the machine's keys and on drive C: everything still counts.
  EXPECT_EQ(
      Differences(SetValue(kVendor, "A", 1, "a"), SetValue(kVendor, "A", 1, "A"), allowed).size(),
      1u);
  EXPECT_EQ(Differences(PutFile("C:\\x", File("x")), kNothing, allowed).size(), 1u);
}

}  // namespace
}  // namespace rq47wine
