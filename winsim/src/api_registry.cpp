// The registry calls. Keys opened by a program are entries of the run's handle
// table that share ownership of the key, so a key deleted while open stays
// valid for its handle, which then reports ERROR_KEY_DELETED. The predefined
// roots are always open and closing them does nothing.
#include <windows.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "api_call.h"
#include "handles.h"
#include "winsim/registry.h"
#include "winsim/string_values.h"
#include "winsim/undefined_outputs.h"

using winsim::HeldKey;
using winsim::KeyObject;
using winsim::RegKey;
using winsim::RegValue;
using winsim::Root;
using winsim::detail::Args;
using winsim::detail::Call;
using winsim::detail::HandleName;
using winsim::detail::Hex;
using winsim::detail::QuoteBytes;

namespace {

std::optional<Root> PredefinedRoot(HKEY handle) {
  if (const winsim::RootEntry* entry = winsim::PredefinedRoot(handle)) return entry->root;
  return std::nullopt;
}

// The key a handle names: a predefined root or a key the run opened.
LONG ResolveKey(Call& call, HKEY handle, HeldKey& key) {
  if (std::optional<Root> root = PredefinedRoot(handle)) {
    key = call.run().machine().registry.root(*root).hold();
    return ERROR_SUCCESS;
  }
  KeyObject* object = call.handles().get<KeyObject>(handle);
  if (object == nullptr) return ERROR_INVALID_HANDLE;
  if (object->key->deleted()) return ERROR_KEY_DELETED;
  key = object->key;
  return ERROR_SUCCESS;
}

HKEY OpenHandle(Call& call, HeldKey key) {
  std::string path = key->path();
  HKEY handle = reinterpret_cast<HKEY>(call.handles().add(KeyObject{std::move(key)}));
  call.note(HandleName(handle) + " = " + path);
  return handle;
}

void MarkModified(Call& call) { call.run().machine().registry.modified = true; }

std::string SizeArg(const DWORD* size) {
  return size == nullptr ? std::string("NULL") : std::to_string(*size);
}

std::string BufferArg(const void* buffer) {
  return buffer == nullptr ? std::string("NULL") : std::string("buffer");
}

std::string TypeName(DWORD type) {
  switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK: return "REG_LINK";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    default: return std::to_string(type);
  }
}

// A data buffer whose contents Windows leaves undefined (see undefined_outputs.h).
void LeaveUndefined(LPBYTE data, const DWORD* capacity) {
  if (data != nullptr && capacity != nullptr) std::memset(data, winsim::kUndefinedByte, *capacity);
}

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

std::string_view NameOrDefault(LPCSTR name) {
  return name == nullptr ? std::string_view() : std::string_view(name);
}

// Whether a subkey path can be made below the key: not too deep, and every
// name one that the registry can keep.
LONG CheckNewPath(const RegKey& key, std::string_view subkey) {
  std::vector<std::string_view> parts = winsim::SplitKeyPath(subkey);
  if (key.depth() + parts.size() > winsim::kMaxKeyDepth) return ERROR_BADKEY;
  for (std::string_view part : parts) {
    if (!winsim::IsStorableName(part)) return ERROR_INVALID_PARAMETER;
  }
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                     PHKEY phkResult) {
  Call call("RegOpenKeyExA", Args(hKey, lpSubKey, ulOptions, Hex(samDesired)),
            ERROR_FILE_NOT_FOUND);
  if (phkResult != nullptr) *phkResult = nullptr;
  if (call.fault) return call.status(*call.fault);
  if (phkResult == nullptr) return call.status(ERROR_INVALID_PARAMETER);
  HeldKey key;
  if (LONG error = ResolveKey(call, hKey, key); error != ERROR_SUCCESS) return call.status(error);
  // Access masks are not checked: Windows 95/98 have no registry security.
  RegKey* found = key->findSubkey(NameOrDefault(lpSubKey));
  if (found == nullptr) return call.status(ERROR_FILE_NOT_FOUND);
  *phkResult = OpenHandle(call, found->hold());
  return call.status(ERROR_SUCCESS);
}

