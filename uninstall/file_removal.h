// Removal of the files that setup places outside the program folder: the
// drivers and the uninstaller in the System directory, the control panel
// applet there and its help file in the Windows help folder.
#ifndef ZUNINST_FILE_REMOVAL_H
#define ZUNINST_FILE_REMOVAL_H

namespace zuninst {

// Deletes zuninst.exe, zelvcd.vxd, rq47pci.vxd and rq47pci1.vxd from the
// System directory; a file that is missing or cannot be deleted is passed
// over.
void RemoveDriverFiles();

// Deletes zca.cpl from the System directory, asking the user to close the
// Control Panel and trying once more when the first deletion fails, then
// zca.hlp from the Windows help folder.
void RemoveControlPanelApplet();

}  // namespace zuninst

#endif  // ZUNINST_FILE_REMOVAL_H
