#include "platform/linux/idle_watch.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/linux/child_process.h"
#include "platform/linux/linux_internal.h"

namespace vellora::linux_platform {
namespace {

// While idle but held off, how often to ask again.
constexpr std::uint64_t recheckMs = 30'000;
constexpr int showPatienceMs = 2000;

enum class Lock { taken, held, none };

Lock takeSessionLock(int& fd) {
    const std::string path = idleLockPath();
    if (path.empty()) return Lock::none;
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return Lock::none;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        // Its process id, for the settings dialog's idle switch, which ends this watcher.
        const std::string pid = std::to_string(getpid()) + "\n";
        if (ftruncate(fd, 0) != 0 || pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size()))
            std::fprintf(stderr, "vellora: %s cannot hold this watcher's process id; the settings dialog cannot end it\n",
                         path.c_str());
        return Lock::taken;
    }
    const bool held = errno == EWOULDBLOCK;
    close(fd);
    fd = -1;
    return held ? Lock::held : Lock::none;
}

// Sleeps until `ms` have passed, a stop is requested or `descriptor` has something.
void waitFor(std::uint64_t ms, int descriptor) {
    pollfd watched[2] = {{stopWakeDescriptor(), POLLIN, 0}, {descriptor, POLLIN, 0}};
    const int timeout = static_cast<int>(std::min<std::uint64_t>(ms, INT_MAX));
    poll(watched, descriptor >= 0 ? 2 : 1, timeout);
}

// A descriptor that becomes readable when the child ends, or -1 on a kernel without them.
int endDescriptorOf(pid_t child) { return static_cast<int>(syscall(SYS_pidfd_open, child, 0)); }

bool ended(pid_t child) {
    int status = 0;
    return waitpid(child, &status, WNOHANG) == child;
}

// Runs the show until it ends by itself (the user's input ends it), the source
// tells of the user's return, or a stop is requested.
void runShow(IdleSource& source, const std::vector<std::string>& arguments) {
    const pid_t show = startProgram(arguments);
    if (show < 0) {
        std::perror("vellora: cannot start the show");
        return;
    }
    const int showEnd = endDescriptorOf(show);
    const int sourceWake = source.wakeDescriptor();
    for (;;) {
        pollfd watched[3] = {{stopWakeDescriptor(), POLLIN, 0}, {showEnd, POLLIN, 0}, {sourceWake, POLLIN, 0}};
        // Without an end descriptor the show's end is looked for twice a second.
        poll(watched, 3, showEnd >= 0 ? -1 : 500);
        if (stopRequested()) {
            endProgram(show, showPatienceMs);
            break;
        }
        if (ended(show)) break;
        if (watched[2].revents) {
            const std::optional<IdleState> now = source.state();
            if (!now || !now->idle) {
                endProgram(show, showPatienceMs);
                break;
            }
        }
    }
    if (showEnd >= 0) close(showEnd);
}

bool heldOff(IdleSource& source, const IdleWatch& watch) {
    return source.inhibited() || gnomeSessionInhibitsIdle() || (watch.anotherSaverRunning && watch.anotherSaverRunning());
}

}  // namespace

std::string idleLockPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime ? std::string(runtime) + "/vellora-idle.lock" : std::string();
}

int runIdleWatcher(const IdleWatch& watch) {
    int lock = -1;
    if (takeSessionLock(lock) == Lock::held) {
        std::fputs("vellora: another vellora --idle is already watching this session\n", stderr);
        return 1;
    }
    std::unique_ptr<IdleSource> source;
    for (IdleSourceOpener open : watch.sources)
        if ((source = open(watch.thresholdMs))) break;
    if (!source) {
        std::fputs("vellora: --idle needs the session's idle time, and this session offers none (no Wayland idle "
                   "notifier, no GNOME idle monitor on the session bus, no X11 MIT-SCREEN-SAVER extension)\n",
                   stderr);
        if (lock >= 0) close(lock);
        return 1;
    }
    std::fprintf(stderr, "vellora: watching the idle time of %s\n", source->name());
    // The user has been active since the last show: a show that ended without
    // their return (it failed, or was ended by someone else) is not started again at once.
    bool armed = true;
    while (!stopRequested()) {
        const std::optional<IdleState> now = source->state();
        if (!now) {
            std::fprintf(stderr, "vellora: %s no longer answers; the idle watch ends\n", source->name());
            break;
        }
        if (!now->idle) {
            armed = true;
            waitFor(now->msUntilIdle, source->wakeDescriptor());
        } else if (!armed || heldOff(*source, watch)) {
            waitFor(std::min(recheckMs, watch.thresholdMs), source->wakeDescriptor());
        } else {
            runShow(*source, watch.showArguments);
            armed = false;
        }
    }
    if (lock >= 0) close(lock);
    return 0;
}

}  // namespace vellora::linux_platform
