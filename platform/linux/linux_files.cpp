// Files, the clock and the decoded-picture loader.
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/linux/decode.h"
#include "platform/linux/linux_internal.h"
#include "platform/pixel_drawing.h"

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

void makeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1); ; slash = folder.find('/', slash + 1)) {
        mkdir(folder.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos) break;
    }
}

class LinuxFiles : public Files {
public:
    std::unique_ptr<InputFile> openForReading(const std::string& path) override {
        const int fd = open(localPath(path).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return nullptr;
        return std::make_unique<FdInput>(fd);
    }
    std::unique_ptr<OutputFile> createForWriting(const std::string& path) override {
        const std::string local = localPath(path);
        if (local != path) makeFolders(configDirectory());
        const int fd = open(local.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return nullptr;
        return std::make_unique<FdOutput>(fd);
    }
    bool replaceFile(const std::string& from, const std::string& to) override {
        return rename(localPath(from).c_str(), localPath(to).c_str()) == 0;
    }
    bool removeFile(const std::string& path) override { return unlink(localPath(path).c_str()) == 0; }
    std::string windowsDirectory() override { return configDirectory(); }
};

class LinuxClock : public Clock {
public:
    LinuxClock() {
        // The default slack of 50 microseconds adds up over the thousands of short pauses of a transition.
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    }
    void sleep(std::uint32_t milliseconds) override {
        if (stopRequested()) return;
        if (milliseconds == 0) {
            sched_yield();
            return;
        }
        // Each pause ends at an absolute deadline. In a run of pauses (one per step of a
        // transition) the next deadline counts from the previous one, so the moments
        // the system wakes us late do not add up; after a longer gap it counts from now.
        const std::uint64_t now = monotonicNs();
        const std::uint64_t base = lastDeadline_ != 0 && now <= lastDeadline_ + catchUpNs ? lastDeadline_ : now;
        lastDeadline_ = base + static_cast<std::uint64_t>(milliseconds) * 1000000u;
        const timespec deadline{static_cast<time_t>(lastDeadline_ / 1000000000u),
                                static_cast<long>(lastDeadline_ % 1000000000u)};
        // A stop signal interrupts the wait; any other interruption resumes it.
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR)
            if (stopRequested()) return;
    }
    std::int64_t calendarSeconds() override { return static_cast<std::int64_t>(time(nullptr)); }
    std::uint32_t tickCount() override {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                          static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
    }

private:
    // How late a pause may start and still count as the next of a run.
    static constexpr std::uint64_t catchUpNs = 2000000;
    static std::uint64_t monotonicNs() {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u + static_cast<std::uint64_t>(now.tv_nsec);
    }
    std::uint64_t lastDeadline_ = 0;
};

// Reads a whole regular file of at most maxPictureFileBytes.
bool readWholeFile(const std::string& path, std::vector<unsigned char>& bytes) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
              static_cast<std::uint64_t>(info.st_size) <= maxPictureFileBytes;
    if (ok) {
        bytes.resize(static_cast<std::size_t>(info.st_size));
        std::size_t have = 0;
        while (have < bytes.size()) {
            const ssize_t got = read(fd, bytes.data() + have, bytes.size() - have);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            have += static_cast<std::size_t>(got);
        }
        // A file that shrank while being read is not whole.
        ok = have == bytes.size();
    }
    close(fd);
    return ok;
}

// One picture lives at a time, so each is decoded into the storage of the one before
// instead of fresh memory that must be mapped and cleared.
class LinuxPictures : public PictureLoader {
public:
    std::unique_ptr<Picture> loadPictureFile(const std::string& path) override {
        std::vector<unsigned char> bytes;
        if (!readWholeFile(path, bytes)) return nullptr;
        const bool decoded = decodePictureInto(bytes.data(), bytes.size(), spare_);
        bytes = {};
        if (!decoded || spare_.width <= 0 || spare_.height <= 0 ||
            spare_.pixels.size() != static_cast<std::size_t>(spare_.width) * static_cast<std::size_t>(spare_.height))
            return nullptr;
        return std::make_unique<PixelPicture>(spare_.width, spare_.height, std::move(spare_.pixels), &spare_.pixels);
    }

private:
    DecodedImage spare_;
};

}  // namespace

PixelPicture::PixelPicture(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels,
                           std::vector<std::uint32_t>* storageHome)
    : width_(width),
      height_(height),
      widthHimetric_(himetricFromPixels(width)),
      heightHimetric_(himetricFromPixels(height)),
      pixels_(std::move(pixels)),
      storageHome_(storageHome) {}

PixelPicture::~PixelPicture() {
    if (storageHome_) *storageHome_ = std::move(pixels_);
}

std::string configDirectory() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::string(config) + "/vellora";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config/vellora";
}

PictureLoader& pictureLoader() {
    static LinuxPictures pictures;
    return pictures;
}

Files& files() {
    static LinuxFiles files;
    return files;
}

Clock& clock() {
    static LinuxClock clock;
    return clock;
}

}  // namespace vellora::linux_platform
