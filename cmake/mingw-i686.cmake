# MinGW-w64 for 32-bit Windows: the shipping rq47set.exe and zuninst.exe.
#
# The compilers of the "win32" thread model come first where Debian offers
# both models: they need no threading library, so the executables import only
# what Windows 95 provides (tools/wine/windows95-imports.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
find_program(RQ47_MINGW_CC NAMES i686-w64-mingw32-gcc-win32 i686-w64-mingw32-gcc REQUIRED)
find_program(RQ47_MINGW_CXX NAMES i686-w64-mingw32-g++-win32 i686-w64-mingw32-g++ REQUIRED)
set(CMAKE_C_COMPILER ${RQ47_MINGW_CC})
set(CMAKE_CXX_COMPILER ${RQ47_MINGW_CXX})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
