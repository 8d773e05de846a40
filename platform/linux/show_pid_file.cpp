#include "platform/linux/show_pid_file.h"

#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vellora::linux_platform {
namespace {

std::string pidFilePath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || runtime[0] != '/') return {};
    return std::string(runtime) + "/vellora.pid";
}

std::string executableOf(pid_t pid) {
    char target[4096];
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

std::optional<pid_t> recordedPid() {
    const std::string path = pidFilePath();
    if (path.empty()) return std::nullopt;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    char text[16] = {};
    const ssize_t length = read(fd, text, sizeof text);
    close(fd);
    if (length <= 0) return std::nullopt;
    return parseProcessId(std::string_view(text, static_cast<std::size_t>(length)));
}

bool isLive(pid_t pid) { return kill(pid, 0) == 0; }

}  // namespace

std::optional<pid_t> parseProcessId(std::string_view text) {
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    if (text.empty() || text.size() > 8) return std::nullopt;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value <= 1) return std::nullopt;
    return static_cast<pid_t>(value);
}

void recordRunningShow() {
    const std::string path = pidFilePath();
    if (path.empty()) return;
    const std::string temporary = path + "." + std::to_string(getpid());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return;
    const std::string text = std::to_string(getpid()) + "\n";
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (close(fd) != 0 || !written || rename(temporary.c_str(), path.c_str()) != 0) unlink(temporary.c_str());
}

void forgetRunningShow() {
    if (recordedPid() == getpid()) unlink(pidFilePath().c_str());
}

std::optional<pid_t> runningShow() {
    const std::optional<pid_t> pid = recordedPid();
    if (!pid || *pid == getpid() || !isLive(*pid)) return std::nullopt;
    const std::string ours = executableOf(getpid());
    if (ours.empty() || executableOf(*pid) != ours) return std::nullopt;
    return pid;
}

int stopRunningShow() {
    const std::optional<pid_t> pid = runningShow();
    if (!pid) return 0;
    if (kill(*pid, SIGTERM) != 0) return 0;
    constexpr timespec step{0, 10'000'000};
    for (int waited = 0; waited < 100 && isLive(*pid); ++waited) nanosleep(&step, nullptr);
    return 0;
}

}  // namespace vellora::linux_platform
