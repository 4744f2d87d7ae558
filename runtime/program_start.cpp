// Where rq47set.exe and zuninst.exe start, in place of the C runtime's start.
//
// No C runtime DLL: MSVCRT.DLL came with Visual C++ 4.2 (1996), so Windows 95
// as first released has it only when another application brought it, and
// Windows 95 refuses to start a program that imports a DLL or a function it
// lacks. The programs need of a C runtime only this start and the few byte
// and text functions of c_library.cpp; everything else they ask of
// KERNEL32, ADVAPI32 and USER32, and the memory they need they take from the
// process heap themselves (HeapAlloc).
//
// No thread-local storage: Windows 9x does not run TLS callbacks at program
// load in every case. Nothing of ours is thread-local, and without the MinGW
// runtime the image has no TLS directory at all.
//
// No exceptions: the programs are built without them and without run-time
// type information, so no unwinder and no exception DLL of the compiler is
// linked.
#include <windows.h>

extern "C" {
// The static constructors' list, which MinGW's linker script lays out as -1
// (or their count), the constructors, then 0.
extern void (*__CTOR_LIST__[])();
// The image's first byte: its address is the program's instance handle.
extern IMAGE_DOS_HEADER __ImageBase;
}

namespace {

// Today the programs have no static constructor (their globals are plain
// buffers that start as zero); one added later still runs, last listed
// first, as GCC's own start runs them. No static destructor ever runs: the
// programs end with ExitProcess, and an object that needs one fails the link
// (there is no atexit).
void RunStaticConstructors() {
  size_t count = 0;
  while (__CTOR_LIST__[count + 1] != nullptr) ++count;
  for (size_t i = count; i > 0; --i) __CTOR_LIST__[i]();
}

}  // namespace

// The name the linker starts a Windows GUI program at.
extern "C" void WinMainCRTStartup() {
  RunStaticConstructors();
  // The programs read no command line, open no window and so use no show
  // state: they get an empty command line and the default.
  char noCommandLine[] = "";
  int exitCode =
      WinMain(reinterpret_cast<HINSTANCE>(&__ImageBase), nullptr, noCommandLine, SW_SHOWDEFAULT);
  ExitProcess(static_cast<UINT>(exitCode));
}
