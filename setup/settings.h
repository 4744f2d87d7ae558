// The modem's settings in the vendor key: kept, taken over from the temporary
// settings key an upgrade left behind, or set to the defaults.
#ifndef RQ47SET_SETTINGS_H
#define RQ47SET_SETTINGS_H

#include "setup_context.h"
#include "unique_hkey.h"

namespace rq47set {

// Works on the vendor key the main sequence created and closes it before it ends.
void ApplyModemSettings(SetupContext& context, UniqueHkey vendorKey);

}  // namespace rq47set

#endif  // RQ47SET_SETTINGS_H
