#include "uninstall_state.h"

#include "modem_names.h"
#include "text_buffer.h"

namespace zuninst {

static_assert(sizeof(kPciKeyPrefix) - 1 + kPnpIdBytes < sizeof(UninstallState::deviceKeyPath),
              "the device key path holds the prefix and the longest device instance id");
static_assert(kPnpIdBytes < sizeof(UninstallState::deviceInstanceId),
              "the device instance id stays terminated");

UninstallState g_uninstall;

void ResetUninstallState() {
  g_uninstall = UninstallState{};
  CopyText(g_uninstall.deviceKeyPath, kPciKeyPrefix);
}

}  // namespace zuninst
