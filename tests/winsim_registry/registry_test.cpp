// The rules of the simulated registry: names, order, exact bytes, deletion.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "winsim/registry.h"

using winsim::Registry;
using winsim::RegKey;

namespace {

std::vector<std::string> SubkeyNames(const RegKey& key) {
  std::vector<std::string> names;
  for (size_t i = 0; i < key.subkeyCount(); ++i) names.push_back(key.subkey(i)->name());
  return names;
}

TEST(RegistryNames, FoldOnlyAsciiLettersToUpperCase) {
  EXPECT_TRUE(winsim::NamesEqual("Enum\\pci", "ENUM\\PCI"));
  EXPECT_FALSE(winsim::NamesEqual("\xe9", "\xc9"));  // not ASCII: compared as they are
  // Upper-case folding puts '_' (0x5f) after every letter.
  EXPECT_LT(winsim::CompareNames("zeta", "_x"), 0);
  EXPECT_LT(winsim::CompareNames("ab", "ABC"), 0);
  EXPECT_EQ(winsim::CompareNames("MoDem", "modem"), 0);
}

TEST(RegistryKeys, EnumerateSortedWithoutRegardToCaseAndKeepTheirCase) {
  Registry registry;
  RegKey& pci = *registry.create("HKEY_LOCAL_MACHINE\\Enum\\PCI");
  std::vector<std::string> names;
  std::mt19937 random(7);
  for (int i = 0; i < 300; ++i)
    names.push_back((i % 2 ? "ven_" : "VEN_") + std::to_string(random()));
  for (const std::string& name : names) pci.createSubkey(name);
  bool created = true;
  RegKey& again = pci.createSubkey("VEN_" + names[1].substr(4), &created);
  EXPECT_FALSE(created);
  EXPECT_EQ(again.name(), names[1]);  // the first case stays
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return winsim::CompareNames(a, b) < 0;
  });
  EXPECT_EQ(SubkeyNames(pci), names);
  EXPECT_EQ(pci.findSubkey("VEN_" + names[5].substr(4)), pci.subkey(5));
  EXPECT_EQ(registry.find("hklm\\\\enum\\pci\\"), &pci);
  EXPECT_EQ(pci.path(), "HKEY_LOCAL_MACHINE\\Enum\\PCI");
}

TEST(RegistryValues, KeepFirstSetOrderExactBytesAndFirstNameCase) {
  Registry registry;
  RegKey& key = *registry.create("HKLM\\Software\\Zelvaran\\RQ31DFV");
  key.setValue("Version", 1, std::string("3.02\0\0\0", 7));
  key.setValue("PortName", 1, "COM2");
  key.setValue("VERSION", 4, std::string("\x01\0\0\0", 4));
  ASSERT_EQ(key.values().size(), 2u);
  EXPECT_EQ(key.values()[0].name, "Version");
  EXPECT_EQ(key.values()[0].type, 4u);
  EXPECT_EQ(key.values()[0].data, std::string("\x01\0\0\0", 4));
  EXPECT_EQ(key.values()[1].data, "COM2");  // no terminator added
  key.setValue("Language", 1, std::string("ENG\0junk", 8));
  EXPECT_EQ(registry.text("HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV", "language"), "ENG");
  EXPECT_TRUE(key.deleteValue("portname"));
  EXPECT_FALSE(key.deleteValue("PortName"));
  EXPECT_EQ(key.maxValueNameLength(), 8u);
  EXPECT_EQ(key.maxValueDataLength(), 8u);
}

