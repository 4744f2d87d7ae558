// Writing a file where the person asked for it: a report page, an export.
#ifndef WINSIM_TOOL_REPORT_FILE_H
#define WINSIM_TOOL_REPORT_FILE_H

#include <string>

namespace winsim_tool {

// Empty when a file can be written at the path (its folder exists and can be
// written, the path is not a folder); otherwise what is wrong and what to do.
std::string OutputPathProblem(const std::string& path);

// Empty when writing the path leaves every machine folder alone: it is in
// none, and is no other name (hard link) of a file of `machineFolder` (when
// given); otherwise what is wrong, naming the output as `what`.
std::string MachineFileProblem(const std::string& path, const std::string& machineFolder,
                               const char* what);
// The same for a report page, which moreover never goes into a machine folder
// and never replaces a file that is not an earlier winsim report.
std::string ReportPathProblem(const std::string& path, const std::string& machineFolder = "");

// Writes the whole file or, on failure, leaves any earlier file as it was: a
// new temporary file with an unpredictable name beside it, then a rename
// (which replaces a link at the path, never the file it points to). Throws
// std::runtime_error.
void WriteFileAtomically(const std::string& path, const std::string& content);

// A report page: its path checked again (ReportPathProblem), then written.
void WriteReportFile(const std::string& path, const std::string& content,
                     const std::string& machineFolder = "");

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_REPORT_FILE_H
