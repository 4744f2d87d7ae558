// The modem's settings in the vendor key: kept, taken over from the temporary
// settings key an upgrade left behind, or set to the defaults.
#ifndef RQ47SET_SETTINGS_H
#define RQ47SET_SETTINGS_H

#include <windows.h>

#include "unique_hkey.h"

namespace rq47set {

// Works on the vendor key the main sequence created and closes it before it ends.
void ApplyModemSettings(UniqueHkey vendorKey);

// Whether the status of a settings read says what the key holds: the value
// was read, is not there, or is too long or of the wrong size for its field.
// Any other failure says nothing, and the value may well be there.
bool ReadSaysWhatIsStored(LONG status);

}  // namespace rq47set

#endif  // RQ47SET_SETTINGS_H
