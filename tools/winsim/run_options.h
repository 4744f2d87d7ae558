// The options of winsim run that make a run go wrong on purpose, as the fault
// and interruption sweeps of the tests do: a platform call that fails, and a
// power cut after a number of calls.
#ifndef WINSIM_TOOL_RUN_OPTIONS_H
#define WINSIM_TOOL_RUN_OPTIONS_H

#include <cstdint>
#include <string>

#include "winsim/guarded_run.h"
#include "winsim/run.h"

namespace winsim_tool {

// "FUNCTION:N" or "FUNCTION:N:ERROR": the N-th call of the platform call
// FUNCTION fails with ERROR (a name such as ERROR_ACCESS_DENIED, or a
// number), by default with the error Windows gives for that call. Throws
// UsageError.
winsim::FaultRule ParseFaultOption(const std::string& text);

// The number of calls after which the power goes (1 or more). Throws UsageError.
uint64_t ParsePowerCut(const std::string& text);

// "registry-at-cut" or "registry-at-start". Throws UsageError.
winsim::PowerLoss ParsePowerLoss(const std::string& text);

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_RUN_OPTIONS_H
