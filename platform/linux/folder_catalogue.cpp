#include "platform/linux/folder_catalogue.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <unordered_map>
#include <utility>

#include "slideshow/text_input.h"

namespace vellora::linux_platform {
namespace {

// Far beyond what a million entries need, and what a hostile file may make us read.
constexpr std::size_t maxCacheFileBytes = 256u << 20;
constexpr std::size_t maxShuffleFileBytes = 16u << 20;
constexpr std::size_t maxSettingsFileBytes = 4u << 20;

std::string joined(const std::string& folder, const std::string& name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    const passwd* user = getpwuid(getuid());
    return user ? user->pw_dir : "/";
}

// An XDG base folder: the variable when it holds an absolute path, else the default under home.
std::string xdgFolder(const char* variable, const char* underHome) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return value;
    return homeDirectory() + underHome;
}

void makeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        mkdir(folder.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos) break;
    }
}

std::string hex(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::optional<std::string> readFileUpTo(const std::string& path, std::size_t limit) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    std::optional<std::string> bytes;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) <= limit) {
        bytes.emplace(static_cast<std::size_t>(info.st_size), '\0');
        std::size_t got = 0;
        while (got < bytes->size()) {
            const ssize_t n = read(fd, bytes->data() + got, bytes->size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        bytes->resize(got);
    }
    close(fd);
    return bytes;
}

std::uint64_t freshSeed() {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
}

class Walk {
public:
    Walk(FolderCache* previous, const std::function<bool(std::string)>& found, const WalkHooks& hooks)
        : found_(found), hooks_(hooks) {
        if (previous)
            for (CachedFolder& folder : previous->folders) previous_.emplace(folder.path, &folder);
    }

    void visit(const std::string& path, const std::string& relative, int depth) {
        if (stopped_) return;
        if (hooks_.beforeFolder) hooks_.beforeFolder(path);
        // A folder the cache holds unchanged is never opened: one stat is all it costs.
        struct stat info {};
        if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || !seen_.insert({info.st_dev, info.st_ino}).second ||
            result.folders.size() >= maxFolderEntries)
            return;
        CachedFolder folder{relative, info.st_mtim.tv_sec, info.st_mtim.tv_nsec, {}, {}};
        const auto old = previous_.find(relative);
        if (old != previous_.end() && old->second->modifiedSeconds == folder.modifiedSeconds &&
            old->second->modifiedNanoseconds == folder.modifiedNanoseconds) {
            folder.pictures = std::move(old->second->pictures);
            folder.folders = std::move(old->second->folders);
        } else if (!list(path, folder)) {
            return;
        }
        // Kept by position: the visits below add to the list and may move it.
        const std::size_t at = result.folders.size();
        result.folders.push_back(std::move(folder));
        for (const std::string& name : result.folders[at].pictures) {
            if (!found_(joined(path, name))) {
                stopped_ = true;
                return;
            }
        }
        if (depth >= maxFolderDepth) return;
        for (std::size_t i = 0; i < result.folders[at].folders.size(); ++i) {
            const std::string name = result.folders[at].folders[i];
            visit(joined(path, name), relative.empty() ? name : relative + "/" + name, depth + 1);
        }
    }

    FolderCache result;

private:
    // False when the folder cannot be read.
    static bool list(const std::string& path, CachedFolder& folder) {
        DIR* listing = opendir(path.c_str());
        if (!listing) return false;
        while (const dirent* item = readdir(listing)) {
            const std::string_view name = item->d_name;
            if (isSkippedName(name) || name.size() > maxCachedPathBytes) continue;
            unsigned char type = item->d_type;
            if (type == DT_LNK || type == DT_UNKNOWN) {
                struct stat target {};
                if (fstatat(dirfd(listing), item->d_name, &target, 0) != 0) continue;
                type = S_ISDIR(target.st_mode) ? DT_DIR : S_ISREG(target.st_mode) ? DT_REG : DT_UNKNOWN;
            }
            if (type == DT_DIR) folder.folders.emplace_back(name);
            else if (type == DT_REG && hasPictureExtension(name)) folder.pictures.emplace_back(name);
        }
        closedir(listing);
        std::sort(folder.pictures.begin(), folder.pictures.end());
        std::sort(folder.folders.begin(), folder.folders.end());
        return true;
    }

    std::unordered_map<std::string_view, CachedFolder*> previous_;
    std::set<std::pair<dev_t, ino_t>> seen_;
    const std::function<bool(std::string)>& found_;
    const WalkHooks& hooks_;
    bool stopped_ = false;
};

bool isFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

FolderCache walkFolder(const std::string& root, FolderCache* previous,
                       const std::function<bool(std::string path)>& found, const WalkHooks& hooks) {
    if (previous && previous->root != root) previous = nullptr;
    Walk walk(previous, found, hooks);
    walk.result.root = root;
    walk.visit(root, "", 0);
    return std::move(walk.result);
}

std::string cacheDirectory() { return xdgFolder("XDG_CACHE_HOME", "/.cache") + "/vellora"; }
std::string stateDirectory() { return xdgFolder("XDG_STATE_HOME", "/.local/state") + "/vellora"; }

std::string folderCachePath(const std::string& root) { return cacheDirectory() + "/folder-" + hex(hashBytes(root)); }

std::optional<FolderCache> loadFolderCache(const std::string& root) {
    const std::optional<std::string> bytes = readFileUpTo(folderCachePath(root), maxCacheFileBytes);
    if (!bytes) return std::nullopt;
    std::optional<FolderCache> cache = decodeFolderCache(*bytes);
    if (!cache || cache->root != root) return std::nullopt;
    return cache;
}

