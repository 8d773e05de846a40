#include "platform/linux/user_files.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vellora::linux_platform {
namespace {

// Linux gives up on a path after this many links, and so do we.
constexpr int maxLinksFollowed = 40;

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool writeAll(int fd, const std::string& bytes) {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t put = ::write(fd, data, left);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        data += put;
        left -= static_cast<std::size_t>(put);
    }
    return true;
}

// Makes a rename in the folder durable. Some file systems cannot flush a folder;
// the rename has happened all the same, so that is no failure of the replace.
void flushFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    ::close(fd);
}

void takeOwner(int fd, std::optional<std::pair<uid_t, gid_t>> owner) {
    // Only the superuser can give a file away; for anyone else the new file is
    // theirs, as the old one was when they could replace it.
    if (!owner || (owner->first == geteuid() && owner->second == getegid())) return;
    if (fchown(fd, owner->first, owner->second) != 0) return;
}

}  // namespace

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    const passwd* user = getpwuid(getuid());
    return user && user->pw_dir ? user->pw_dir : "";
}

std::optional<std::string> linkTarget(const std::string& path) {
    std::string at = path;
    for (int hop = 0; hop < maxLinksFollowed; ++hop) {
        struct stat info {};
        if (lstat(at.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return at;
        char target[PATH_MAX];
        const ssize_t length = readlink(at.c_str(), target, sizeof target);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) return std::nullopt;
        const std::string next(target, static_cast<std::size_t>(length));
        at = next[0] == '/' ? next : folderOf(at) + "/" + next;
    }
    return std::nullopt;
}

UserFile readUserFile(const std::string& path, std::size_t maxBytes) {
    UserFile file;
    file.state = UserFile::State::unreadable;
    const std::optional<std::string> target = linkTarget(path);
    if (!target) {
        file.problem = std::strerror(ELOOP);
        return file;
    }
    // Not blocking, so a FIFO in the file's place cannot hold the program up.
    const int fd = ::open(target->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) file.state = UserFile::State::missing;
        file.problem = std::strerror(errno);
        return file;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        file.problem = "not a regular file";
    } else if (static_cast<std::uint64_t>(info.st_size) > maxBytes) {
        file.problem = "larger than expected";
    } else {
        file.bytes.resize(static_cast<std::size_t>(info.st_size));
        std::size_t got = 0;
        for (;;) {
            if (got == file.bytes.size()) file.bytes.resize(got + 4096);  // it may have grown since
            const ssize_t n = ::read(fd, file.bytes.data() + got, file.bytes.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                file.problem = std::strerror(errno);
                break;
            }
            if (n == 0) {
                file.bytes.resize(got);
                file.state = UserFile::State::read;
                break;
            }
            got += static_cast<std::size_t>(n);
            if (got > maxBytes) {
                file.problem = "larger than expected";
                break;
            }
        }
        file.mode = info.st_mode & 07777;
        file.owner = info.st_uid;
        file.group = info.st_gid;
    }
    ::close(fd);
    if (file.state != UserFile::State::read) file.bytes.clear();
    return file;
}

bool writeUserFile(const std::string& path, const std::string& bytes, mode_t mode,
                   std::optional<std::pair<uid_t, gid_t>> owner) {
    const std::optional<std::string> target = linkTarget(path);
    if (!target) return false;
    std::string temporary = *target + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;
    takeOwner(fd, owner);
    // After the owner: changing the owner may clear the set-id bits.
    const bool written = fchmod(fd, mode) == 0 && writeAll(fd, bytes) && fsync(fd) == 0;
    if (::close(fd) == 0 && written && std::rename(temporary.c_str(), target->c_str()) == 0) {
        flushFolder(folderOf(*target));
        return true;
    }
    unlink(temporary.c_str());
    return false;
}

bool moveIntoPlace(const std::string& from, const std::string& to) {
    const std::optional<std::string> target = linkTarget(to);
    if (!target) return false;
    struct stat old {};
    const bool replacing = stat(target->c_str(), &old) == 0 && S_ISREG(old.st_mode);
    if (replacing) {
        const int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) return false;
        takeOwner(fd, std::pair{old.st_uid, old.st_gid});
        const bool moded = fchmod(fd, old.st_mode & 07777) == 0;
        ::close(fd);
        if (!moded) return false;
    }
    if (std::rename(from.c_str(), target->c_str()) == 0) {
        flushFolder(folderOf(*target));
        return true;
    }
    // A link into another file system: the bytes are copied to a new file there.
    if (errno != EXDEV) return false;
    constexpr std::size_t largestMoved = 1u << 20;
    const UserFile finished = readUserFile(from, largestMoved);
    if (finished.state != UserFile::State::read ||
        !writeUserFile(*target, finished.bytes, replacing ? old.st_mode & 07777 : finished.mode,
                       std::pair{replacing ? old.st_uid : finished.owner, replacing ? old.st_gid : finished.group}))
        return false;
    unlink(from.c_str());
    return true;
}

void makeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        mkdir(folder.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos) break;
    }
}

mode_t newFileMode() {
    const mode_t mask = umask(022);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace vellora::linux_platform
