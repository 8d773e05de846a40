#include "platform/linux/idle_autostart.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/linux/command_line.h"
#include "platform/linux/idle_watch.h"
#include "platform/linux/linux_internal.h"
#include "platform/linux/user_files.h"

namespace vellora::linux_platform {
namespace {

constexpr std::size_t largestEntry = 64u << 10;

// True while another process holds the watcher's lock.
bool lockHeld(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

void sleepMs(long ms) {
    const timespec pause{ms / 1000, (ms % 1000) * 1'000'000};
    nanosleep(&pause, nullptr);
}

}  // namespace

std::string autostartPath() { return configHome() + "/autostart/vellora-idle.desktop"; }

std::string autostartEntry(const std::string& minutes) {
    return "[Desktop Entry]\n"
           "# Written by the Vellora settings dialog, which switches it on and off.\n"
           "# Edited by hand, it is yours: the dialog leaves it as it is.\n"
           "Type=Application\n"
           "Name=Vellora when idle\n"
           "Comment=Shows the Vellora slide show full screen after " + minutes + " minutes without input\n"
           "Exec=vellora --idle " + minutes + "\n"
           "Icon=preferences-desktop-screensaver\n"
           "Terminal=false\n"
           "NoDisplay=true\n"
           "X-GNOME-Autostart-Delay=10\n";
}

std::optional<std::string> minutesOfEntry(const std::string& text) {
    const std::string prefix = "\nExec=vellora --idle ";
    const std::size_t at = text.find(prefix);
    if (at == std::string::npos) return std::nullopt;
    const std::size_t start = at + prefix.size(), end = text.find('\n', start);
    if (end == std::string::npos) return std::nullopt;
    const std::string minutes = text.substr(start, end - start);
    if (parseIdleMinutes(minutes.c_str()) == 0 || text != autostartEntry(minutes)) return std::nullopt;
    return minutes;
}

IdleAutostart readIdleAutostart(const std::string& path) {
    IdleAutostart autostart;
    const UserFile file = readUserFile(path, largestEntry);
    if (file.state == UserFile::State::missing) return autostart;
    if (file.state == UserFile::State::read)
        if (const std::optional<std::string> minutes = minutesOfEntry(file.bytes)) {
            autostart.state = IdleAutostart::State::on;
            autostart.minutes = *minutes;
            return autostart;
        }
    autostart.state = IdleAutostart::State::userEdited;
    return autostart;
}

bool switchIdleAutostart(const std::string& path, bool on, const std::string& minutes) {
    const IdleAutostart now = readIdleAutostart(path);
    if (now.state == IdleAutostart::State::userEdited) return false;
    if (!on) {
        if (now.state == IdleAutostart::State::off) return true;
        const std::optional<std::string> target = linkTarget(path);
        return target && (unlink(target->c_str()) == 0 || errno == ENOENT);
    }
    if (parseIdleMinutes(minutes.c_str()) == 0) return false;
    if (now.state == IdleAutostart::State::on && now.minutes == minutes) return true;
    makeFolders(path.substr(0, path.rfind('/')));
    return writeUserFile(path, autostartEntry(minutes), newFileMode());
}

std::optional<pid_t> runningIdleWatcher() {
    const std::string path = idleLockPath();
    if (path.empty() || !lockHeld(path)) return std::nullopt;
    const UserFile file = readUserFile(path, 64);
    if (file.state != UserFile::State::read) return std::nullopt;
    const long pid = std::strtol(file.bytes.c_str(), nullptr, 10);
    if (pid <= 1) return std::nullopt;
    return static_cast<pid_t>(pid);
}

bool restartIdleWatcher(const std::string& program, bool on, const std::string& minutes) {
    if (const std::optional<pid_t> watcher = runningIdleWatcher()) {
        kill(*watcher, SIGTERM);
        for (int waited = 0; waited < 2000 && lockHeld(idleLockPath()); waited += 20) sleepMs(20);
        if (lockHeld(idleLockPath())) return false;
    }
    if (!on) return true;
    // Apart from this process: its own session, and no child of ours to reap.
    const pid_t first = fork();
    if (first < 0) return false;
    if (first == 0) {
        if (fork() != 0) _exit(0);
        setsid();
        const int nothing = open("/dev/null", O_RDWR | O_CLOEXEC);
        if (nothing >= 0) {
            dup2(nothing, 0);
            dup2(nothing, 1);
            dup2(nothing, 2);
        }
        const char* arguments[] = {program.c_str(), "--idle", minutes.c_str(), nullptr};
        execvp(program.c_str(), const_cast<char* const*>(arguments));
        _exit(127);
    }
    int status = 0;
    while (waitpid(first, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

}  // namespace vellora::linux_platform