bool saveFolderCache(const FolderCache& cache) {
    makeFolders(cacheDirectory());
    return writeFileAtomically(folderCachePath(cache.root), encodeFolderCache(cache));
}

bool writeFileAtomically(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".new-" + std::to_string(getpid());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = true;
    for (std::size_t put = 0; ok && put < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + put, bytes.size() - put);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) put += static_cast<std::size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok && rename(temporary.c_str(), path.c_str()) == 0) {
        // The new name must reach the disk too, or a crash could bring back the old file.
        const std::string folder = path.substr(0, path.rfind('/') + 1);
        if (const int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
            fsync(dir);
            close(dir);
        }
        return true;
    }
    unlink(temporary.c_str());
    return false;
}

std::int32_t takeSharedShuffle(const std::string& source, const std::vector<std::uint64_t>& known,
                               ShuffleState& fallback) {
    const std::string folder = stateDirectory();
    makeFolders(folder);
    const std::string path = folder + "/shuffle-" + hex(hashBytes(source));
    const int lock = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0) return takeNextInShuffle(fallback, known, freshSeed());
    while (flock(lock, LOCK_EX) != 0 && errno == EINTR) {
    }
    ShuffleState state;
    const std::optional<std::string> bytes = readFileUpTo(path, maxShuffleFileBytes);
    if (std::optional<ShuffleState> stored = bytes ? decodeShuffleState(*bytes) : std::nullopt) state = *stored;
    else state.seed = freshSeed();
    const std::int32_t next = takeNextInShuffle(state, known, freshSeed());
    writeFileAtomically(path, encodeShuffleState(state));
    fallback = state;
    close(lock);  // and with it the lock
    return next;
}

bool holdsPicture(const std::string& folder) {
    if (!isFolder(folder)) return false;
    std::optional<FolderCache> cache = loadFolderCache(folder);
    bool found = false;
    walkFolder(folder, cache ? &*cache : nullptr, [&](std::string) { return !(found = true); });
    return found;
}

std::optional<std::string> defaultPictureFolder() {
    const std::string home = homeDirectory();
    std::vector<std::string> candidates;
    if (const auto text = readFileUpTo(home + "/.xscreensaver", maxSettingsFileBytes))
        if (auto folder = xscreensaverImageDirectory(*text, home)) candidates.push_back(*folder);
    if (const auto text = readFileUpTo(xdgFolder("XDG_CONFIG_HOME", "/.config") + "/user-dirs.dirs", maxSettingsFileBytes))
        if (auto folder = xdgPicturesDirectory(*text, home)) candidates.push_back(*folder);
    candidates.push_back(home + "/Pictures");
    for (const std::string& folder : candidates)
        if (holdsPicture(folder)) return folder;
    return std::nullopt;
}

FolderCatalogue::~FolderCatalogue() {
    stop_ = true;
    if (walker_.joinable()) walker_.join();
}

void FolderCatalogue::add(std::string path) {
    std::lock_guard<std::mutex> lock(mutex_);
    hashes_.push_back(hashBytes(path));
    paths_.push_back(std::move(path));
    changed_.notify_all();
}

void FolderCatalogue::takeList(InputFile& list) {
    TextInput in(list);
    std::string line;
    while (paths_.size() < maxFolderEntries && in.readLine(line)) add(line);
}

void FolderCatalogue::walk(std::string root) {
    std::optional<FolderCache> previous = loadFolderCache(root);
    const FolderCache found = walkFolder(root, previous ? &*previous : nullptr, [this](std::string path) {
        if (stop_ || count() >= static_cast<std::int32_t>(maxFolderEntries)) return false;
        add(std::move(path));
        return true;
    });
    // Every folder in it was listed in full, so even a walk cut short leaves a cache
    // the next start can build on.
    saveFolderCache(found);
    std::lock_guard<std::mutex> lock(mutex_);
    walking_ = false;
    changed_.notify_all();
}

bool FolderCatalogue::takes(const std::string& source) {
    if (source_) return *source_ == source;
    if (declined_ == source) return false;
    if (source == "-" && standardInput_) {
        MemoryInputFile list(*standardInput_);
        takeList(list);
    } else if (isFolder(source)) {
        std::unique_lock<std::mutex> lock(mutex_);
        walking_ = true;
        walker_ = std::thread(&FolderCatalogue::walk, this, source);
        changed_.wait(lock, [this] { return !paths_.empty() || !walking_; });
    } else if (std::unique_ptr<InputFile> list; shuffle_ && (list = platform().files->openForReading(source))) {
        // A shuffled list is read once; the pictures of a list file are not a folder's to walk.
        takeList(*list);
    } else {
        declined_ = source;
        return false;
    }
    source_ = source;
    return true;
}

std::int32_t FolderCatalogue::count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::int32_t>(paths_.size());
}

std::string FolderCatalogue::entry(std::int32_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || static_cast<std::size_t>(index) >= paths_.size()) return {};
    return paths_[static_cast<std::size_t>(index)];
}

std::int32_t FolderCatalogue::chooseNext() {
    if (!shuffle_ || !source_) return -1;
    std::lock_guard<std::mutex> lock(mutex_);
    return takeSharedShuffle(*source_, hashes_, localShuffle_);
}

void FolderCatalogue::waitForWalk() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !walking_; });
}

FolderCatalogue& folderCatalogue() {
    static FolderCatalogue catalogue;
    return catalogue;
}

}  // namespace vellora::linux_platform
