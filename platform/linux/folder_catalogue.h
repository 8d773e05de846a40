// Folders as sources of pictures on Linux: the walk, its cache, the shared shuffle
// state, the folders the user's own settings name, and the catalogue that puts a
// folder in the place of an image list.
//
// Contract:
// - The walk follows symbolic links, visits each folder once (by device and inode),
//   skips what isSkippedName names, takes files by hasPictureExtension, and lists
//   each folder's pictures and then its subfolders in byte order of their names.
//   It never fails: what cannot be read is left out.
// - The cache lives in $XDG_CACHE_HOME/vellora (by default ~/.cache/vellora), the
//   shuffle state in $XDG_STATE_HOME/vellora (by default ~/.local/state/vellora).
//   Both are written to a temporary file that is flushed to the disk and then put in
//   place; both are read as hostile, and one that does not decode is not there.
// - The catalogue finds pictures on a thread of its own; takes() returns once the
//   first picture is known or the walk is over. count() and entry() may be called
//   from the show's thread while the walk goes on. Destroying it stops the walk.
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

struct WalkHooks {
    // Called with a folder's path just before it is opened.
    std::function<void(const std::string& folder)> beforeFolder;
};

// Walks `root`, taking from `previous` the listing of every folder whose
// modification time is the one it holds there (those listings are moved out). `found` gets each picture's path as soon as its folder has
// been listed, and ends the walk by returning false. The result holds the listing of
// every folder walked, for the next start.
FolderCache walkFolder(const std::string& root, FolderCache* previous,
                       const std::function<bool(std::string path)>& found, const WalkHooks& hooks = {});

std::string cacheDirectory();
std::string stateDirectory();
// The cache file of a walked folder.
std::string folderCachePath(const std::string& root);
std::optional<FolderCache> loadFolderCache(const std::string& root);
bool saveFolderCache(const FolderCache& cache);
// Writes beside `path`, flushes to the disk, then puts the file in its place.
bool writeFileAtomically(const std::string& path, const std::string& bytes);

// Takes the next picture of the shuffle for `source`, under a lock of the state file
// shared by every process showing it; -1 when none is known. When the state cannot
// be kept, `fallback` holds it for this process.
std::int32_t takeSharedShuffle(const std::string& source, const std::vector<std::uint64_t>& known,
                               ShuffleState& fallback);

// The first of the default picture folders that exists and holds a picture: the
// imageDirectory of ~/.xscreensaver, XDG_PICTURES_DIR of user-dirs.dirs, ~/Pictures.
std::optional<std::string> defaultPictureFolder();
bool holdsPicture(const std::string& folder);

class FolderCatalogue : public PictureCatalogue {
public:
    ~FolderCatalogue() override;
    // Set before the show starts.
    void setShuffle(bool on) { shuffle_ = on; }
    // The image list that the source "-" stands for: the bytes of standard input.
    void setStandardInputList(std::string bytes) { standardInput_ = std::move(bytes); }

    bool takes(const std::string& source) override;
    std::int32_t count() override;
    std::string entry(std::int32_t index) override;
    std::int32_t chooseNext() override;

    // Waits for the walk to end; for tests and tools.
    void waitForWalk();

private:
    void add(std::string path);
    void takeList(InputFile& list);
    void walk(std::string root);

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
    ShuffleState localShuffle_;
};

FolderCatalogue& folderCatalogue();

}  // namespace vellora::linux_platform