// Keys with many values look names up through an index; it must agree with a
// plain model through sets, overwrites and deletions.
TEST(RegistryValues, ManyValuesAgreeWithAModel) {
  RegKey key("Many");
  std::map<std::string, std::string> model;  // upper-case name -> data
  std::vector<std::string> order;
  std::mt19937 random(11);
  for (int step = 0; step < 5000; ++step) {
    std::string name = "Value" + std::to_string(random() % 400);
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    if (random() % 4 == 0) {
      EXPECT_EQ(key.deleteValue(step % 2 ? upper : name), model.erase(upper) == 1);
      order.erase(std::remove(order.begin(), order.end(), upper), order.end());
    } else {
      std::string data = std::to_string(step);
      key.setValue(step % 2 ? upper : name, 1, data);
      if (model.count(upper) == 0) order.push_back(upper);
      model[upper] = data;
    }
  }
  ASSERT_EQ(key.values().size(), model.size());
  for (size_t i = 0; i < order.size(); ++i) {
    EXPECT_TRUE(winsim::NamesEqual(key.values()[i].name, order[i]));
    const winsim::RegValue* found = key.findValue(order[i]);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->data, model[order[i]]);
  }
  EXPECT_EQ(key.findValue("Value400"), nullptr);
}

// Values share the registry's byte store: data set again (shorter, as long,
// longer, empty, or taken from the store itself) reads back exactly, and no
// neighbour changes with it.
TEST(RegistryValues, DataSetAgainReadsBackExactlyAndLeavesItsNeighbours) {
  struct Case {
    std::string first;
    std::string second;
  } cases[] = {{"long data here", "short"},
               {"same!", "SAME?"},
               {"ab", std::string("a longer one\0with a NUL", 23)},
               {"gone", ""},
               {"", "from nothing"}};
  Registry registry;
  RegKey& key = *registry.create("HKLM\\Store");
  for (const Case& test : cases) {
    key.setValue("Before", 3, "\x01\x02\x03");
    key.setValue("Changed", 3, test.first);
    key.setValue("After", 3, "\x04\x05");
    key.setValue("changed", 1, test.second);
    EXPECT_EQ(key.findValue("Changed")->data, test.second) << test.first;
    EXPECT_EQ(key.findValue("Changed")->name, "Changed");
    EXPECT_EQ(key.findValue("Before")->data, "\x01\x02\x03");
    EXPECT_EQ(key.findValue("After")->data, "\x04\x05");
  }
  // Bytes taken from the store itself: the value's own tail, then another value.
  key.setValue("Changed", 1, "0123456789");
  key.setValue("Changed", 1, key.findValue("Changed")->data.substr(4));
  EXPECT_EQ(key.findValue("Changed")->data, "456789");
  key.setValue("Copy", 1, key.findValue("Changed")->data);
  key.setValue("Changed", 1, "x");
  EXPECT_EQ(key.findValue("Copy")->data, "456789");
}

