#include "platform/picture_folders.h"

#include <algorithm>
#include <limits>

namespace vellora {
namespace {

char lowered(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") + 1 - first);
}

// Little-endian fields with a trailing checksum, so that a file cut short or
// changed anywhere reads as no file.
class Writer {
public:
    explicit Writer(std::string_view magic) : bytes_(magic) {}
    void u64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    void text(std::string_view s) {
        u32(static_cast<std::uint32_t>(s.size()));
        bytes_.append(s);
    }
    std::string finished() {
        u64(hashBytes(bytes_));
        return std::move(bytes_);
    }

private:
    std::string bytes_;
};

class Reader {
public:
    // Nothing to read unless the magic and the checksum both match.
    Reader(std::string_view bytes, std::string_view magic) {
        if (bytes.size() < magic.size() + 8 || bytes.substr(0, magic.size()) != magic) return;
        const std::string_view body = bytes.substr(0, bytes.size() - 8);
        Reader tail(bytes.substr(bytes.size() - 8));
        if (tail.u64() != hashBytes(body)) return;
        rest_ = body.substr(magic.size());
        ok_ = true;
    }
    bool ok() const { return ok_; }
    bool atEnd() const { return ok_ && rest_.empty(); }
    std::size_t remaining() const { return rest_.size(); }
    std::uint64_t u64() { return number(8); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(number(4)); }
    // A count of items each at least `itemBytes` long, which the rest must be able to hold.
    std::size_t count(std::size_t itemBytes, std::size_t limit) {
        const std::uint32_t n = u32();
        if (n > limit || n > rest_.size() / itemBytes) ok_ = false;
        return ok_ ? n : 0;
    }
    std::string text(std::size_t limit) {
        const std::uint32_t n = u32();
        if (n > limit || n > rest_.size()) ok_ = false;
        if (!ok_) return {};
        std::string s(rest_.substr(0, n));
        rest_.remove_prefix(n);
        return s;
    }

private:
    explicit Reader(std::string_view raw) : rest_(raw), ok_(true) {}
    std::uint64_t number(std::size_t size) {
        if (!ok_ || rest_.size() < size) {
            ok_ = false;
            return 0;
        }
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < size; ++i) v |= static_cast<std::uint64_t>(static_cast<unsigned char>(rest_[i])) << (8 * i);
        rest_.remove_prefix(size);
        return v;
    }

    std::string_view rest_;
    bool ok_ = false;
};

constexpr std::string_view cacheMagic = "vellora folder cache 1\n";
constexpr std::string_view shuffleMagic = "vellora shuffle 1\n";

// A name as the walk can find it: not empty, no slash, no NUL, not . or ..
bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::optional<std::vector<std::string>> names(Reader& in, std::size_t& budget) {
    const std::size_t n = in.count(5, budget);
    budget -= n;
    std::vector<std::string> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n && in.ok(); ++i) {
        out.push_back(in.text(maxCachedPathBytes));
        if (!isPlainName(out.back())) return std::nullopt;
    }
    return out;
}

