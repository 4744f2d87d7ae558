#include <windows.h>

#include "uninstall_sequence.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return zuninst::RunUninstall(); }
