// The setup program's one fixed sequence, from the install paths to the
// registry import.
#ifndef RQ47SET_MAIN_SEQUENCE_H
#define RQ47SET_MAIN_SEQUENCE_H

#include "exit_codes.h"

namespace rq47set {

// Runs the whole setup from program-start state; returns the exit code.
int RunSetup();

}  // namespace rq47set

#endif  // RQ47SET_MAIN_SEQUENCE_H
