// The upgrade of an earlier installation of another version.
#ifndef RQ47SET_UPGRADE_H
#define RQ47SET_UPGRADE_H

namespace rq47set {

// The open's status when there is no earlier installation; 0 when the
// installed version is this one; 10 once the user has answered the question
// (the setup run then ends); kExitPackageIncomplete or kExitArchiveFailed
// when the upgrade had to stop before changing anything of the previous
// version (the run ends with that code).
int UpgradePreviousInstallation();

}  // namespace rq47set

#endif  // RQ47SET_UPGRADE_H
