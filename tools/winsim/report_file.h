// Writing a report page where the person asked for it.
#ifndef WINSIM_TOOL_REPORT_FILE_H
#define WINSIM_TOOL_REPORT_FILE_H

#include <string>

namespace winsim_tool {

// Empty when a file can be written at the path (its folder exists, it is not
// a folder); otherwise what is wrong and what to do.
std::string ReportPathProblem(const std::string& path);

// Writes the whole file or, on failure, leaves any earlier file as it was
// (a temporary file beside it, then a rename). Throws std::runtime_error.
void WriteFileAtomically(const std::string& path, const std::string& content);

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_REPORT_FILE_H
