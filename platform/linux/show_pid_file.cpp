#include "platform/linux/show_pid_file.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/picture_folders.h"

namespace vellora::linux_platform {
namespace {

// The record this process wrote, for forgetRunningShow.
std::string recordedPath;

std::string runtimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || runtime[0] != '/') return {};
    return runtime;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A display's name as one part of a file name: letters, digits and ".:_+,=@-" as
// they are, every other byte as %XX; a name too long for that by its hash.
std::string fileNamePart(std::string_view name) {
    std::string part;
    for (const unsigned char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            std::string_view(".:_+,=@-").find(static_cast<char>(c)) != std::string_view::npos) {
            part += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            part += escaped;
        }
    }
    if (part.size() <= 200) return part;
    char hashed[24];
    std::snprintf(hashed, sizeof hashed, "%%%016llx", static_cast<unsigned long long>(hashBytes(name)));
    return hashed;
}

std::string executableOf(pid_t pid) {
    char target[4096];
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

std::optional<pid_t> recordedPid(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    char text[16] = {};
    const ssize_t length = read(fd, text, sizeof text);
    close(fd);
    if (length <= 0) return std::nullopt;
    return parseProcessId(std::string_view(text, static_cast<std::size_t>(length)));
}

bool isLive(pid_t pid) { return kill(pid, 0) == 0; }

// Writes the record, or tells why it could not be written.
std::string writeRecord(const std::string& path) {
    const std::string temporary = path + "." + std::to_string(getpid());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return std::strerror(errno);
    const std::string text = std::to_string(getpid()) + "\n";
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    int error = written ? 0 : errno ? errno : ENOSPC;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (error == 0) return {};
    unlink(temporary.c_str());
    return std::strerror(error);
}

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

std::string waylandRecordName(std::string_view display, std::string_view runtimeFolder) {
    while (runtimeFolder.size() > 1 && runtimeFolder.back() == '/') runtimeFolder.remove_suffix(1);
    // The socket's path names the same display as its name in the runtime folder.
    if (!runtimeFolder.empty() && display.size() > runtimeFolder.size() + 1 &&
        display.substr(0, runtimeFolder.size()) == runtimeFolder && display[runtimeFolder.size()] == '/' &&
        display.find('/', runtimeFolder.size() + 1) == std::string_view::npos)
        display.remove_prefix(runtimeFolder.size() + 1);
    return "vellora.wayland." + fileNamePart(display) + ".pid";
}

std::string x11RecordName(std::string_view display) {
    // HOST:NUMBER.SCREEN: one X server is one session, whichever of its screens.
    const std::size_t colon = display.rfind(':');
    if (colon == std::string_view::npos) return "vellora.x11." + fileNamePart(display) + ".pid";
    std::string_view host = display.substr(0, colon), number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (host == "unix") host = {};
    return "vellora.x11." + fileNamePart(std::string(host) + ":" + std::string(number)) + ".pid";
}

std::string waylandRecordName() {
    const std::string display = environment("WAYLAND_DISPLAY");
    return display.empty() ? std::string() : waylandRecordName(display, runtimeFolder());
}

std::string x11RecordName() {
    const std::string display = environment("DISPLAY");
    return display.empty() ? std::string() : x11RecordName(display);
}

bool recordRunningShow(const std::string& recordName) {
    const std::string folder = runtimeFolder();
    const std::string why = folder.empty() ? "XDG_RUNTIME_DIR names no folder" : writeRecord(folder + "/" + recordName);
    if (!why.empty()) {
        std::fprintf(stderr,
                     "vellora: this show cannot be recorded in the runtime folder (%s): vellora --stop will not find it\n",
                     why.c_str());
        return false;
    }
    recordedPath = folder + "/" + recordName;
    return true;
}

void forgetRunningShow() {
    if (!recordedPath.empty() && recordedPid(recordedPath) == getpid()) unlink(recordedPath.c_str());
    recordedPath.clear();
}

std::optional<pid_t> runningShow(const std::string& recordName) {
    const std::string folder = runtimeFolder();
    if (folder.empty() || recordName.empty()) return std::nullopt;
    const std::optional<pid_t> pid = recordedPid(folder + "/" + recordName);
    if (!pid || *pid == getpid() || !isLive(*pid)) return std::nullopt;
    const std::string ours = executableOf(getpid());
    if (ours.empty() || executableOf(*pid) != ours) return std::nullopt;
    return pid;
}

int stopRunningShows() {
    const std::string folder = runtimeFolder();
    struct stat info {};
    if (folder.empty() || stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        access(folder.c_str(), W_OK | X_OK) != 0) {
        std::fputs("vellora: --stop: XDG_RUNTIME_DIR names no folder a show could be recorded in\n", stderr);
        return 1;
    }
    const std::string sessions[] = {waylandRecordName(), x11RecordName()};
    if (sessions[0].empty() && sessions[1].empty()) {
        std::fputs("vellora: --stop: neither WAYLAND_DISPLAY nor DISPLAY names the session\n", stderr);
        return 1;
    }
    std::vector<pid_t> asked;
    for (const std::string& session : sessions) {
        const std::optional<pid_t> pid = runningShow(session);
        if (pid && kill(*pid, SIGTERM) == 0) asked.push_back(*pid);
    }
    constexpr timespec step{0, 10'000'000};
    for (int waited = 0; waited < 100; ++waited) {
        bool anyLive = false;
        for (const pid_t pid : asked) anyLive = anyLive || isLive(pid);
        if (!anyLive) break;
        nanosleep(&step, nullptr);
    }
    return 0;
}

}  // namespace vellora::linux_platform
