// A message box that names a package file and a folder: the text before the
// name, the name, the text between, the folder, the text after.
#ifndef RQ47SET_FILE_MESSAGE_H
#define RQ47SET_FILE_MESSAGE_H

#include <windows.h>

#include <cstddef>

#include "modem_names.h"
#include "text_buffer.h"

namespace rq47set {

// The longest name of a file of the package ("rq47pci1.vxd", "Domestic.hlp").
inline constexpr size_t kLongestPackageFileName = 12;

template <size_t Before, size_t Between, size_t After>
void ShowFileMessage(const char (&before)[Before], const char* name, const char (&between)[Between],
                     const char* folder, const char (&after)[After]) {
  char text[Before + kLongestPackageFileName + Between + MAX_PATH + After];
  // Sized for the longest name and folder, so every piece fits.
  static_cast<void>(CopyText(text, before) && AppendText(text, name) && AppendText(text, between) &&
                    AppendText(text, folder) && AppendText(text, after));
  MessageBoxA(nullptr, text, kModemCaption, MB_OK);
}

}  // namespace rq47set

#endif  // RQ47SET_FILE_MESSAGE_H
