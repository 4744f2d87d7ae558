// The uninstaller's one fixed sequence: confirmation, registry cleanup, file
// removal, the system.ini driver line, the closing message.
#ifndef ZUNINST_UNINSTALL_SEQUENCE_H
#define ZUNINST_UNINSTALL_SEQUENCE_H

namespace zuninst {

// Runs the whole uninstall from program-start state; returns the exit code:
// 0 when the user answers No, otherwise the closing message's result.
int RunUninstall();

}  // namespace zuninst

#endif  // ZUNINST_UNINSTALL_SEQUENCE_H
