// Places the drivers, the applet, the uninstaller and the applet's help file.
#ifndef RQ47SET_FILE_PLACEMENT_H
#define RQ47SET_FILE_PLACEMENT_H

#include "setup_context.h"

namespace rq47set {

enum class Placement {
  // Every file was placed (or the program folder cannot be named, which the
  // run reports when it asks for that folder again).
  kPlaced,
  // A file could not be placed; a message box named the first such file.
  // The others were placed all the same.
  kNotPlaced,
};

Placement PlaceModemFiles(SetupContext& context);

}  // namespace rq47set

#endif  // RQ47SET_FILE_PLACEMENT_H
