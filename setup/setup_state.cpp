#include "setup_state.h"

#include "modem_names.h"
#include "text_buffer.h"

namespace rq47set {

SetupState g_setup;

void ResetSetupState() {
  g_setup = SetupState{};
  CopyText(g_setup.deviceKeyPath, kPciKeyPrefix);
}

}  // namespace rq47set