// A reader's text is kept with its terminator, whether it is set anew, in the
// place of longer or shorter bytes, or from the value's own bytes.
TEST(RegistryValues, TextReadFromALineIsKeptWithItsTerminator) {
  struct Case {
    std::string first;
    std::string second;
  } cases[] = {{"long data here", "short"},
               {"same!", "SAME?"},
               {"ab", "a longer one"},
               {"gone", ""},
               {"", "from nothing"}};
  Registry registry;
  RegKey& key = *registry.create("HKLM\\Read");
  for (const Case& test : cases) {
    key.setValueFromLine("Before", 1, "x", true);
    key.setValueFromLine("Changed", 1, test.first, true);
    key.setValueFromLine("After", 3, "\x04\x05");
    key.setValueFromLine("changed", 1, test.second, true);
    EXPECT_EQ(key.findValue("Changed")->data, test.second + '\0') << test.first;
    EXPECT_EQ(key.findValue("Changed")->name, "Changed");
    EXPECT_EQ(key.findValue("Before")->data, std::string("x\0", 2));
    EXPECT_EQ(key.findValue("After")->data, "\x04\x05");
  }
  key.setValueFromLine("Changed", 1, "0123456789", true);
  key.setValueFromLine("Changed", 1, key.findValue("Changed")->data.substr(2, 4), true);
  EXPECT_EQ(key.findValue("Changed")->data, std::string("2345\0", 5));
  std::vector<std::string> names;
  for (const winsim::RegValue& value : key.values()) names.push_back(value.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Before", "Changed", "After"}));
}

// A list of values cut to size keeps every value, in order and found by name
// (with and without the index of a key of many), and grows again from there.
TEST(RegistryValues, AListCutToSizeKeepsItsValuesAndGrowsAgain) {
  for (size_t count : {0, 1, 4, 5, 15, 16, 17, 40}) {
    Registry registry;
    RegKey& key = *registry.create("HKLM\\Fit");
    for (size_t i = 0; i < count; ++i) key.setValue("V" + std::to_string(i), 4, std::to_string(i));
    key.fitValues();
    EXPECT_EQ(key.values().capacity(), count);
    key.setValue("v0", 1, "again");
    key.setValue("Last", 1, "new");
    key.fitValues();
    ASSERT_EQ(key.values().size(), count == 0 ? 2 : count + 1) << count;
    EXPECT_EQ(key.values().capacity(), key.values().size());
    for (size_t i = 1; i < count; ++i) {
      const winsim::RegValue* value = key.findValue("v" + std::to_string(i));
      ASSERT_NE(value, nullptr) << count << " " << i;
      EXPECT_EQ(value->data, std::to_string(i));
      EXPECT_EQ(key.values()[i].name, "V" + std::to_string(i));
    }
    EXPECT_EQ(key.findValue("V0")->data, "again");
    EXPECT_EQ(key.values().back().name, "Last");
  }
}

// A value copied out owns its bytes; names spelled alike in other keys keep
// each their own case.
TEST(RegistryValues, CopiesKeepTheirBytesAndNamesTheirCase) {
  winsim::RegValue copy;
  std::vector<winsim::RegValue> copies;
  winsim::HeldKey held;
  {
    Registry registry;
    RegKey& a = *registry.create("HKLM\\A");
    RegKey& b = *registry.create("HKLM\\B");
    a.setValue("Name", 1, "first");
    b.setValue("NAME", 1, "second");
    copy = *a.findValue("name");
    copies = b.values();
    a.setValue("Name", 1, "after");
    b.setValue("Name", 1, "changed too");
    EXPECT_EQ(b.values()[0].name, "NAME");
    held = a.hold();
  }
  EXPECT_EQ(copy.name, "Name");
  EXPECT_EQ(copy.data, "first");
  EXPECT_EQ(copies[0].data, "second");
  EXPECT_EQ(held->findValue("NAME")->data, "after");  // its store lives while it is held
}

// A value is found by a name spelled in any case, whichever spellings other
// keys bear and whichever came first, in keys of a few values and of many.
TEST(RegistryValues, AreFoundWhateverSpellingsOtherKeysBear) {
  struct Set {
    int key;  // 0 or 1
    const char* name;
    const char* data;
    bool fromLine;
  };
  const std::vector<Set> orders[] = {
      {{0, "Mixed", "a1", false},
       {1, "MIXED", "b1", true},
       {0, "mixed", "a2", true},
       {0, "MIXED", "a3", false}},
      {{1, "MIXED", "b1", false},
       {0, "Mixed", "a1", true},
       {0, "MIXED", "a2", true},
       {1, "mixed", "b2", false},
       {0, "mIxEd", "a3", false}},
  };
  for (size_t fillers : {2, 20}) {
    for (const std::vector<Set>& order : orders) {
      Registry registry;
      RegKey* keys[] = {registry.create("HKLM\\A"), registry.create("HKLM\\B")};
      for (size_t i = 0; i < fillers; ++i) keys[0]->setValue("F" + std::to_string(i), 4, "f");
      std::string first[2];
      std::string last[2];
      for (const Set& set : order) {
        if (set.fromLine) {
          keys[set.key]->setValueFromLine(set.name, 1, set.data);
        } else {
          keys[set.key]->setValue(set.name, 1, set.data);
        }
        if (first[set.key].empty()) first[set.key] = set.name;
        last[set.key] = set.data;
      }
      for (int k = 0; k < 2; ++k) {
        size_t count = k == 0 ? fillers + 1 : 1;
        ASSERT_EQ(keys[k]->values().size(), count) << fillers << " " << order[0].name;
        EXPECT_EQ(keys[k]->values().back().name, first[k]);
        EXPECT_EQ(keys[k]->findValue("MIXED")->data, last[k]);
      }
      EXPECT_TRUE(keys[0]->deleteValue("mixed"));
      EXPECT_EQ(keys[0]->findValue("Mixed"), nullptr);
      EXPECT_EQ(keys[1]->findValue("Mixed")->data, last[1]);
    }
  }
}

TEST(RegistryDeletion, DeletesTheWholeSubtreeAndHoldersSeeIt) {
  Registry registry;
  registry.create("HKLM\\Enum\\PCI\\VEN_1\\Instance\\Deep");
  registry.create("HKLM\\Enum\\PCI\\VEN_2");
  winsim::HeldKey held = registry.find("HKLM\\Enum\\PCI\\VEN_1\\Instance")->hold();
  winsim::HeldKey top = registry.find("HKLM\\Enum\\PCI\\VEN_1")->hold();
  registry.modified = false;
  EXPECT_TRUE(registry.remove("hklm\\enum\\pci\\ven_1"));
  EXPECT_EQ(top->parent(), nullptr);
  EXPECT_TRUE(registry.modified);
  EXPECT_EQ(registry.find("HKLM\\Enum\\PCI\\VEN_1"), nullptr);
  EXPECT_EQ(SubkeyNames(*registry.find("HKLM\\Enum\\PCI")), std::vector<std::string>{"VEN_2"});
  EXPECT_TRUE(held->deleted());
  EXPECT_TRUE(held->findSubkey("Deep")->deleted());
  // The deleted subtree stays whole while held; a part that outlives the
  // rest forgets its parent.
  EXPECT_EQ(held->parent(), top.get());
  EXPECT_EQ(held->findSubkey("Deep")->path(), "VEN_1\\Instance\\Deep");
  top.reset();
  EXPECT_EQ(held->parent(), nullptr);
  EXPECT_EQ(held->findSubkey("Deep")->path(), "Instance\\Deep");
  EXPECT_FALSE(registry.remove("HKLM\\Enum\\PCI\\VEN_1"));
  EXPECT_FALSE(registry.remove("HKEY_LOCAL_MACHINE"));
  EXPECT_FALSE(registry.find("HKLM\\Enum")->deleteSubkey(""));
}

TEST(RegistryDeletion, AKeyOutlivingItsRegistryForgetsItsParent) {
  winsim::HeldKey held;
  {
    Registry registry;
    held = registry.create("HKLM\\A\\B")->hold();
  }
  EXPECT_EQ(held->parent(), nullptr);
  EXPECT_EQ(held->path(), "B");
}

// Whatever goes first (the registry, a key made on its own, a registry moved
// away), a key held open keeps what it needs, values and names.
TEST(RegistryDeletion, KeysHeldOpenOutliveWhatMadeThem) {
  winsim::HeldKey held[3];
  {
    auto own = std::make_unique<RegKey>("Own");
    held[0] = own->createSubkey("Child").hold();
    Registry registry;
    held[1] = registry.create("HKLM\\A\\B")->hold();
    auto moved = std::make_unique<Registry>(std::move(registry));
    held[2] = moved->create("HKCU\\C")->hold();
    for (const auto& key : held) key->setValue("Name", 1, "data");
  }
  for (const auto& key : held) {
    EXPECT_EQ(key->parent(), nullptr);
    key->setValue("Other", 3, "more");
    EXPECT_EQ(key->findValue("NAME")->data, "data");
    EXPECT_EQ(key->createSubkey("Grandchild").path(), key->name() + "\\Grandchild");
  }
}

TEST(RegistryLimits, RefusesTooDeepPathsAndUnstorableNamesWithoutMakingAnything) {
  Registry registry;
  std::string path = "HKLM";
  for (size_t i = 0; i < winsim::kMaxKeyDepth; ++i) path += "\\k";
  RegKey* deepest = registry.create(path);
  ASSERT_NE(deepest, nullptr);
  EXPECT_EQ(deepest->depth(), winsim::kMaxKeyDepth);
  EXPECT_THROW(deepest->createSubkey("more"), std::length_error);
  EXPECT_EQ(registry.create(path + "\\more"), nullptr);
  EXPECT_EQ(deepest->subkeyCount(), 0u);

  RegKey& root = registry.root(winsim::Root::CurrentUser);
  EXPECT_THROW(root.createSubkey("ok\\bad\nname"), std::invalid_argument);
  EXPECT_EQ(root.subkeyCount(), 0u);  // nothing made on the way
  EXPECT_EQ(registry.create("HKCU\\a\rb"), nullptr);
  EXPECT_THROW(root.setValue("line\nbreak", 1, "x"), std::invalid_argument);
  EXPECT_EQ(registry.create("HKEY_NOWHERE\\x"), nullptr);

  // Data the store refuses leaves no value behind, new or set again. The
  // store refuses it by its size before reading a byte of it.
  const char byte = 'x';
  std::string_view tooLong(&byte, size_t{3} << 30);
  EXPECT_THROW(root.setValue("new", 3, tooLong), std::length_error);
  EXPECT_TRUE(root.values().empty());
  root.setValue("kept", 3, "ab");
  EXPECT_THROW(root.setValue("kept", 3, tooLong), std::length_error);
  ASSERT_EQ(root.values().size(), 1u);
  EXPECT_EQ(root.values()[0].data, "ab");
}

TEST(RegistryLimits, ALineBreakAnywhereInANameIsRefusedAndNoOtherByteIs) {
  // Names are checked several bytes at a time: a break in every position
  // of names longer than one such step, and the bytes next to CR and LF.
  for (size_t length = 1; length <= 20; ++length) {
    for (size_t at = 0; at < length; ++at) {
      for (char unstorable : {'\r', '\n'}) {
        std::string name(length, 'N');
        name[at] = unstorable;
        EXPECT_FALSE(winsim::IsStorableName(name)) << length << " bytes, break at " << at;
      }
      for (char storable : {'\t', '\x0b', '\x0c', '\x0e', '\x8a', '\x8d'}) {
        std::string name(length, 'N');
        name[at] = storable;
        EXPECT_TRUE(winsim::IsStorableName(name)) << length << " bytes, byte " << int(storable);
      }
    }
  }
  EXPECT_TRUE(winsim::IsStorableName(""));
}

TEST(RegistryStore, KeepsANameOnceForEachSpelling) {
  // Names are hashed and compared several bytes at a time: names that
  // differ in one byte anywhere, or in length alone, are kept apart, and
  // the same spelling is kept once.
  winsim::ByteStore store;
  for (size_t length = 1; length <= 20; ++length) {
    std::string name(length, 'n');
    const char* kept = store.keepName(name);
    ASSERT_EQ(std::string(kept, length), name);
    EXPECT_EQ(store.keepName(std::string(name)), kept) << length;
    EXPECT_NE(store.keepName(name + "n"), kept) << length;
    for (size_t at = 0; at < length; ++at) {
      for (char other : {'N', 'o', '\0'}) {
        std::string changed = name;
        changed[at] = other;
        const char* apart = store.keepName(changed);
        EXPECT_NE(apart, kept) << length << " bytes, changed at " << at;
        EXPECT_EQ(std::string(apart, length), changed);
        EXPECT_EQ(store.keepName(changed), apart);
      }
    }
  }
}

TEST(RegistrySameAs, SeesEveryDifference) {
  auto build = [](Registry& registry) {
    RegKey* key = registry.create("HKLM\\Software\\Zelvaran");
    key->setValue("A", 1, std::string("x\0", 2));
    key->setValue("B", 3, "\x01");
    registry.create("HKU\\.Default");
  };
  Registry a, b;
  build(a);
  build(b);
  EXPECT_TRUE(a.sameAs(b));
  b.find("HKLM\\Software\\Zelvaran")->setValue("B", 4, "\x01");
  EXPECT_FALSE(a.sameAs(b));
  Registry c;
  build(c);
  c.create("HKU\\.Default\\Empty");
  EXPECT_FALSE(a.sameAs(c));
  Registry d;
  build(d);
  d.find("HKLM\\Software\\Zelvaran")->setValue("A", 1, std::string("x\0\0", 3));
  EXPECT_FALSE(a.sameAs(d));
}

}  // namespace
