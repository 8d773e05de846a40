// The idle start as the settings dialog switches it: the user's XDG autostart entry
// that runs `vellora --idle MINUTES` at every log-in, and the watcher of the session
// that runs now.
//
// Contract:
// - The entry is $XDG_CONFIG_HOME/autostart/vellora-idle.desktop (by default
//   ~/.config/autostart/). The dialog writes exactly autostartEntry(MINUTES) there;
//   a file there that is not exactly such an entry (the user edited it, or copied
//   the package's) is the user's: readIdleAutostart calls it userEdited and
//   switchIdleAutostart never changes or removes it.
// - MINUTES is what --idle takes (command_line.h: a decimal, more than 0, at most a week).
// - Writing is atomic and flushed (platform/linux/user_files.h); the folder is made.
// - The watcher of the session holds $XDG_RUNTIME_DIR/vellora-idle.lock, which holds
//   its process id. restartIdleWatcher ends it (SIGTERM, and waits for the lock to
//   be free, up to two seconds) and, for `on`, starts `program --idle MINUTES` in
//   the background, apart from this process, its output going nowhere.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace vellora::linux_platform {

struct IdleAutostart {
    enum class State { off, on, userEdited } state = State::off;
    std::string minutes = "10";  // the entry's, when on; the package's default otherwise
};

std::string autostartPath();
std::string autostartEntry(const std::string& minutes);
// The minutes of a file that is exactly autostartEntry(minutes).
std::optional<std::string> minutesOfEntry(const std::string& text);

IdleAutostart readIdleAutostart(const std::string& path);
// Writes the entry for `on`, removes the dialog's own entry for off. False when
// that failed, or when the file is the user's (left as it is).
bool switchIdleAutostart(const std::string& path, bool on, const std::string& minutes);

// The process id in the session's lock while a watcher holds it.
std::optional<pid_t> runningIdleWatcher();
// `program` is the vellora executable to start.
bool restartIdleWatcher(const std::string& program, bool on, const std::string& minutes);

}  // namespace vellora::linux_platform
