#include "package_check.h"

#include <windows.h>

#include "file_message.h"
#include "file_probe.h"
#include "install_paths.h"
#include "modem_names.h"
#include "package_files.h"
#include "paths.h"
#include "text_buffer.h"

namespace rq47set {
namespace {

// Lines separated by a carriage return alone, as the setup's other messages.
constexpr char kMissingBefore[] = "The installation kit is not complete: the file ";
constexpr char kMissingBetween[] = " is missing from the folder\r";
constexpr char kMissingAfter[] =
    "\r\rCopy the whole installation kit into that folder, then run Setup again.\r"
    "Nothing has been installed or changed.";

// Only a file known to be missing counts: one that cannot be probed may be
// placed all the same. A path that does not fit is skipped, as the placement
// skips it.
bool IsMissing(const char* folder, const char* name) {
  char path[MAX_PATH];
  return JoinPath(path, folder, name) && ProbeFile(path) == FilePresence::kMissing;
}

const char* FirstMissingFile(const char* folder) {
  for (const char* name : kSystemDirectoryFiles) {
    if (IsMissing(folder, name)) return name;
  }
  if (IsMissing(folder, kHelpSourceFile)) return kHelpSourceFile;
  if (IsMissing(folder, kRegistryFile)) return kRegistryFile;
  return nullptr;
}

void ReportMissingFile(const char* folder, const char* name) {
  ShowFileMessage(kMissingBefore, name, kMissingBetween, folder, kMissingAfter);
}

}  // namespace

Package CheckPackageComplete() {
  char folder[MAX_PATH] = "";
  if (GetProgramFolderPath(folder, sizeof folder) != ProgramFolderPath::kFound) {
    return Package::kComplete;
  }
  const char* missing = FirstMissingFile(folder);
  if (missing == nullptr) return Package::kComplete;
  ReportMissingFile(folder, missing);
  return Package::kIncomplete;
}

}  // namespace rq47set
