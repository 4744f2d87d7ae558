// Whether the machine can take the modem software: the Windows 95/98 family,
// a Pentium-class processor, enough memory.
#ifndef RQ47SET_REQUIREMENTS_H
#define RQ47SET_REQUIREMENTS_H

#include <windows.h>

namespace rq47set {

enum class Requirements { kMet, kNotMet };

// Records "Windows95" or "Windows98" as Operating System in the vendor key on
// the way. kNotMet after the message of the requirement that is not met.
Requirements CheckSystemRequirements();

// Processor types that count as Pentium-class: 586 always; in a 64-bit build
// also 8664, the only type a 64-bit process ever sees.
bool IsPentiumClass(DWORD processorType, bool is64BitBuild);

}  // namespace rq47set

#endif  // RQ47SET_REQUIREMENTS_H
