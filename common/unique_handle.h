// Owner of a kernel handle (file, port, pipe end, process, thread): closed with
// CloseHandle when the owner goes.
#ifndef RQ47_COMMON_UNIQUE_HANDLE_H
#define RQ47_COMMON_UNIQUE_HANDLE_H

#include <windows.h>

#include "unique_resource.h"

struct KernelHandleTraits {
  using Type = HANDLE;
  // Both NULL and INVALID_HANDLE_VALUE mean "nothing held", as the calls that
  // fill a handle use either.
  static bool IsHeld(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;

#endif  // RQ47_COMMON_UNIQUE_HANDLE_H