std::uint64_t mixed(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

bool isShown(const ShuffleState& state, std::uint64_t hash) {
    return std::binary_search(state.shown.begin(), state.shown.end(), hash);
}

// 0 for a picture not taken lately; otherwise the later it was taken, the higher.
// How lately the picture was taken, 0 when not lately. Only the latest takes, at
// most half the pictures, count: they are what the shows on other monitors may be
// showing now, and the rest must stay in the seed's order, or every cycle of a
// small folder would repeat the one before.
std::size_t recency(const ShuffleState& state, std::uint64_t hash, std::size_t pictureCount) {
    const std::size_t counted = std::min(std::max<std::size_t>(pictureCount / 2, 1), state.recent.size());
    const auto latest = state.recent.end() - static_cast<std::ptrdiff_t>(counted);
    const auto it = std::find(latest, state.recent.end(), hash);
    return it == state.recent.end() ? 0 : static_cast<std::size_t>(it - latest) + 1;
}

// The picture to take next among the unshown ones, or among all of them.
std::int32_t firstUnshown(const ShuffleState& state, const std::vector<std::uint64_t>& known, bool shownToo = false) {
    std::int32_t best = -1;
    std::size_t bestRecency = 0;
    std::uint64_t bestKey = 0;
    for (std::size_t i = 0; i < known.size(); ++i) {
        if (!shownToo && isShown(state, known[i])) continue;
        const std::size_t r = recency(state, known[i], known.size());
        const std::uint64_t key = mixed(known[i] ^ state.seed);
        if (best < 0 || r < bestRecency || (r == bestRecency && key < bestKey)) {
            best = static_cast<std::int32_t>(i);
            bestRecency = r;
            bestKey = key;
        }
    }
    return best;
}

std::string withHome(std::string_view path, const std::string& home) {
    return std::string(home) + std::string(path);
}

bool isHome(const std::string& path, const std::string& home) {
    std::string a = path, b = home;
    while (a.size() > 1 && a.back() == '/') a.pop_back();
    while (b.size() > 1 && b.back() == '/') b.pop_back();
    return a == b;
}

}  // namespace

bool hasPictureExtension(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return false;
    const std::string_view extension = name.substr(dot + 1);
    return std::any_of(pictureExtensions.begin(), pictureExtensions.end(), [&](std::string_view known) {
        return known.size() == extension.size() &&
               std::equal(known.begin(), known.end(), extension.begin(), [](char k, char e) { return k == lowered(e); });
    });
}

bool isSkippedName(std::string_view name) {
    return name.empty() || name[0] == '.' || name == "@eaDir" || name == "#recycle" || name == "#snapshot" ||
           name == "@Recycle" || name == "@Recently-Snapshot";
}

std::uint64_t hashBytes(std::string_view bytes) {
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001B3ull;
    }
    return h;
}

std::string encodeFolderCache(const FolderCache& cache) {
    Writer out(cacheMagic);
    out.text(cache.root);
    out.u32(static_cast<std::uint32_t>(cache.folders.size()));
    for (const CachedFolder& folder : cache.folders) {
        out.text(folder.path);
        out.u64(static_cast<std::uint64_t>(folder.modifiedSeconds));
        out.u64(static_cast<std::uint64_t>(folder.modifiedNanoseconds));
        for (const auto* list : {&folder.pictures, &folder.folders}) {
            out.u32(static_cast<std::uint32_t>(list->size()));
            for (const std::string& name : *list) out.text(name);
        }
    }
    return out.finished();
}

std::optional<FolderCache> decodeFolderCache(std::string_view bytes) {
    Reader in(bytes, cacheMagic);
    FolderCache cache;
    cache.root = in.text(maxCachedPathBytes);
    // A folder record takes at least 28 bytes; a name at least 5.
    const std::size_t folders = in.count(28, maxFolderEntries);
    std::size_t pictureBudget = maxFolderEntries, folderBudget = maxFolderEntries;
    cache.folders.reserve(folders);
    for (std::size_t i = 0; i < folders && in.ok(); ++i) {
        CachedFolder folder;
        folder.path = in.text(maxCachedPathBytes);
        folder.modifiedSeconds = static_cast<std::int64_t>(in.u64());
        folder.modifiedNanoseconds = static_cast<std::int64_t>(in.u64());
        std::optional<std::vector<std::string>> pictures = names(in, pictureBudget);
        std::optional<std::vector<std::string>> subfolders = names(in, folderBudget);
        if (!pictures || !subfolders || folder.path.find('\0') != std::string::npos) return std::nullopt;
        folder.pictures = std::move(*pictures);
        folder.folders = std::move(*subfolders);
        cache.folders.push_back(std::move(folder));
    }
    if (!in.atEnd() || cache.root.empty()) return std::nullopt;
    return cache;
}

std::string encodeShuffleState(const ShuffleState& state) {
    Writer out(shuffleMagic);
    out.u64(state.seed);
    for (const auto* list : {&state.shown, &state.recent}) {
        out.u32(static_cast<std::uint32_t>(list->size()));
        for (const std::uint64_t hash : *list) out.u64(hash);
    }
    return out.finished();
}

