// What the installation cache remembers during one setup run: the cache override applied last,
// the revision a patch build serves, the engine cache paths re-published before every
// statement, and whether "Apply Changes" wrote or removed the cache in this run.
#pragma once

#include <optional>
#include <string>

namespace velmora {

struct CacheRunState {
    std::string appliedOverride;    // OVERRIDECACHE as applied last (with trailing backslash)
    std::string installedRevision;  // patch builds: revision code of the installed product
    std::string engineCache;        // ENGINECACHE: the engine's cache folder
    std::string uninstallLink;      // UNINSTALLLINK: the engine copy in that folder
    // Line 10 of the last state file loaded without merging: the data folder it was saved with.
    std::optional<std::string> savedDataFolder;
    bool writtenThisRun = false;    // "Apply Changes" wrote the cache
    bool removedThisRun = false;    // "Apply Changes" removed it
};

} // namespace velmora
