// The folder cache as the next start reads it: anything that decodes must be what
// an encoding of it gives back, and stay within the walk's bounds.
#include <cstdint>
#include <string>

#include "platform/picture_folders.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::optional<FolderCache> cache = decodeFolderCache(bytes);
    if (!cache) return 0;
    fuzz::require(!cache->root.empty() && cache->root.size() <= maxCachedPathBytes, "the root is a path");
    std::size_t pictures = 0;
    for (const CachedFolder& folder : cache->folders) {
        pictures += folder.pictures.size();
        for (const auto* names : {&folder.pictures, &folder.folders})
            for (const std::string& name : *names)
                fuzz::require(!name.empty() && name.find('/') == std::string::npos && name != "..", "a name is one name");
    }
    fuzz::require(pictures <= maxFolderEntries, "no more pictures than the walk takes");
    fuzz::require(encodeFolderCache(*cache) == bytes, "a cache that decodes is its own encoding");
    return 0;
}
