#include "platform/linux/folder_catalogue.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <unordered_map>
#include <utility>

#include "platform/linux/user_files.h"
#include "slideshow/text_input.h"

namespace vellora::linux_platform {
namespace {

// Far beyond what a million entries need, and what a hostile file may make us read.
constexpr std::size_t maxCacheFileBytes = 256u << 20;
constexpr std::size_t maxShuffleFileBytes = 16u << 20;
constexpr std::size_t maxSettingsFileBytes = 4u << 20;
// Names of one listing between two looks at the stop.
constexpr std::size_t namesBetweenStopChecks = 256;
// FAT keeps modification times in steps of two seconds, the coarsest of the file
// systems pictures are kept on; a change within one step may leave the time as it was.
constexpr std::int64_t timeGranularityNs = 2'000'000'000;

bool neverStopping() { return false; }
bool (*stopCheck)() = neverStopping;

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

std::string hex(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// A regular file read whole, without waiting on anything else in its place.
std::optional<std::string> readFileUpTo(const std::string& path, std::size_t limit) {
    UserFile file = readUserFile(path, limit);
    if (file.state != UserFile::State::read) return std::nullopt;
    return std::move(file.bytes);
}

std::uint64_t freshSeed() {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
}

// Differs from one start to the next, and between the shows of one start.
std::uint64_t clockSeed() {
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return (static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<std::uint64_t>(now.tv_nsec)) ^
           (static_cast<std::uint64_t>(getpid()) << 40);
}

// Whether a change to the folder after its listing could have left its modification
// time as it is: the listing ended within one step of the time's granularity.
bool listedTooSoon(const struct stat& info) {
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    if (info.st_mtim.tv_sec < now.tv_sec - 3) return false;
    // A time ahead of ours (another machine's clock) settles only once ours has passed it.
    if (info.st_mtim.tv_sec > now.tv_sec + 3) return true;
    const std::int64_t since = (static_cast<std::int64_t>(now.tv_sec) - info.st_mtim.tv_sec) * 1'000'000'000 +
                               (now.tv_nsec - info.st_mtim.tv_nsec);
    return since < timeGranularityNs;
}

class Walk {
public:
    Walk(FolderCache* previous, const std::function<bool(std::string)>& found, const WalkHooks& hooks)
        : found_(found), hooks_(hooks), hadPrevious_(previous != nullptr),
          previousCount_(previous ? previous->folders.size() : 0) {
        if (previous)
            for (CachedFolder& folder : previous->folders) previous_.emplace(folder.path, &folder);
    }

    void visit(const std::string& path, const std::string& relative, int depth) {
        if (ended() || relative.size() > maxCachedPathBytes) return;
        if (hooks_.beforeFolder) hooks_.beforeFolder(path);
        // A folder the cache holds unchanged is never opened: one stat is all it costs.
        struct stat info {};
        if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            !seen_.insert({info.st_dev, info.st_ino}).second)
            return;
        CachedFolder folder{relative, info.st_mtim.tv_sec, info.st_mtim.tv_nsec, {}, {}};
        const auto old = previous_.find(relative);
        const bool cached = old != previous_.end() && old->second->modifiedSeconds == folder.modifiedSeconds &&
                            old->second->modifiedNanoseconds == folder.modifiedNanoseconds;
        if (cached) {
            folder.pictures = std::move(old->second->pictures);
            folder.folders = std::move(old->second->folders);
        } else if (!list(path, folder)) {
            return;
        } else if (listedTooSoon(info)) {
            folder.modifiedNanoseconds = unsettledNanoseconds;
        }
        // The cache holds no more than its reader takes, and the walk ends there.
        if (!fits(folder)) {
            offer(path, folder, maxFolderEntries - storedPictures_);
            ended_ = true;
            return;
        }
        storedPictures_ += folder.pictures.size();
        storedFolderNames_ += folder.folders.size();
        (cached ? reused_ : listed_) += 1;
        // Kept by position: the visits below add to the list and may move it.
        const std::size_t at = result.cache.folders.size();
        result.cache.folders.push_back(std::move(folder));
        if (!offer(path, result.cache.folders[at], maxFolderEntries) || depth >= maxFolderDepth) return;
        for (std::size_t i = 0; i < result.cache.folders[at].folders.size(); ++i) {
            const std::string name = result.cache.folders[at].folders[i];
            visit(joined(path, name), relative.empty() ? name : relative + "/" + name, depth + 1);
        }
    }

    WalkedFolder& finished() {
        result.changed = !hadPrevious_ || listed_ > 0 || reused_ != previousCount_;
        return result;
    }

    WalkedFolder result;

private:
    bool ended() {
        if (!ended_ && hooks_.stopped && hooks_.stopped()) ended_ = result.stopped = true;
        return ended_;
    }

    bool fits(const CachedFolder& folder) const {
        return result.cache.folders.size() < maxFolderEntries &&
               folder.pictures.size() <= maxFolderEntries - storedPictures_ &&
               folder.folders.size() <= maxFolderEntries - storedFolderNames_;
    }

    // Gives `found` up to `limit` of the folder's pictures; false once the walk has ended.
    bool offer(const std::string& path, const CachedFolder& folder, std::size_t limit) {
        for (std::size_t i = 0; i < folder.pictures.size() && i < limit; ++i) {
            if (!found_(joined(path, folder.pictures[i]))) {
                ended_ = true;
                return false;
            }
        }
        return true;
    }

    // False when the folder cannot be read, or a stop came before it was read in full.
    bool list(const std::string& path, CachedFolder& folder) {
        DIR* listing = opendir(path.c_str());
        if (!listing) return false;
        std::size_t read = 0;
        while (const dirent* item = readdir(listing)) {
            if (++read % namesBetweenStopChecks == 0 && ended()) break;
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
        if (ended_) return false;
        std::sort(folder.pictures.begin(), folder.pictures.end());
        std::sort(folder.folders.begin(), folder.folders.end());
        return true;
    }

    std::unordered_map<std::string_view, CachedFolder*> previous_;
    std::set<std::pair<dev_t, ino_t>> seen_;
    const std::function<bool(std::string)>& found_;
    const WalkHooks& hooks_;
    bool ended_ = false;
    bool hadPrevious_;
    std::size_t previousCount_;
    std::size_t reused_ = 0, listed_ = 0;
    std::size_t storedPictures_ = 0, storedFolderNames_ = 0;
};

bool isFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

void stopFoldersWhen(bool (*stopping)()) { stopCheck = stopping ? stopping : neverStopping; }

WalkedFolder walkFolder(const std::string& root, FolderCache* previous,
                        const std::function<bool(std::string path)>& found, const WalkHooks& hooks) {
    if (previous && previous->root != root) previous = nullptr;
    Walk walk(previous, found, hooks);
    walk.result.cache.root = root;
    walk.visit(root, "", 0);
    return std::move(walk.finished());
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
    // A root the reader would refuse is not worth writing.
    if (cache.root.empty() || cache.root.size() > maxCachedPathBytes) return false;
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
    const int problem = errno;  // for the caller to report
    unlink(temporary.c_str());
    errno = problem;
    return false;
}

SharedShuffle::SharedShuffle(const std::string& source)
    : path_(stateDirectory() + "/shuffle-" + hex(hashBytes(source))) {
    own_.seed = clockSeed();
}

std::int32_t SharedShuffle::take(const std::vector<std::uint64_t>& known, bool everyPictureKnown) {
    std::int32_t next = -1;
    const auto takeNext = [&](ShuffleState& state) {
        next = takeNextInShuffle(state, known, freshSeed(), everyPictureKnown);
    };
    change(takeNext);
    return next;
}

void SharedShuffle::takeBack(std::uint64_t hash) {
    change([&](ShuffleState& state) { takeBackFromShuffle(state, hash); });
}

void SharedShuffle::change(const std::function<void(ShuffleState&)>& apply) {
    if (inMemory_ || !changeShared(apply)) apply(own_);
}

bool SharedShuffle::changeShared(const std::function<void(ShuffleState&)>& change) {
    makeFolders(stateDirectory());
    const int lock = open((path_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0) {
        keepInMemory(std::strerror(errno));
        return false;
    }
    while (flock(lock, LOCK_EX) != 0 && errno == EINTR) {
    }
    ShuffleState state;
    const std::optional<std::string> bytes = readFileUpTo(path_, maxShuffleFileBytes);
    if (std::optional<ShuffleState> stored = bytes ? decodeShuffleState(*bytes) : std::nullopt) state = *stored;
    else state.seed = freshSeed();
    const ShuffleState before = state;
    change(state);
    const bool kept = writeFileAtomically(path_, encodeShuffleState(state));
    const int problem = errno;
    close(lock);  // and with it the lock
    if (!kept) {
        // The round goes on from where it stood, in an order of this start's own: a
        // state that stays as it is would otherwise give every start the same pictures.
        own_ = before;
        own_.seed = clockSeed();
        keepInMemory(std::strerror(problem));
    }
    return kept;
}

void SharedShuffle::keepInMemory(const char* problem) {
    inMemory_ = true;
    std::fprintf(stderr, "vellora: the shuffle's round cannot be kept in %s (%s); this show shuffles on its own\n",
                 stateDirectory().c_str(), problem);
}

bool holdsPicture(const std::string& folder) {
    if (!isFolder(folder)) return false;
    std::optional<FolderCache> cache = loadFolderCache(folder);
    bool found = false;
    WalkHooks hooks;
    hooks.stopped = stopCheck;
    walkFolder(folder, cache ? &*cache : nullptr, [&](std::string) { return !(found = true); }, hooks);
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
        if (!stopCheck() && holdsPicture(folder)) return folder;
    return std::nullopt;
}

FolderCatalogue::~FolderCatalogue() {
    stop_ = true;
    if (walker_.joinable()) walker_.join();
    if (notYetLoaded_ && stopCheck()) shuffled_->takeBack(*notYetLoaded_);
}

bool FolderCatalogue::stopping() const { return stop_ || stopCheck(); }

void FolderCatalogue::add(std::string path) {
    std::lock_guard<std::mutex> lock(mutex_);
    hashes_.push_back(hashBytes(path));
    paths_.push_back(std::move(path));
    changed_.notify_all();
}

void FolderCatalogue::takeList(InputFile& list) {
    // Lines as long as a path, as the show reads a list file itself (Files::longestPathBytes).
    TextInput in(list, PATH_MAX);
    std::string line;
    while (paths_.size() < maxFolderEntries && in.readLine(line)) add(line);
}

void FolderCatalogue::walk(std::string root) {
    std::optional<FolderCache> previous = loadFolderCache(root);
    WalkHooks hooks = hooks_;
    hooks.stopped = [this] { return stopping(); };
    // The walk itself gives out no more pictures than the catalogue holds.
    const WalkedFolder walked = walkFolder(root, previous ? &*previous : nullptr, [this](std::string path) {
        add(std::move(path));
        return true;
    }, hooks);
    // A walk a stop cut short leaves the cache as it was: the show is ending, and
    // writing a large cache would hold its end up.
    if (walked.changed && !walked.stopped) saveFolderCache(walked.cache);
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
        // A stop comes with a signal, which cannot wake the wait: it is looked for every few milliseconds.
        while (paths_.empty() && walking_ && !stopCheck()) changed_.wait_for(lock, std::chrono::milliseconds(10));
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
    // After a stop the tick only runs out its attempts, and no picture of them is shown.
    if (!shuffle_ || !source_ || stopCheck()) return -1;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!shuffled_) shuffled_.emplace(*source_);
    // While the walk goes on, pictures not found yet still belong to the round.
    const std::int32_t next = shuffled_->take(hashes_, !walking_);
    if (next >= 0) notYetLoaded_ = hashes_[static_cast<std::size_t>(next)];
    return next;
}

void FolderCatalogue::loaded(std::int32_t) { notYetLoaded_.reset(); }

void FolderCatalogue::waitForWalk() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !walking_; });
}

FolderCatalogue& folderCatalogue() {
    static FolderCatalogue catalogue;
    return catalogue;
}

}  // namespace vellora::linux_platform
