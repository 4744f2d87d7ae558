#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "winsim/regedit4.h"
#include "winsim/registry.h"

namespace {

using winsim::Root;

TEST(RootNames, EachPredefinedHandleAndNameFindsItsRoot) {
  struct Case {
    HKEY handle;
    Root root;
    const char* name;
    const char* shortName;
  };
  const Case cases[] = {
      {HKEY_CLASSES_ROOT, Root::ClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
      {HKEY_CURRENT_USER, Root::CurrentUser, "HKEY_CURRENT_USER", "HKCU"},
      {HKEY_LOCAL_MACHINE, Root::LocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
      {HKEY_USERS, Root::Users, "HKEY_USERS", "HKU"},
      {HKEY_CURRENT_CONFIG, Root::CurrentConfig, "HKEY_CURRENT_CONFIG", "HKCC"},
      {HKEY_DYN_DATA, Root::DynData, "HKEY_DYN_DATA", "HKDD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const winsim::RootEntry* entry = winsim::PredefinedRoot(c.handle);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->root, c.root);
    EXPECT_STREQ(entry->shortName, c.shortName);
    EXPECT_STREQ(winsim::RootName(c.root), c.name);
    EXPECT_EQ(winsim::ParseRootName(c.name), c.root);
    EXPECT_EQ(winsim::ParseRootName(c.shortName), c.root);
  }
  // HKEY_PERFORMANCE_DATA, which Windows 95/98 do not have, and the value without its sign.
  EXPECT_EQ(winsim::PredefinedRoot(
                reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000004)))),
            nullptr);
  if (sizeof(HKEY) > 4) {
    EXPECT_EQ(winsim::PredefinedRoot(reinterpret_cast<HKEY>(uintptr_t{0x80000002})), nullptr);
  }
}

TEST(RootNames, AnUnknownRootIsRefusedWithEveryRootNamed) {
  winsim::Registry registry;
  auto error = winsim::ImportRegedit4("REGEDIT4\r\n\r\n[HKEY_NOWHERE\\Key]\r\n", registry);
  ASSERT_TRUE(error);
  EXPECT_NE(
      error->message.find("\"HKEY_NOWHERE\" is not a registry root; a key path starts with "
                          "HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS, HKEY_CLASSES_ROOT, "
                          "HKEY_CURRENT_CONFIG or HKEY_DYN_DATA"),
      std::string::npos)
      << error->message;
}

}  // namespace
