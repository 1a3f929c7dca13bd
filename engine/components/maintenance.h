// The start-up decision between first installation, maintenance and upgrade
// (InitMaintenanceState), the installed state a patch build works on, and the cache override
// the interpreter applies before every statement.
#pragma once

#include "components/cache.h"

namespace velmora {

// Sets PRODUCTCODE, REVISIONCODE, UNINSTALLLINK, ENGINECACHE, DATADIR, NEEDSUPGRADE,
// MAINTENANCE and NEWINSTANCE, and either reloads the installed product's saved state
// (maintenance) or starts a fresh component model with the default target folder (first
// installation or upgrade, optionally taking over an older build's state). Registry, file and
// installer failures count as "nothing there"; this never raises.
void InitMaintenanceState(InstallationCache& cache);

// A patch build (a ".msp" beside the package): finds the installed revision through the
// uninstall entry of the title and loads that revision's state and recorded properties.
void LoadPatchState(InstallationCache& cache);

// Applies a changed OVERRIDECACHE: creates the folder (with its parents) as a test, stores the
// value with a trailing backslash, reruns InitMaintenanceState so every cache path follows the
// new root, and removes the folders the test made. A folder that cannot be created empties
// OVERRIDECACHE. A missing folder given as a bare name raises ScriptError("Unable to create
// directory").
void ApplyCacheOverride(InstallationCache& cache);

} // namespace velmora
