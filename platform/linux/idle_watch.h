// `vellora --idle MINUTES`: a watcher in the background that starts the show when
// the user has been idle that long and lets it end on their return.
//
// Contract: runIdleWatcher returns the process's exit code. It holds a lock in
// $XDG_RUNTIME_DIR for the session (without that folder it runs unlocked); a second
// watcher finds it held, says so and returns 1, as does a session that offers none
// of the sources. It tries the sources in the order given and keeps the first that
// opens. It starts the show (the program with `showArguments`) only when idle for
// the threshold, nothing inhibits idling and no other screen saver is running, and
// again only after the user has been back. Waiting, it sleeps until the earliest
// moment the user can have been idle long enough, or a stop signal. A stop signal
// ends a running show first and returns 0; so does the session going away.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/idle_source.h"

namespace vellora::linux_platform {

struct IdleWatch {
    std::uint64_t thresholdMs = 0;
    std::vector<std::string> showArguments;
    std::vector<IdleSourceOpener> sources;
    // Another screen saver owns the session's idling (the xscreensaver daemon); may be null.
    bool (*anotherSaverRunning)() = nullptr;
};

int runIdleWatcher(const IdleWatch& watch);

// The session's watcher lock, which holds the running watcher's process id; empty
// without a runtime folder.
std::string idleLockPath();

}  // namespace vellora::linux_platform
