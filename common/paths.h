// Where the modem software's folders and files lie, below the directories the
// platform reports, and the one way both programs join a directory and a name
// into a path.
#ifndef RQ47_COMMON_PATHS_H
#define RQ47_COMMON_PATHS_H

#include <cstddef>

// Below the Windows directory.
// The package: setup and the files it places.
inline constexpr char kProgramFolder[] = "Zelvaran\\ZelSet95";
// The previous version as an upgrade archived it.
inline constexpr char kBackupFolder[] = "Zelvaran\\zelbak95";
// Windows' help files.
inline constexpr char kHelpFolder[] = "help";
// Windows' copies of the INF files it installed devices from.
inline constexpr char kInfFolder[] = "INF\\Other";
// system.ini, and the copy through which it is rewritten.
inline constexpr char kSystemIniFile[] = "system.ini";
inline constexpr char kSystemIniCopyFile[] = "system.new";

// Below the root of the current directory's drive.
// The previous version's installation kit.
inline constexpr char kKitFolder[] = "Progra~1\\Zelset95";
// The previous version's setup folder.
inline constexpr char kPreviousSetupFolder[] = "Progra~1\\ZelSetup";

// The files setup places from the package and the uninstaller deletes: the
// drivers, the applet and the uninstaller in the System directory, the
// applet's help in the help folder.
inline constexpr char kDosBoxDriverFile[] = "zelvcd.vxd";
inline constexpr char kPciDriverFile[] = "rq47pci.vxd";
inline constexpr char kPciDriver1File[] = "rq47pci1.vxd";
inline constexpr char kAppletFile[] = "zca.cpl";
inline constexpr char kUninstallerFile[] = "zuninst.exe";
inline constexpr char kAppletHelpFile[] = "zca.hlp";

// dst = directory, a backslash and name; a directory that ends in a backslash
// (a drive root, "C:\") keeps its own. False, with dst untouched, when the
// directory is empty (not known: a name alone would be looked for wherever
// the current directory is) or the path with its terminator does not fit.
// dst may be the directory itself.
[[nodiscard]] bool JoinPath(char* dst, size_t dstSize, const char* directory, const char* name);

template <size_t N>
[[nodiscard]] bool JoinPath(char (&dst)[N], const char* directory, const char* name) {
  return JoinPath(dst, N, directory, name);
}

#endif  // RQ47_COMMON_PATHS_H
