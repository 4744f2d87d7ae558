// The process heap: GetProcessHeap, HeapAlloc and HeapFree over blocks the run
// owns. The trace names a block by its number, so traces of the same run
// compare equal wherever the host put the memory.
#include <windows.h>

#include <cstring>

#include "api_call.h"

using winsim::detail::Args;
using winsim::detail::Call;

namespace {

// The one heap a process of the simulation has. Windows 95 gives the process
// heap's address; any value the programs only hand back will do.
HANDLE const kProcessHeap = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x00540000));

// Blocks not zeroed on request start with this byte, so a program that reads
// memory it never wrote reads something other than zeros.
constexpr unsigned char kUnwrittenByte = 0xCD;

std::string BlockName(uint64_t number) { return "block " + std::to_string(number); }

}  // namespace

extern "C" HANDLE WINAPI GetProcessHeap(void) {
  // Not a platform call worth tracing or failing: every process has its heap
  // from its start, and the call only reads it.
  return kProcessHeap;
}

extern "C" LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
  Call call(
      "HeapAlloc",
      Args(hHeap, winsim::detail::Hex(dwFlags), std::to_string(static_cast<uint64_t>(dwBytes))),
      ERROR_NOT_ENOUGH_MEMORY);
  // HeapAlloc returns NULL without setting the last error.
  if (call.fault) return call.result<LPVOID>(nullptr, "NULL");
  if (hHeap != kProcessHeap) {
    call.note("not the process heap");
    return call.result<LPVOID>(nullptr, "NULL");
  }
  const winsim::Run::HeapBlock& block = call.run().allocateHeapBlock(dwBytes);
  std::memset(block.bytes.get(), (dwFlags & HEAP_ZERO_MEMORY) != 0 ? 0 : kUnwrittenByte, dwBytes);
  return call.result<LPVOID>(block.bytes.get(), BlockName(block.number));
}

extern "C" BOOL WINAPI HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem) {
  winsim::Run& run = winsim::CurrentRun();
  uint64_t number = run.heapBlockNumber(lpMem);
  std::string block = lpMem == nullptr ? "NULL" : number != 0 ? BlockName(number) : "?";
  Call call("HeapFree", Args(hHeap, winsim::detail::Hex(dwFlags), block), ERROR_INVALID_PARAMETER);
  if (call.fault) return call.boolean(false, *call.fault);
  // Freeing nothing succeeds, as on Windows.
  if (lpMem == nullptr) return call.boolean(true);
  if (hHeap != kProcessHeap || number == 0) return call.boolean(false, ERROR_INVALID_PARAMETER);
  return call.boolean(run.freeHeapBlock(lpMem));
}
