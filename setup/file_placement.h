// Places the drivers, the applet, the uninstaller and the applet's help file.
#ifndef RQ47SET_FILE_PLACEMENT_H
#define RQ47SET_FILE_PLACEMENT_H

#include "setup_context.h"

namespace rq47set {

void PlaceModemFiles(SetupContext& context);

}  // namespace rq47set

#endif  // RQ47SET_FILE_PLACEMENT_H