extern "C" LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                                       DWORD dwOptions, REGSAM samDesired,
                                       LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                                       LPDWORD lpdwDisposition) {
  (void)Reserved;
  (void)lpSecurityAttributes;
  Call call("RegCreateKeyExA",
            Args(hKey, lpSubKey, static_cast<const char*>(lpClass), dwOptions, Hex(samDesired)),
            ERROR_ACCESS_DENIED);
  if (phkResult != nullptr) *phkResult = nullptr;
  if (call.fault) return call.status(*call.fault);
  if (phkResult == nullptr) return call.status(ERROR_INVALID_PARAMETER);
  HeldKey key;
  if (LONG error = ResolveKey(call, hKey, key); error != ERROR_SUCCESS) return call.status(error);
  std::string_view subkey = NameOrDefault(lpSubKey);
  if (LONG error = CheckNewPath(*key, subkey); error != ERROR_SUCCESS) {
    return call.status(error);
  }
  // The class is not kept (RegQueryInfoKeyA reports none) and every key is
  // kept, volatile or not, as Windows 95/98 keep them.
  bool created = false;
  RegKey& result = key->createSubkey(subkey, &created);
  if (created) MarkModified(call);
  if (lpdwDisposition != nullptr) {
    *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  }
  call.note(created ? "created" : "existing");
  *phkResult = OpenHandle(call, result.hold());
  return call.status(ERROR_SUCCESS);
}

extern "C" LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                                        LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  Call call("RegQueryValueExA", Args(hKey, lpValueName, BufferArg(lpData), SizeArg(lpcbData)),
            ERROR_FILE_NOT_FOUND);
  if (call.fault) {
    if (*call.fault == ERROR_MORE_DATA) LeaveUndefined(lpData, lpcbData);
    return call.status(*call.fault);
  }
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) {
    return call.status(ERROR_INVALID_PARAMETER);
  }
  HeldKey key;
  if (LONG error = ResolveKey(call, hKey, key); error != ERROR_SUCCESS) return call.status(error);
  const RegValue* value = key->findValue(NameOrDefault(lpValueName));
  if (value == nullptr) {
    // Windows 95/98 clear the type of a value that is not there and leave the size.
    if (lpType != nullptr) *lpType = REG_NONE;
    return call.status(ERROR_FILE_NOT_FOUND);
  }

  DWORD size = static_cast<DWORD>(value->data.size());
  call.note(TypeName(value->type) + ", " + std::to_string(size) + " bytes");
  if (lpType != nullptr) *lpType = value->type;
  if (lpData == nullptr) {
    if (lpcbData != nullptr) *lpcbData = size;
    return call.status(ERROR_SUCCESS);
  }
  DWORD capacity = *lpcbData;
  // Too small: the caller learns the size; what its buffer holds is undefined.
  if (capacity < size) {
    LeaveUndefined(lpData, lpcbData);
    *lpcbData = size;
    return call.status(ERROR_MORE_DATA);
  }
  *lpcbData = size;
  if (size != 0) std::memcpy(lpData, value->data.data(), size);
  // A string stored without its terminator gets one when there is room; the
  // size reported stays the size stored.
  if (IsStringType(value->type) && capacity > size && (size == 0 || lpData[size - 1] != '\0')) {
    lpData[size] = '\0';
  }
  call.note(QuoteBytes(value->data.data(), size));
  return call.status(ERROR_SUCCESS);
}

extern "C" LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                                      const BYTE* lpData, DWORD cbData) {
  (void)Reserved;
  Call call("RegSetValueExA",
            Args(hKey, lpValueName, TypeName(dwType), QuoteBytes(lpData, cbData), cbData),
            ERROR_ACCESS_DENIED);
  if (call.fault) return call.status(*call.fault);
  // The count shows in the call; what is kept is the platform's rule
  // (string_values.h): Windows 95/98 keep a REG_SZ as its text and one NUL.
  std::optional<size_t> size = winsim::StoredSize(
      winsim::StringStorageOf(call.run().machine().config.platform), dwType, lpData, cbData);
  if (!size) return call.status(ERROR_INVALID_PARAMETER);
  HeldKey key;
  if (LONG error = ResolveKey(call, hKey, key); error != ERROR_SUCCESS) return call.status(error);
  std::string_view name = NameOrDefault(lpValueName);
  if (!winsim::IsStorableName(name)) return call.status(ERROR_INVALID_PARAMETER);
  if (*size != cbData) call.note("kept " + std::to_string(*size) + " bytes");
  std::string data;
  if (*size != 0) data.assign(reinterpret_cast<const char*>(lpData), *size);
  key->setValue(name, dwType, std::move(data));
  MarkModified(call);
  return call.status(ERROR_SUCCESS);
}

