// The registry calls as a program makes them, on a machine built in memory.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "winsim/machine.h"
#include "winsim/registry.h"
#include "winsim/run.h"
#include "winsim/undefined_outputs.h"

namespace {

class RegistryApi : public ::testing::Test {
 protected:
  RegistryApi() {
    // Padded, as a registry from NT or an offline edit may hold it.
    registry()
        .create("HKLM\\Enum\\PCI\\VEN_1A3C&DEV_2210\\Instance")
        ->setValue("PortName", REG_SZ, std::string("COM2\0\0\0\0", 8));
    registry().create("HKLM\\Enum\\PCI\\ven_0001");
    registry().create("HKLM\\Enum\\PCI\\Ven_8086");
    registry().modified = false;
  }
  winsim::Registry& registry() { return machine_.registry; }
  winsim::MachineConfig& config() { return machine_.config; }
  winsim::Run& run() { return run_; }

  HKEY Open(const char* path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key), ERROR_SUCCESS) << path;
    return key;
  }

 private:
  winsim::Machine machine_;
  winsim::Run run_{machine_};
};

TEST_F(RegistryApi, OpenFindsKeysAsWindowsNamesThemAndCountsHandles) {
  HKEY pci = Open("enum\\\\PCI\\");
  HKEY same = nullptr;
  EXPECT_EQ(RegOpenKeyExA(pci, "", 0, KEY_READ, &same), ERROR_SUCCESS);
  EXPECT_NE(same, pci);
  HKEY again = nullptr;
  EXPECT_EQ(RegOpenKeyExA(same, nullptr, 0, KEY_READ, &again), ERROR_SUCCESS);
  EXPECT_EQ(run().openHandleCount(), 3u);
  EXPECT_NE(run().trace().back().find("HKEY_LOCAL_MACHINE\\Enum\\PCI"), std::string::npos);

  HKEY missing = pci;
  EXPECT_EQ(RegOpenKeyExA(pci, "VEN_FFFF", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);
  EXPECT_EQ(RegOpenKeyExA(pci, "x", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
  // Access masks are not enforced: a key opened for reading takes a value.
  EXPECT_EQ(RegSetValueExA(pci, "v", 0, REG_BINARY, reinterpret_cast<const BYTE*>("\x01"), 1),
            ERROR_SUCCESS);
  EXPECT_TRUE(registry().modified);

  for (HKEY key : {pci, same, again}) EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(pci), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(run().openHandleCount(), 0u);
  EXPECT_EQ(RegOpenKeyExA(pci, "", 0, KEY_READ, &missing), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryApi, CreateMakesMissingKeysAndReportsWhatItDid) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zelvaran\\RQ31DFV", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  EXPECT_TRUE(registry().modified);
  EXPECT_NE(registry().find("HKLM\\Software\\Zelvaran\\RQ31DFV"), nullptr);
  RegCloseKey(key);

  registry().modified = false;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\zelvaran\\", 0, nullptr, 0, KEY_WRITE,
                            nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_FALSE(registry().modified);
  HKEY refused = key;
  EXPECT_EQ(RegCreateKeyExA(key, "bad\nname", 0, nullptr, 0, KEY_WRITE, nullptr, &refused, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(refused, nullptr);
  RegCloseKey(key);
  EXPECT_EQ(run().openHandleCount(), 0u);
}

TEST_F(RegistryApi, QueryValueGivesSizesAndNeverOverrunsABuffer) {
  HKEY instance = Open("Enum\\PCI\\VEN_1A3C&DEV_2210\\Instance");
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(instance, "portname", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 8u);

  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  size = 7;
  EXPECT_EQ(RegQueryValueExA(instance, "PortName", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 8u);
  // What the buffer holds is undefined: the pattern, over the capacity given and no further.
  const std::string undefined(7, static_cast<char>(winsim::kUndefinedByte));
  EXPECT_EQ(std::string(buffer, sizeof buffer), undefined + std::string(9, '#'));

  // So does a ERROR_MORE_DATA that a fault rule gives.
  std::memset(buffer, '#', sizeof buffer);
  run().addFault({"RegQueryValueExA", "PortName", 1, ERROR_MORE_DATA});
  size = 7;
  EXPECT_EQ(RegQueryValueExA(instance, "PortName", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(std::string(buffer, sizeof buffer), undefined + std::string(9, '#'));

  // A missing value: Windows 95/98 clear the type and leave the size and the buffer.
  std::memset(buffer, '#', sizeof buffer);
  size = 5;
  type = 99;
  EXPECT_EQ(
      RegQueryValueExA(instance, "Missing", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
      ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_NONE));
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(16, '#'));
  EXPECT_EQ(RegQueryValueExA(instance, "PortName", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(buffer), nullptr),
            ERROR_INVALID_PARAMETER);

  // A string stored without a terminator (left by an offline edit or by NT;
  // Windows 95/98 keep one) gets one only where there is room.
  registry().find("HKLM\\Enum\\PCI\\VEN_1A3C&DEV_2210\\Instance")->setValue("", REG_SZ, "COM4");
  size = 4;
  EXPECT_EQ(
      RegQueryValueExA(instance, "", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(std::string(buffer, 5), "COM4#");
  size = sizeof buffer;
  EXPECT_EQ(
      RegQueryValueExA(instance, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(std::string(buffer, 6), std::string("COM4\0#", 6));
  RegCloseKey(instance);
}

// What the registry keeps of a value set with a count (winsim/string_values.h):
// Windows 95/98 keep a REG_SZ as its text and one NUL, other platforms every
// byte of the count.
TEST_F(RegistryApi, SetValueKeepsWhatThePlatformKeeps) {
  const char padded[20] = "COM3";
  const char embedded[] = "This\0Breaks\0\0A";
  const char full[] = "FullString";
  const char multi[] = "a\0b\0\0\0";
  struct Case {
    const char* what;
    uint32_t platform;
    DWORD type;
    const char* data;
    DWORD count;
    LONG status;
    std::string kept;  // when the call succeeds
  };
  const Case cases[] = {
      {"padded", 1, REG_SZ, padded, 20, ERROR_SUCCESS, std::string("COM3\0", 5)},
      {"embedded NUL", 1, REG_SZ, embedded, sizeof embedded, ERROR_SUCCESS,
       std::string("This\0", 5)},
      {"count 0", 1, REG_SZ, "", 0, ERROR_SUCCESS, std::string(1, '\0')},
      {"no NUL within the count", 1, REG_SZ, full, 9, ERROR_SUCCESS, std::string(full, 11)},
      {"NULL data", 1, REG_SZ, nullptr, 0, ERROR_INVALID_PARAMETER, ""},
      {"expandable", 1, REG_EXPAND_SZ, padded, 20, ERROR_SUCCESS, std::string(padded, 20)},
      {"multi-string", 1, REG_MULTI_SZ, multi, 6, ERROR_SUCCESS, std::string(multi, 6)},
      {"binary", 1, REG_BINARY, padded, 20, ERROR_SUCCESS, std::string(padded, 20)},
      {"NT padded", 2, REG_SZ, padded, 20, ERROR_SUCCESS, std::string(padded, 20)},
      {"NT no NUL within the count", 2, REG_SZ, full, 9, ERROR_SUCCESS, std::string(full, 9)},
      {"NT NULL data", 2, REG_SZ, nullptr, 0, ERROR_SUCCESS, ""},
      {"NT NULL data with a count", 2, REG_SZ, nullptr, 3, ERROR_INVALID_PARAMETER, ""},
      {"Win32s padded", 0, REG_SZ, padded, 20, ERROR_SUCCESS, std::string(padded, 20)},
  };
  const char* path = "HKLM\\Enum\\PCI\\VEN_1A3C&DEV_2210\\Instance";
  HKEY instance = Open("Enum\\PCI\\VEN_1A3C&DEV_2210\\Instance");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    config().platform = c.platform;
    registry().find(path)->deleteValue("Value");
    EXPECT_EQ(RegSetValueExA(instance, "Value", 0, c.type, reinterpret_cast<const BYTE*>(c.data),
                             c.count),
              c.status);
    const winsim::RegValue* value = registry().value(path, "Value");
    if (c.status != ERROR_SUCCESS) {
      EXPECT_EQ(value, nullptr);
      continue;
    }
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, c.type);
    EXPECT_EQ(value->data, c.kept);
  }
  // The call shows the count the program passed, and what was kept.
  config().platform = 1;
  ASSERT_EQ(RegSetValueExA(instance, "PORTNAME", 0, REG_SZ, reinterpret_cast<const BYTE*>(padded),
                           sizeof padded),
            ERROR_SUCCESS);
  EXPECT_EQ(registry().value(path, "PortName")->name, "PortName");
  const std::string& line = run().trace().back();
  EXPECT_NE(line.find(", 20) = ERROR_SUCCESS [kept 5 bytes]"), std::string::npos) << line;
  RegCloseKey(instance);
}

TEST_F(RegistryApi, EnumAndQueryInfoWalkSubkeysInOrder) {
  HKEY pci = Open("Enum\\PCI");
  DWORD subkeys = 0, longest = 0;
  EXPECT_EQ(RegQueryInfoKeyA(pci, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegQueryInfoKeyA(pci, nullptr, nullptr, nullptr, &subkeys, &longest, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 3u);
  EXPECT_EQ(longest, std::strlen("VEN_1A3C&DEV_2210"));

  const char* expected[] = {"ven_0001", "VEN_1A3C&DEV_2210", "Ven_8086"};
  for (DWORD i = 0; i < 3; ++i) {
    char name[80];
    DWORD length = sizeof name;
    ASSERT_EQ(RegEnumKeyExA(pci, i, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, expected[i]);
    EXPECT_EQ(length, std::strlen(expected[i]));
  }
  char name[80];
  DWORD length = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(pci, 3, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  // The name and its terminator must fit, or nothing is written.
  std::memset(name, '#', sizeof name);
  length = 8;
  EXPECT_EQ(RegEnumKeyExA(pci, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  EXPECT_EQ(length, 8u);
  EXPECT_EQ(name[0], '#');
  length = 9;
  EXPECT_EQ(RegEnumKeyExA(pci, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(pci);
}

TEST_F(RegistryApi, DeleteRemovesSubtreesAndStaleHandlesFail) {
  HKEY device = Open("Enum\\PCI\\VEN_1A3C&DEV_2210");
  HKEY instance = Open("Enum\\PCI\\VEN_1A3C&DEV_2210\\Instance");
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Enum\\PCI\\VEN_FFFF"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(device, ""), ERROR_SUCCESS);  // the key itself, with its subkeys
  EXPECT_TRUE(registry().modified);
  EXPECT_EQ(registry().find("HKLM\\Enum\\PCI\\VEN_1A3C&DEV_2210"), nullptr);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(instance, "PortName", nullptr, nullptr, nullptr, &size),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValueExA(device, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteKeyA(device, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(device), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(instance), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "enum"), ERROR_SUCCESS);
  EXPECT_EQ(registry().root(winsim::Root::LocalMachine).subkeyCount(), 0u);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
  EXPECT_EQ(run().openHandleCount(), 0u);
}

TEST_F(RegistryApi, InjectedFaultsFailTheChosenCallAndChangeNothing) {
  run().addFault({"RegOpenKeyExA", "ven_8086", 0, 0});
  run().addFault({"RegSetValueExA", "", 2, ERROR_CANTWRITE});
  HKEY key = HKEY_LOCAL_MACHINE;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum\\PCI\\VEN_8086", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  key = Open("Enum\\PCI\\VEN_0001");
  const BYTE one = 1;
  EXPECT_EQ(RegSetValueExA(key, "A", 0, REG_BINARY, &one, 1), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "B", 0, REG_BINARY, &one, 1), ERROR_CANTWRITE);
  EXPECT_EQ(RegSetValueExA(key, "C", 0, REG_BINARY, &one, 1), ERROR_SUCCESS);
  EXPECT_EQ(registry().value("HKLM\\Enum\\PCI\\VEN_0001", "B"), nullptr);
  EXPECT_EQ(run().openHandleCount(), 1u);
  RegCloseKey(key);
  EXPECT_NE(run().trace()[0].find("injected fault"), std::string::npos);
}

}  // namespace
