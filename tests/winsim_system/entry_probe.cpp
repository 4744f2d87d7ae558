// A tiny program for the entry's tests: it writes a registry value, asks one
// question and ends with a code that tells which answer it got (Yes 3, No -2).
// PROBE_HANG=1 makes it first wait without limit for a program that never ends.
#include <windows.h>

#include <cstdlib>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Probe", 0, nullptr, 0, KEY_WRITE, nullptr,
                      &key, nullptr) == ERROR_SUCCESS) {
    const char text[] = "ran";
    RegSetValueExA(key, "State", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    RegCloseKey(key);
  }
  const char* hang = std::getenv("PROBE_HANG");
  if (hang != nullptr && std::strcmp(hang, "1") == 0) {
    char command[] = "hang.exe";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &info)) {
      WaitForSingleObject(info.hProcess, INFINITE);
    }
  }
  int answer = MessageBoxA(nullptr, "Keep the probe's value?\r\nIt is harmless.", "Probe",
                           MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION);
  return answer == IDYES ? 3 : -2;
}