extern "C" LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                                     LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                                     PFILETIME lpftLastWriteTime) {
  Call call("RegEnumKeyExA", Args(hKey, dwIndex, BufferArg(lpName), SizeArg(lpcchName)),
            ERROR_NO_MORE_ITEMS);
  if (call.fault) return call.status(*call.fault);
  if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr ||
      (lpClass != nullptr && lpcchClass == nullptr)) {
    return call.status(ERROR_INVALID_PARAMETER);
  }
  HeldKey key;
  if (LONG error = ResolveKey(call, hKey, key); error != ERROR_SUCCESS) return call.status(error);
  const RegKey* child = key->subkey(dwIndex);
  if (child == nullptr) return call.status(ERROR_NO_MORE_ITEMS);
  const std::string& name = child->name();
  // Room for the name and its terminator, or nothing is written.
  if (name.size() >= *lpcchName || (lpClass != nullptr && *lpcchClass == 0)) {
    call.note("needs " + std::to_string(name.size() + 1));
    return call.status(ERROR_MORE_DATA);
  }
  std::memcpy(lpName, name.c_str(), name.size() + 1);
  *lpcchName = static_cast<DWORD>(name.size());
  if (lpClass != nullptr) {
    lpClass[0] = '\0';
    *lpcchClass = 0;
  }
  if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = FILETIME{0, 0};
  call.note(winsim::detail::Quote(name.c_str()));
  return call.status(ERROR_SUCCESS);
}

extern "C" LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass,
                                        LPDWORD lpReserved, LPDWORD lpcSubKeys,
                                        LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                        LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                                        LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                                        PFILETIME lpftLastWriteTime) {
  Call call("RegQueryInfoKeyA", Args(hKey), ERROR_CANTREAD);
  if (call.fault) return call.status(*call.fault);
  if (lpReserved != nullptr || (lpClass != nullptr && lpcchClass == nullptr)) {
    return call.status(ERROR_INVALID_PARAMETER);
  }
  HeldKey key;
  if (LONG error = ResolveKey(call, hKey, key); error != ERROR_SUCCESS) return call.status(error);
  // Each figure is worked out only when asked for: the longest names take a
  // walk over the key's subkeys or values.
  if (lpcSubKeys != nullptr) *lpcSubKeys = static_cast<DWORD>(key->subkeyCount());
  if (lpcbMaxSubKeyLen != nullptr) {
    *lpcbMaxSubKeyLen = static_cast<DWORD>(key->maxSubkeyNameLength());
  }
  if (lpcbMaxClassLen != nullptr) *lpcbMaxClassLen = 0;
  if (lpcValues != nullptr) *lpcValues = static_cast<DWORD>(key->values().size());
  if (lpcbMaxValueNameLen != nullptr) {
    *lpcbMaxValueNameLen = static_cast<DWORD>(key->maxValueNameLength());
  }
  if (lpcbMaxValueLen != nullptr) *lpcbMaxValueLen = static_cast<DWORD>(key->maxValueDataLength());
  if (lpcbSecurityDescriptor != nullptr) *lpcbSecurityDescriptor = 0;
  if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = FILETIME{0, 0};
  call.note(std::to_string(key->subkeyCount()) + " subkeys, " +
            std::to_string(key->values().size()) + " values");
  if (lpClass != nullptr) {
    // Keys have no class: an empty one, which needs room for its terminator.
    if (*lpcchClass == 0) return call.status(ERROR_MORE_DATA);
    lpClass[0] = '\0';
  }
  if (lpcchClass != nullptr) *lpcchClass = 0;
  return call.status(ERROR_SUCCESS);
}

extern "C" LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  Call call("RegDeleteKeyA", Args(hKey, lpSubKey), ERROR_ACCESS_DENIED);
  if (call.fault) return call.status(*call.fault);
  HeldKey key;
  if (LONG error = ResolveKey(call, hKey, key); error != ERROR_SUCCESS) return call.status(error);
  // An empty name deletes the key the handle names.
  RegKey* target = key->findSubkey(NameOrDefault(lpSubKey));
  if (target == nullptr) return call.status(ERROR_FILE_NOT_FOUND);
  RegKey* parent = target->parent();
  if (parent == nullptr) return call.status(ERROR_ACCESS_DENIED);  // a root
  call.note(target->path());
  // With all its subkeys and values, as Windows 95/98 delete.
  parent->deleteSubkey(target->name());
  MarkModified(call);
  return call.status(ERROR_SUCCESS);
}

extern "C" LONG WINAPI RegCloseKey(HKEY hKey) {
  Call call("RegCloseKey", Args(hKey), ERROR_INVALID_HANDLE);
  if (call.fault) return call.status(*call.fault);
  if (PredefinedRoot(hKey)) return call.status(ERROR_SUCCESS);
  if (call.handles().get<KeyObject>(hKey) == nullptr) return call.status(ERROR_INVALID_HANDLE);
  call.handles().close(hKey);
  return call.status(ERROR_SUCCESS);
}
