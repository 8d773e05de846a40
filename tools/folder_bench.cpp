// vellora-folder-bench: the folder walk's figures.
//   walk DIR     seconds of a walk with no cache (best of 5), and the pictures found
//   cached DIR   seconds of a walk whose every folder is in the cache (best of 5)
//   memory DIR   heap bytes per picture beyond its path: the show's list, and the
//                cache as the next start reads it
// The cache goes to $XDG_CACHE_HOME/vellora, as in the program.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/linux/folder_catalogue.h"

using namespace vellora;
using namespace vellora::linux_platform;

namespace {

template <typename Fn>
double best(Fn&& fn) {
    double fastest = 1e30;
    for (int round = 0; round < 5; ++round) {
        const auto start = std::chrono::steady_clock::now();
        fn();
        fastest = std::min(fastest, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return fastest;
}

std::size_t walkCounting(const std::string& root, FolderCache* previous, FolderCache* result = nullptr) {
    std::size_t found = 0;
    FolderCache cache = walkFolder(root, previous, [&](std::string) { return ++found, true; }).cache;
    if (result) *result = std::move(cache);
    return found;
}

std::size_t heapInUse() { return mallinfo2().uordblks; }

int memory(const std::string& root) {
    std::size_t pathBytes = 0, nameBytes = 0, pictures = 0;
    const std::size_t before = heapInUse();
    {
        FolderCatalogue catalogue;
        catalogue.takes(root);
        catalogue.waitForWalk();
        pictures = static_cast<std::size_t>(catalogue.count());
        for (std::int32_t i = 0; i < catalogue.count(); ++i) pathBytes += catalogue.entry(i).size();
        const std::size_t list = heapInUse() - before;
        std::printf("list   %.0f bytes per picture beyond its path (%zu pictures)\n",
                    (static_cast<double>(list) - static_cast<double>(pathBytes)) / static_cast<double>(pictures), pictures);
    }
    const std::size_t beforeCache = heapInUse();
    const std::optional<FolderCache> cache = loadFolderCache(root);
    if (!cache) return 1;
    const std::size_t used = heapInUse() - beforeCache;
    std::size_t entries = 0;
    for (const CachedFolder& folder : cache->folders) {
        nameBytes += folder.path.size();
        for (const auto* names : {&folder.pictures, &folder.folders})
            for (const std::string& name : *names) nameBytes += name.size(), ++entries;
    }
    std::printf("cache  %.0f bytes per entry beyond its name (%zu entries)\n",
                (static_cast<double>(used) - static_cast<double>(nameBytes)) / static_cast<double>(entries), entries);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: vellora-folder-bench walk|cached|memory DIR\n", stderr);
        return 2;
    }
    const std::string mode = argv[1], root = argv[2];
    if (mode == "walk") {
        std::size_t found = 0;
        const double seconds = best([&] { found = walkCounting(root, nullptr); });
        std::printf("%.6f %zu\n", seconds, found);
        return 0;
    }
    if (mode == "cached") {
        FolderCache cache;
        walkCounting(root, nullptr, &cache);
        saveFolderCache(cache);
        const std::optional<FolderCache> loaded = loadFolderCache(root);
        if (!loaded) return 1;
        std::size_t found = 0;
        // What a second start does: read the cache, then walk with it.
        const double seconds = best([&] {
            std::optional<FolderCache> read = loadFolderCache(root);
            found = walkCounting(root, read ? &*read : nullptr);
        });
        const double reading = best([&] { loadFolderCache(root); });
        std::printf("%.6f %zu %.6f\n", seconds, found, reading);
        return 0;
    }
    if (mode == "memory") return memory(root);
    return 2;
}
