// The comparison of two machines: registry keys and values with the
// registry's own name rules, files and folders by content, .ini lines.
#include "machine_diff.h"

#include <gtest/gtest.h>

#include <string>

#include "changes_text.h"
#include "snapshot.h"
#include "test_machine.h"

namespace winsim_tool {
namespace {

using rq47test::Hklm;
using rq47test::TestMachine;

void SetString(winsim::Registry& registry, const std::string& key, const std::string& name,
               const std::string& bytes) {
  registry.create(key)->setValue(name, 1, bytes);
}

const KeyChange* FindKey(const std::vector<KeyChange>& keys, const std::string& path) {
  for (const KeyChange& key : keys) {
    if (key.path == path) return &key;
  }
  return nullptr;
}

TEST(CompareRegistries, ValuesAddedRemovedAndChangedWithOldAndNew) {
  winsim::Registry before;
  winsim::Registry after;
  const std::string key = Hklm("Software\\Zelvaran\\RQ31DFV");
  SetString(before, key, "PortName", std::string("COM1\0", 5));
  SetString(after, key, "PortName", std::string("COM1\0\0\0\0\0\0", 10));  // only the count
  before.create(key)->setValue("Country", 3, "\x01");
  after.create(key)->setValue("Country", 4, std::string("\x01\0\0\0", 4));  // type and size
  SetString(before, key, "Same", std::string("x\0", 2));
  SetString(after, key, "Same", std::string("x\0", 2));
  SetString(before, key, "Gone", std::string("old\0", 4));
  SetString(after, key, "New", std::string("new\0", 4));

  std::vector<KeyChange> changes = CompareRegistries(before, after);
  ASSERT_EQ(changes.size(), 1u);
  const KeyChange& changed = changes[0];
  EXPECT_EQ(changed.change, Change::Changed);
  EXPECT_EQ(changed.path, key);
  ASSERT_EQ(changed.values.size(), 4u);
  EXPECT_EQ(changed.values[0].name, "PortName");
  EXPECT_EQ(changed.values[0].change, Change::Changed);
  EXPECT_EQ(changed.values[0].before->data.size(), 5u);
  EXPECT_EQ(changed.values[0].after->data.size(), 10u);
  EXPECT_EQ(changed.values[1].name, "Country");
  EXPECT_EQ(changed.values[1].before->type, 3u);
  EXPECT_EQ(changed.values[1].after->type, 4u);
  EXPECT_EQ(changed.values[2].change, Change::Removed);
  EXPECT_EQ(changed.values[2].name, "Gone");
  EXPECT_FALSE(changed.values[2].after.has_value());
  EXPECT_EQ(changed.values[3].change, Change::Added);
  EXPECT_EQ(changed.values[3].name, "New");
  EXPECT_FALSE(changed.values[3].before.has_value());
}

TEST(CompareRegistries, WholeKeysWithTheirSubkeysInRegistryOrder) {
  winsim::Registry before;
  winsim::Registry after;
  SetString(before, Hklm("Enum\\MODEMWAVE\\Old\\0000"), "Driver", std::string("MEDIA\\0008\0", 11));
  before.create(Hklm("Enum\\MODEMWAVE\\Kept"));
  after.create(Hklm("Enum\\MODEMWAVE\\Kept"));
  SetString(after, Hklm("Software\\Zelvaran\\RQ31DFV"), "Version", std::string("3.02\0", 5));
  // Names compare without regard to case: the same key written differently is no change.
  SetString(before, Hklm("System\\CurrentControlSet"), "v", std::string("1\0", 2));
  SetString(after, Hklm("SYSTEM\\currentcontrolset"), "V", std::string("1\0", 2));

  std::vector<KeyChange> changes = CompareRegistries(before, after);
  ASSERT_EQ(changes.size(), 5u);
  EXPECT_EQ(changes[0].path, Hklm("Enum\\MODEMWAVE\\Old"));
  EXPECT_EQ(changes[0].change, Change::Removed);
  EXPECT_EQ(changes[1].path, Hklm("Enum\\MODEMWAVE\\Old\\0000"));
  ASSERT_EQ(changes[1].values.size(), 1u);
  EXPECT_EQ(changes[1].values[0].change, Change::Removed);
  EXPECT_EQ(changes[2].path, Hklm("Software"));
  EXPECT_EQ(changes[2].change, Change::Added);
  EXPECT_EQ(changes[4].path, Hklm("Software\\Zelvaran\\RQ31DFV"));
  EXPECT_EQ(changes[4].values[0].after->text(), "3.02");
  EXPECT_EQ(FindKey(changes, Hklm("System\\CurrentControlSet")), nullptr);
  EXPECT_EQ(FindKey(changes, Hklm("SYSTEM\\currentcontrolset")), nullptr);
  // Unless names must agree to the letter: then both keys and the value are listed.
  std::vector<KeyChange> exact = CompareRegistries(before, after, DiffRules{true});
  EXPECT_EQ(exact.size(), 7u);
  ASSERT_NE(FindKey(exact, Hklm("SYSTEM")), nullptr);
  const KeyChange* respelled = FindKey(exact, Hklm("SYSTEM\\currentcontrolset"));
  ASSERT_NE(respelled, nullptr);
  ASSERT_EQ(respelled->values.size(), 1u);
  EXPECT_EQ(respelled->values[0].name, "V");

  RegistryCounts counts = MachineChanges{changes, {}, {}}.registryCounts();
  EXPECT_EQ(counts.keysRemoved, 2u);
  EXPECT_EQ(counts.keysAdded, 3u);
  EXPECT_EQ(counts.valuesRemoved, 1u);
  EXPECT_EQ(counts.valuesAdded, 1u);

  // In text, the removed subtree is one line that says what it held.
  std::string brief = RegistryChangesText(changes);
  EXPECT_NE(brief.find("  - [" + Hklm("Enum\\MODEMWAVE\\Old") + "]  (1 subkey, 1 value)\n"),
            std::string::npos)
      << brief;
  EXPECT_EQ(brief.find("0000"), std::string::npos) << brief;
  std::string full = RegistryChangesText(changes, true);
  EXPECT_NE(full.find("      - \"Driver\" = REG_SZ \"MEDIA\\0008\" (11 bytes)\n"),
            std::string::npos)
      << full;
}

TEST(CompareSnapshots, FilesFoldersAndIniLines) {
  TestMachine machine;
  machine.writeFile("C:\\WINDOWS\\system.ini", "[boot]\r\nshell=Explorer.exe\r\n[386Enh]\r\n");
  machine.writeFile("C:\\WINDOWS\\SYSTEM\\old.vxd", "old driver");
  machine.writeFile("C:\\WINDOWS\\SYSTEM\\same.dll", "same");
  machine.writeFile("C:\\WINDOWS\\SYSTEM\\resized.dll", "1234");
  machine.writeFile("C:\\WINDOWS\\SYSTEM\\edited.dll", "abcd");
  machine.makeDirectory("C:\\WINDOWS\\Became");
  MachineSnapshot before = TakeSnapshot(machine.machine());

  machine.writeFile("C:\\WINDOWS\\system.ini",
                    "[boot]\r\nshell=Explorer.exe\r\n[386Enh]\r\ndevice = zelvcd.vxd\r\n");
  machine.removeFile("C:\\WINDOWS\\SYSTEM\\old.vxd");
  machine.writeFile("C:\\WINDOWS\\SYSTEM\\resized.dll", "12345");
  machine.writeFile("C:\\WINDOWS\\SYSTEM\\edited.dll", "abce");  // same size, other bytes
  machine.writeFile("C:\\WINDOWS\\Zelvaran\\zelbak95\\rq47pci.vxd", "backup");
  std::filesystem::remove(machine.hostPath("C:\\WINDOWS\\Became"));
  machine.writeFile("C:\\WINDOWS\\Became", "now a file");
  MachineSnapshot after = TakeSnapshot(machine.machine());

  MachineChanges changes = CompareSnapshots(before, after);
  std::vector<std::string> listed;
  for (const FileChange& file : changes.files) {
    listed.push_back(std::string(file.change == Change::Added     ? "+"
                                 : file.change == Change::Removed ? "-"
                                                                  : "~") +
                     file.path + (file.directory ? "\\" : ""));
  }
  EXPECT_EQ(listed, (std::vector<std::string>{
                        "-C:\\WINDOWS\\Became\\", "+C:\\WINDOWS\\Became",
                        "~C:\\WINDOWS\\system.ini", "~C:\\WINDOWS\\SYSTEM\\edited.dll",
                        "-C:\\WINDOWS\\SYSTEM\\old.vxd", "~C:\\WINDOWS\\SYSTEM\\resized.dll",
                        "+C:\\WINDOWS\\Zelvaran\\", "+C:\\WINDOWS\\Zelvaran\\zelbak95\\",
                        "+C:\\WINDOWS\\Zelvaran\\zelbak95\\rq47pci.vxd"}));

  ASSERT_EQ(changes.texts.size(), 1u);
  EXPECT_EQ(changes.texts[0].path, "C:\\WINDOWS\\system.ini");
  ASSERT_EQ(changes.texts[0].hunks.size(), 1u);
  const DiffLine& added = changes.texts[0].hunks[0].lines.back();
  EXPECT_EQ(added.kind, DiffLine::Kind::Added);
  EXPECT_EQ(added.text, "device = zelvcd.vxd");
  EXPECT_EQ(added.newNumber, 4u);

  // In text, a new folder is one line that says what came with it.
  std::string brief = ChangesText(changes);
  EXPECT_NE(brief.find("  + C:\\WINDOWS\\Zelvaran\\  (folder with 1 file in 2 folders, 6 bytes)\n"),
            std::string::npos)
      << brief;
  EXPECT_EQ(brief.find("rq47pci.vxd"), std::string::npos) << brief;
  EXPECT_NE(ChangesText(changes, true)
                .find("  + C:\\WINDOWS\\Zelvaran\\zelbak95\\rq47pci.vxd  (6 bytes)\n"),
            std::string::npos);

  // Taken again without a change, the machine compares equal.
  EXPECT_TRUE(CompareSnapshots(after, TakeSnapshot(machine.machine())).empty());
}

TEST(CompareSnapshots, AFolderSpelledOtherwiseIsAChangeOnlyWhenNamesMustAgree) {
  MachineSnapshot before;
  MachineSnapshot after;
  before.files["C:\\WINDOWS\\zelbak95"] = FileEntry{true, 0, "", {}};
  after.files["C:\\WINDOWS\\ZELBAK95"] = FileEntry{true, 0, "", {}};
  EXPECT_TRUE(CompareSnapshots(before, after).empty());
  MachineChanges exact = CompareSnapshots(before, after, DiffRules{true});
  ASSERT_EQ(exact.files.size(), 1u);
  EXPECT_EQ(exact.files[0].path, "C:\\WINDOWS\\ZELBAK95");
  EXPECT_TRUE(exact.files[0].directory);
}

TEST(CompareSnapshots, LineEndsAloneAreSaidToBeTheOnlyDifference) {
  TestMachine machine;
  machine.writeFile("C:\\WINDOWS\\system.ini", "[boot]\r\nshell=Explorer.exe\r\n");
  MachineSnapshot before = TakeSnapshot(machine.machine());
  machine.writeFile("C:\\WINDOWS\\system.ini", "[boot]\nshell=Explorer.exe\n");
  MachineChanges changes = CompareSnapshots(before, TakeSnapshot(machine.machine()));
  ASSERT_EQ(changes.texts.size(), 1u);
  EXPECT_TRUE(changes.texts[0].hunks.empty());
  EXPECT_NE(ChangesText(changes).find("only the line ends differ"), std::string::npos);
}

TEST(CompareSnapshots, TheSnapshotKeepsTheRegistryAsItWas) {
  TestMachine machine;
  machine.setString(Hklm("Software\\A"), "v", "before");
  MachineSnapshot before = TakeSnapshot(machine.machine());
  machine.setString(Hklm("Software\\A"), "v", "after");
  machine.createKey(Hklm("Software\\B"));
  MachineChanges changes = CompareSnapshots(before, TakeSnapshot(machine.machine()));
  ASSERT_EQ(changes.keys.size(), 2u);
  EXPECT_EQ(changes.keys[0].values[0].before->text(), "before");
  EXPECT_EQ(changes.keys[0].values[0].after->text(), "after");
  EXPECT_EQ(changes.keys[1].path, Hklm("Software\\B"));
}

}  // namespace
}  // namespace winsim_tool
