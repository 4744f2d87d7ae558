// The upgrade of an earlier installation of another version.
#ifndef RQ47SET_UPGRADE_H
#define RQ47SET_UPGRADE_H

#include "setup_context.h"

namespace rq47set {

enum class UpgradeResult {
  // The installation goes on: there is none of another version.
  kNoEarlierInstallation,
  kThisVersionInstalled,
  // The run ends: the user declined, or the upgrade is prepared and waits
  // for the reboot.
  kDeclined,
  kPrepared,
  // The run ends before anything of the previous version was changed.
  kPackageIncomplete,
  kArchiveFailed,
};

UpgradeResult UpgradePreviousInstallation(SetupContext& context);

}  // namespace rq47set

#endif  // RQ47SET_UPGRADE_H
