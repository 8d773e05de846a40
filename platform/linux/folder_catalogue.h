// Folders as sources of pictures on Linux: the walk, its cache, the shared shuffle
// state, the folders the user's own settings name, and the catalogue that puts a
// folder in the place of an image list.
//
// Contract:
// - The walk follows symbolic links, visits each folder once (by device and inode),
//   skips what isSkippedName names, takes files by hasPictureExtension, and lists
//   each folder's pictures and then its subfolders in byte order of their names.
//   It never fails: what cannot be read is left out. It keeps no more than the
//   cache's reader takes (a million pictures and a million folders) and ends there.
// - The cache lives in $XDG_CACHE_HOME/vellora (by default ~/.cache/vellora), the
//   shuffle state in $XDG_STATE_HOME/vellora (by default ~/.local/state/vellora).
//   Both are written to a temporary file that is flushed to the disk and then put in
//   place; both are read as hostile, without waiting (a FIFO in their place is no
//   file), and one that does not decode is not there. The cache is written when the
//   walk found something it did not hold, never by a walk a stop cut short.
// - A stop (stopFoldersWhen) ends the walks, the catalogue's wait for its first
//   picture and the check of the default folders at once (the walks look for it
//   before every folder and every few hundred names), and the shuffle takes no
//   picture after it.
// - The catalogue finds pictures on a thread of its own; takes() returns once the
//   first picture is known, the walk is over or a stop came. count() and entry() may
//   be called from the show's thread while the walk goes on. Destroying it stops the
//   walk.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/picture_folders.h"
#include "platform/platform.h"

namespace vellora::linux_platform {

// Whether the process asked for its end; asked before every folder of a walk, by
// the catalogue's waits and before every pick of its shuffle. Never, by default.
void stopFoldersWhen(bool (*stopping)());

struct WalkHooks {
    // Called with a folder's path just before it is opened.
    std::function<void(const std::string& folder)> beforeFolder;
    // Asked before each folder and every few hundred names of a listing: true ends the walk.
    std::function<bool()> stopped;
};

struct WalkedFolder {
    // The listing of every folder walked in full, for the next start.
    FolderCache cache;
    bool stopped = false;  // ended by hooks.stopped
    bool changed = false;  // the cache differs from `previous`
};

// Walks `root`, taking from `previous` the listing of every folder whose
// modification time is the one it holds there (those listings are moved out). A
// folder listed within the file systems' time granularity (two seconds, FAT's) of
// its modification time is kept as unsettled, to be listed again next time. `found`
// gets each picture's path as soon as its folder has been listed, and ends the walk
// by returning false.
WalkedFolder walkFolder(const std::string& root, FolderCache* previous,
                        const std::function<bool(std::string path)>& found, const WalkHooks& hooks = {});

std::string cacheDirectory();
std::string stateDirectory();
// The cache file of a walked folder.
std::string folderCachePath(const std::string& root);
std::optional<FolderCache> loadFolderCache(const std::string& root);
bool saveFolderCache(const FolderCache& cache);
// Writes beside `path`, flushes to the disk, then puts the file in its place.
bool writeFileAtomically(const std::string& path, const std::string& bytes);

// The shuffle of one source, kept under a lock of the state file shared by every
// process showing it. Where that state cannot be kept (no lock, a failed write), the
// process says so once on standard error and shuffles on its own from then on, from
// a seed of the clock.
class SharedShuffle {
public:
    explicit SharedShuffle(const std::string& source);
    // The next picture among `known` (takeNextInShuffle); -1 when none is known.
    std::int32_t take(const std::vector<std::uint64_t>& known, bool everyPictureKnown);
    void takeBack(std::uint64_t hash);

private:
    // Applies `change` to the shared state, or to this process's own once that cannot be kept.
    void change(const std::function<void(ShuffleState&)>& change);
    // Applies `change` to the shared state; false, the state as it was, when it cannot be kept.
    bool changeShared(const std::function<void(ShuffleState&)>& change);
    void keepInMemory(const char* problem);

    std::string path_;
    bool inMemory_ = false;
    ShuffleState own_;
};

// The first of the default picture folders that exists and holds a picture: the
// imageDirectory of ~/.xscreensaver, XDG_PICTURES_DIR of user-dirs.dirs, ~/Pictures.
std::optional<std::string> defaultPictureFolder();
bool holdsPicture(const std::string& folder);

class FolderCatalogue : public PictureCatalogue {
public:
    // Takes back from the shuffle a pick that a stop kept from being loaded.
    ~FolderCatalogue() override;
    // Set before the show starts.
    void setShuffle(bool on) { shuffle_ = on; }
    // The image list that the source "-" stands for: the bytes of standard input.
    void setStandardInputList(std::string bytes) { standardInput_ = std::move(bytes); }

    bool takes(const std::string& source) override;
    std::int32_t count() override;
    std::string entry(std::int32_t index) override;
    std::int32_t chooseNext() override;
    void loaded(std::int32_t index) override;

    // Waits for the walk to end; for tests and tools.
    void waitForWalk();
    // Set before takes(); for tests. The catalogue answers `stopped` itself.
    void setWalkHooks(WalkHooks hooks) { hooks_ = std::move(hooks); }

private:
    void add(std::string path);
    void takeList(InputFile& list);
    void walk(std::string root);
    bool stopping() const;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> paths_;
    std::vector<std::uint64_t> hashes_;
    bool walking_ = false;
    std::atomic<bool> stop_{false};
    std::thread walker_;

    std::optional<std::string> source_;   // the one source this catalogue took
    std::optional<std::string> declined_;  // the latest source left to the list file
    bool shuffle_ = false;
    std::optional<std::string> standardInput_;
    WalkHooks hooks_;
    std::optional<SharedShuffle> shuffled_;
    std::optional<std::uint64_t> notYetLoaded_;  // the latest pick, until its picture is loaded
};

FolderCatalogue& folderCatalogue();

}  // namespace vellora::linux_platform
