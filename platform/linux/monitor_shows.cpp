// The per-monitor show processes and their common end.
#include "platform/linux/monitor_shows.h"

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

#include "platform/linux/child_process.h"
#include "platform/linux/linux_internal.h"

namespace vellora::linux_platform {
namespace {

// Process-wide: the signal handler reads it, so it is plain data.
pid_t otherShows[maxMonitors] = {};
volatile sig_atomic_t otherShowCount = 0;

// One of the others ending (a key on it, a crash, its monitor gone) ends them all.
void onChildEnded(int) {
    const int savedErrno = errno;
    for (sig_atomic_t i = 0; i < otherShowCount; ++i) {
        int status = 0;
        if (otherShows[i] > 0 && waitpid(otherShows[i], &status, WNOHANG) == otherShows[i]) {
            otherShows[i] = 0;
            requestStop();
        }
    }
    errno = savedErrno;
}

std::optional<std::int64_t> parseField(const char*& text, std::int64_t low, std::int64_t high) {
    bool negative = *text == '-';
    if (negative) ++text;
    if (*text < '0' || *text > '9') return std::nullopt;
    std::int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > high + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value < low || value > high) return std::nullopt;
    return value;
}

}  // namespace

std::string formatMonitorArea(const MonitorArea& a) {
    char text[96];
    std::snprintf(text, sizeof text, "%d,%d,%d,%d,%d,%d", a.left, a.top, a.width, a.height, a.widthMm, a.heightMm);
    if (a.output == 0) return text;
    return std::string(text) + "," + std::to_string(a.output);
}

std::optional<MonitorArea> parseMonitorArea(const char* text) {
    constexpr std::int64_t limit = 65535;
    const std::int64_t lows[7] = {-limit, -limit, 1, 1, 0, 0, 1};
    const std::int64_t highs[7] = {limit, limit, limit, limit, limit, limit, 0xFFFFFFFF};
    std::int64_t fields[7] = {};
    for (int i = 0; i < 7; ++i) {
        const std::optional<std::int64_t> value = parseField(text, lows[i], highs[i]);
        if (!value) return std::nullopt;
        fields[i] = *value;
        if (*text == '\0' && i >= 5) break;
        if (*text != ',' || i == 6) return std::nullopt;
        ++text;
    }
    const auto field = [&fields](int i) { return static_cast<std::int32_t>(fields[i]); };
    return MonitorArea{field(0), field(1), field(2), field(3), field(4), field(5), static_cast<std::uint32_t>(fields[6])};
}

bool startMonitorShows(const std::vector<std::string>& arguments, const std::vector<MonitorArea>& areas) {
    if (areas.size() > maxMonitors) return false;
    // The handler must know every child before it can see one end.
    sigset_t childSignals, previous;
    sigemptyset(&childSignals);
    sigaddset(&childSignals, SIGCHLD);
    sigprocmask(SIG_BLOCK, &childSignals, &previous);
    struct sigaction action {};
    action.sa_handler = onChildEnded;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_NOCLDSTOP | SA_RESTART;
    sigaction(SIGCHLD, &action, nullptr);
    bool started = true;
    for (const MonitorArea& area : areas) {
        std::vector<std::string> command = arguments;
        command.push_back(monitorAreaSwitch);
        command.push_back(formatMonitorArea(area));
        const pid_t pid = startProgram(command);
        if (pid < 0) {
            started = false;
            break;
        }
        otherShows[otherShowCount] = pid;
        otherShowCount = otherShowCount + 1;
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (!started) endMonitorShows();
    return started;
}

void endMonitorShows() {
    if (otherShowCount == 0) return;
    // From here the ends are ours to collect, not a reason to stop.
    signal(SIGCHLD, SIG_DFL);
    for (sig_atomic_t i = 0; i < otherShowCount; ++i)
        if (otherShows[i] > 0) kill(otherShows[i], SIGTERM);
    for (sig_atomic_t i = 0; i < otherShowCount; ++i) {
        endProgram(otherShows[i], 2000);
        otherShows[i] = 0;
    }
    otherShowCount = 0;
}

}  // namespace vellora::linux_platform
