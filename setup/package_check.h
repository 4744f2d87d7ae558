// Whether the package in the program folder is whole, asked before a run
// changes anything: a run that cannot place every file or import the
// registry file must not begin an installation or an upgrade.
#ifndef RQ47SET_PACKAGE_CHECK_H
#define RQ47SET_PACKAGE_CHECK_H

namespace rq47set {

enum class Package { kComplete, kIncomplete };

// kComplete when every file setup takes from the program folder is there (or
// the folder's path does not fit, which the run reports later). Otherwise
// names the folder and the first missing file in a message box.
Package CheckPackageComplete();

}  // namespace rq47set

#endif  // RQ47SET_PACKAGE_CHECK_H