std::optional<ShuffleState> decodeShuffleState(std::string_view bytes) {
    Reader in(bytes, shuffleMagic);
    ShuffleState state;
    state.seed = in.u64();
    for (auto* list : {&state.shown, &state.recent}) {
        const std::size_t n = in.count(8, list == &state.shown ? maxFolderEntries : shuffleRecentSize);
        list->reserve(n);
        for (std::size_t i = 0; i < n && in.ok(); ++i) list->push_back(in.u64());
    }
    if (!in.atEnd() || !std::is_sorted(state.shown.begin(), state.shown.end())) return std::nullopt;
    return state;
}

std::int32_t takeNextInShuffle(ShuffleState& state, const std::vector<std::uint64_t>& known, std::uint64_t nextSeed,
                               bool everyPictureKnown) {
    std::int32_t next = firstUnshown(state, known);
    if (next < 0) {
        if (known.empty()) return -1;
        if (everyPictureKnown) {
            state.shown.clear();
            state.seed = nextSeed;
        }
        next = firstUnshown(state, known, !everyPictureKnown);
    }
    const std::uint64_t hash = known[static_cast<std::size_t>(next)];
    const auto at = std::lower_bound(state.shown.begin(), state.shown.end(), hash);
    if (state.shown.size() < maxFolderEntries && (at == state.shown.end() || *at != hash)) state.shown.insert(at, hash);
    std::erase(state.recent, hash);
    state.recent.push_back(hash);
    if (state.recent.size() > shuffleRecentSize) state.recent.erase(state.recent.begin());
    return next;
}

void takeBackFromShuffle(ShuffleState& state, std::uint64_t hash) {
    const auto shown = std::lower_bound(state.shown.begin(), state.shown.end(), hash);
    if (shown != state.shown.end() && *shown == hash) state.shown.erase(shown);
    std::erase(state.recent, hash);
}

std::optional<std::string> xscreensaverImageDirectory(std::string_view fileText, const std::string& home) {
    while (!fileText.empty()) {
        const auto end = fileText.find('\n');
        std::string_view line = trimmed(fileText.substr(0, end));
        fileText = end == std::string_view::npos ? std::string_view() : fileText.substr(end + 1);
        if (!line.empty() && line[0] == '*') line.remove_prefix(1);
        constexpr std::string_view key = "imageDirectory:";
        if (line.substr(0, key.size()) != key) continue;
        const std::string_view value = trimmed(line.substr(key.size()));
        // The daemon reads the first one; an address is a web page to grab pictures from.
        if (value.empty() || value.find("://") != std::string_view::npos) return std::nullopt;
        if (value == "~") return home;
        if (value.substr(0, 2) == "~/") return withHome(value.substr(1), home);
        return std::string(value);
    }
    return std::nullopt;
}

std::optional<std::string> xdgPicturesDirectory(std::string_view fileText, const std::string& home) {
    std::optional<std::string> found;
    while (!fileText.empty()) {
        const auto end = fileText.find('\n');
        const std::string_view line = trimmed(fileText.substr(0, end));
        fileText = end == std::string_view::npos ? std::string_view() : fileText.substr(end + 1);
        constexpr std::string_view key = "XDG_PICTURES_DIR=";
        if (line.substr(0, key.size()) != key) continue;
        std::string_view quoted = line.substr(key.size());
        if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') {
            found.reset();
            continue;
        }
        quoted = quoted.substr(1, quoted.size() - 2);
        // The file is shell syntax: a backslash takes the next character as it is.
        std::string value;
        for (std::size_t i = 0; i < quoted.size(); ++i) {
            if (quoted[i] == '\\' && i + 1 < quoted.size()) ++i;
            value.push_back(quoted[i]);
        }
        if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/'))
            value = withHome(std::string_view(value).substr(5), home);
        // The last assignment wins, as when the shell reads the file.
        if (value.empty() || value[0] != '/') found.reset();
        else found = value;
    }
    if (found && isHome(*found, home)) return std::nullopt;
    return found;
}

}  // namespace vellora
