// The user's own files (the settings file, ~/.xscreensaver): read without taking
// an unreadable file for a missing one, and replaced without losing them.
//
// Contract:
// - Paths are the file system's bytes. A symbolic link is written through: the
//   file it ends at is replaced, in that file's own folder, and the link stays.
// - A replaced file keeps its permission bits and, where the process may set it,
//   its owner. A new file gets the permissions the user's umask allows.
// - Replacing is atomic: the new bytes go to a fresh file beside the target, are
//   flushed to the disk, take the target's place in one rename, and the folder is
//   flushed after it. On any failure the target stays as it was and nothing is left
//   behind.
// - Nothing here throws or prints.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>

namespace vellora::linux_platform {

// The account's home folder: $HOME when it is set and not empty, else the one the
// password database gives; the one rule for every file the program keeps there.
std::string homeFolder();

// The path a chain of symbolic links ends at (the path itself when it is no link),
// whether or not a file exists there; nothing for a chain that loops or cannot be read.
std::optional<std::string> linkTarget(const std::string& path);

struct UserFile {
    enum class State { read, missing, unreadable } state = State::missing;
    std::string bytes;
    mode_t mode = 0;       // permission bits of a file that was read
    uid_t owner = 0;
    gid_t group = 0;
    std::string problem;  // why it could not be read, for the user
};

// Reads the whole file behind `path`, links followed. Missing means that nothing at
// all is there; anything else that stops the reading (permissions, a folder in its
// place, a read error, more than `maxBytes`) is unreadable.
UserFile readUserFile(const std::string& path, std::size_t maxBytes);

// Replaces the file behind `path` with `bytes`, with these permissions and owner.
bool writeUserFile(const std::string& path, const std::string& bytes, mode_t mode,
                   std::optional<std::pair<uid_t, gid_t>> owner = std::nullopt);

// Puts the finished file `from` in the place of the file behind `to`, which keeps
// its permissions and owner when it exists.
bool moveIntoPlace(const std::string& from, const std::string& to);

// Makes `folder` and the folders above it that are missing, for the user alone (0700).
void makeFolders(const std::string& folder);

// The permissions a new file gets under the process's umask.
mode_t newFileMode();

}  // namespace vellora::linux_platform
