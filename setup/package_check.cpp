#include "package_check.h"

#include <windows.h>

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
// The longest name of the package.
constexpr size_t kLongestFileName = sizeof "rq47pci1.vxd" - 1;

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
  char text[sizeof kMissingBefore + kLongestFileName + sizeof kMissingBetween + MAX_PATH +
            sizeof kMissingAfter];
  // Sized for the longest name and folder, so every piece fits.
  static_cast<void>(CopyText(text, kMissingBefore) && AppendText(text, name) &&
                    AppendText(text, kMissingBetween) && AppendText(text, folder) &&
                    AppendText(text, kMissingAfter));
  MessageBoxA(nullptr, text, kModemCaption, MB_OK);
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
