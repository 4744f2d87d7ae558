#include "uninstall_context.h"

#include <cstring>

#include "modem_names.h"
#include "text_buffer.h"

namespace zuninst {

void StartUninstallContext(UninstallContext& context) {
  std::memset(&context, 0, sizeof context);
  CopyConstantText(context.deviceKeyPath, kPciKeyPrefix);
}

}  // namespace zuninst
