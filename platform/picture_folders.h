// The rules by which a folder becomes a list of pictures, with no operating system
// behind them: which names are pictures and which are skipped, the cache of a
// walked folder, the shared shuffle cycle, and where the user's own settings name
// a picture folder.
//
// Contract:
// - Everything here is pure: bytes in, values out; nothing touches a file.
// - The decode functions read hostile bytes. They never allocate more than the
//   bytes they were given can justify, and give nothing for anything that is not
//   exactly what the encode functions write (a damaged file is no file).
// - Paths are byte strings, never converted. A cached folder's path is relative to
//   the walked folder ("" for the folder itself, then "a", "a/b", ...).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellora {

// What the walk may hold: a bound on folder depth, and on pictures and folders each.
inline constexpr int maxFolderDepth = 64;
inline constexpr std::size_t maxFolderEntries = 1'000'000;
// The longest name or relative path a cache holds; longer ones cannot come from a walk.
inline constexpr std::size_t maxCachedPathBytes = 4096;

// Every extension the program decodes, lower case, and the one list the walk and
// the decoders' documentation go by.
inline constexpr std::array<std::string_view, 13> pictureExtensions = {
    "jpg", "jpeg", "jpe", "png", "gif", "bmp", "webp", "tif", "tiff", "heic", "heif", "avif", "jxl"};

// A picture by its name's extension, compared case-insensitively.
bool hasPictureExtension(std::string_view name);
// Hidden names (a leading dot, so also .thumbnails) and the thumbnail and recycle
// folders that NAS and photo tools leave beside the pictures.
bool isSkippedName(std::string_view name);

// A folder's modification time no file system gives: its listing was taken too soon
// after the folder changed to be sure of it, so the next walk lists it again.
inline constexpr std::int64_t unsettledNanoseconds = -1;

struct CachedFolder {
    std::string path;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;  // or unsettledNanoseconds
    std::vector<std::string> pictures;  // names, in walk order
    std::vector<std::string> folders;   // names of the folders to walk next, in order
};

struct FolderCache {
    std::string root;  // the walked folder, as the user named it
    std::vector<CachedFolder> folders;
};

std::string encodeFolderCache(const FolderCache& cache);
std::optional<FolderCache> decodeFolderCache(std::string_view bytes);

// A 64-bit FNV-1a hash: the shuffle's name for a picture, and the cache's file name.
std::uint64_t hashBytes(std::string_view bytes);

// The shuffle cycle, shared by every process that shows the same folder: the seed
// that orders this cycle, the pictures shown in it, and the latest ones taken.
struct ShuffleState {
    std::uint64_t seed = 0;
    std::vector<std::uint64_t> shown;   // hashes, ascending
    std::vector<std::uint64_t> recent;  // hashes, oldest first, at most shuffleRecentSize
};
inline constexpr std::size_t shuffleRecentSize = 16;

std::string encodeShuffleState(const ShuffleState& state);
std::optional<ShuffleState> decodeShuffleState(std::string_view bytes);

// Takes the next picture of the cycle from the known ones (given by hashBytes of
// their paths) and records it; its index, or -1 when none is known. A cycle in
// which every known picture has been shown gives way to a new one ordered by
// `nextSeed`; a picture another process has just taken comes last in it. While
// more pictures may yet become known (`everyPictureKnown` false), the cycle goes
// on instead: the known picture taken least lately is taken again, and only the
// latest takes record it.
std::int32_t takeNextInShuffle(ShuffleState& state, const std::vector<std::uint64_t>& known, std::uint64_t nextSeed,
                               bool everyPictureKnown = true);
// Undoes the take of `hash`: it counts as not shown in this cycle, and not taken lately.
void takeBackFromShuffle(ShuffleState& state, std::uint64_t hash);

// The xscreensaver picture folder (the imageDirectory resource) of the text of
// ~/.xscreensaver; nothing when it is unset or an address rather than a folder.
// A leading ~ stands for `home`.
std::optional<std::string> xscreensaverImageDirectory(std::string_view fileText, const std::string& home);
// XDG_PICTURES_DIR of the text of user-dirs.dirs; nothing when unset, not absolute,
// or the home folder itself.
std::optional<std::string> xdgPicturesDirectory(std::string_view fileText, const std::string& home);

}  // namespace vellora
