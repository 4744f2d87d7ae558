#include <windows.h>

#include "main_sequence.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return rq47set::RunSetup(); }
