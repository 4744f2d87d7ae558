// The files setup takes from the package in the program folder.
#ifndef RQ47SET_PACKAGE_FILES_H
#define RQ47SET_PACKAGE_FILES_H

#include "paths.h"

namespace rq47set {

// Copied into the System directory under the same names, in this order.
inline constexpr const char* kSystemDirectoryFiles[] = {
    kDosBoxDriverFile,  // the virtual comm driver that system.ini loads
    kPciDriverFile,     // the PCI drivers
    kPciDriver1File,
    kAppletFile,       // the control panel applet
    kUninstallerFile,  // the uninstaller
};
// The applet's help is always the domestic one, placed under the applet's help name.
inline constexpr char kHelpSourceFile[] = "Domestic.hlp";
// Imported with regedit at the end of the installation.
inline constexpr char kRegistryFile[] = "rq47.reg";

}  // namespace rq47set

#endif  // RQ47SET_PACKAGE_FILES_H
