// The setup program's one fixed sequence, from the install paths to the
// registry import.
#ifndef RQ47SET_MAIN_SEQUENCE_H
#define RQ47SET_MAIN_SEQUENCE_H

namespace rq47set {

// The whole program: makes the run's context at its program-start values,
// runs the sequence on it and returns the exit code the run ends with.
int RunSetup();

}  // namespace rq47set

#endif  // RQ47SET_MAIN_SEQUENCE_H
