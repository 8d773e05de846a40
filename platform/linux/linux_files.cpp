// Files: the settings folder that stands in for the Windows directory, and atomic saving.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "platform/linux/linux_internal.h"
#include "platform/linux/user_files.h"

namespace vellora::linux_platform {
namespace {

class FdInput : public InputFile {
public:
    explicit FdInput(int fd) : fd_(fd) {}
    ~FdInput() override { ::close(fd_); }
    std::size_t read(char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t got = ::read(fd_, buffer, size);
            if (got >= 0) return static_cast<std::size_t>(got);
            if (errno != EINTR) return 0;
        }
    }

private:
    int fd_;
};

class FdOutput : public OutputFile {
public:
    explicit FdOutput(int fd) : fd_(fd) {}
    ~FdOutput() override {
        if (fd_ >= 0) ::close(fd_);
    }
    bool write(const char* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t put = ::write(fd_, data, size);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false;
            data += put;
            size -= static_cast<std::size_t>(put);
        }
        return true;
    }
    bool flush() override { return true; }  // nothing is buffered in the process
    bool close() override {
        // The data must be on the disk before the file can take the old one's place.
        const bool synced = fsync(fd_) == 0;
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        return synced && closed;
    }

private:
    int fd_;
};

}  // namespace

// The core joins the Windows directory and a file name with a backslash; in the
// stand-in folder that separator is a slash. Every other path is used as written.
std::string localPath(const std::string& path) {
    const std::string folder = configDirectory();
    if (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '\\') {
        std::string local = path;
        local[folder.size()] = '/';
        return local;
    }
    return path;
}

namespace {

std::optional<std::string> settingsOfThisRun;

class LinuxFiles : public Files {
public:
    std::unique_ptr<InputFile> openForReading(const std::string& path) override {
        if (settingsOfThisRun && path == configDirectory() + "\\Tessaview.ini")
            return std::make_unique<MemoryInputFile>(*settingsOfThisRun);
        // Not waiting, so that a FIFO or a device in the place of the settings or a list cannot hold the show up.
        const int fd = open(localPath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) return nullptr;
        struct stat info {};
        if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<FdInput>(fd);
    }
    std::unique_ptr<OutputFile> createForWriting(const std::string& path) override {
        const std::string local = localPath(path);
        if (local != path) makeFolders(configDirectory());
        const int fd = open(local.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return nullptr;
        return std::make_unique<FdOutput>(fd);
    }
    // The settings file is the user's: a link to it stays a link, and it keeps its mode.
    bool replaceFile(const std::string& from, const std::string& to) override {
        return moveIntoPlace(localPath(from), localPath(to));
    }
    bool removeFile(const std::string& path) override { return unlink(localPath(path).c_str()) == 0; }
    std::string windowsDirectory() override { return configDirectory(); }
    std::size_t longestPathBytes() override { return PATH_MAX; }
};

}  // namespace

std::string configHome() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    return config && config[0] == '/' ? std::string(config) : homeFolder() + "/.config";
}

std::string configDirectory() { return configHome() + "/vellora"; }

void useSettingsForThisRun(std::string fileBytes) { settingsOfThisRun = std::move(fileBytes); }

Files& files() {
    static LinuxFiles files;
    return files;
}

}  // namespace vellora::linux_platform
