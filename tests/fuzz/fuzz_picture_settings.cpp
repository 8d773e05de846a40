// The user's own settings that name a picture folder: ~/.xscreensaver's
// imageDirectory and user-dirs.dirs' XDG_PICTURES_DIR.
#include <cstdint>
#include <string>

#include "platform/picture_folders.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string home = "/home/user";
    if (const std::optional<std::string> folder = xscreensaverImageDirectory(text, home)) {
        fuzz::require(!folder->empty(), "a folder is named");
        fuzz::require(folder->find("://") == std::string::npos, "an address is no folder");
        fuzz::require(folder->find('\n') == std::string::npos, "a value is one line");
    }
    if (const std::optional<std::string> folder = xdgPicturesDirectory(text, home)) {
        fuzz::require(folder->front() == '/', "the pictures folder is absolute");
        fuzz::require(*folder != home && *folder != home + "/", "home itself is no pictures folder");
        fuzz::require(folder->find('\n') == std::string::npos, "a value is one line");
    }
    return 0;
}
