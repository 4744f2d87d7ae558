// The files that ship, as users get them: the ZIP and the floppy image that
// the package target of the win32 build makes, unpacked into a folder.
#ifndef RQ47_WINE_SHIPPED_FILES_H
#define RQ47_WINE_SHIPPED_FILES_H

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace rq47wine {

// The win32 build folder (RQ47_WIN32_DIR names another one).
std::filesystem::path Win32BuildDir();
// rq47-<release>-win32.zip and .img in that folder.
std::filesystem::path PackageZip();
std::filesystem::path FloppyImage();

// The files the package is made of, as the win32 build made them: the name
// each has in the package -> the file in the build folder.
std::map<std::string, std::filesystem::path> PackagedBuildFiles();

// mcopy of mtools, which reads the floppy image; nothing when not installed.
std::optional<std::filesystem::path> FindMcopy();

// Unpacks every file of the ZIP, or of the floppy image, into the folder
// (made when missing). Throws std::runtime_error saying what failed.
void UnpackZip(const std::filesystem::path& zip, const std::filesystem::path& folder);
void UnpackFloppy(const std::filesystem::path& image, const std::filesystem::path& folder);

}  // namespace rq47wine

#endif  // RQ47_WINE_SHIPPED_FILES_H
