// The user's ~/.xscreensaver as --install-xscreensaver reads it: any text gets
// Vellora added once, with nothing of the text lost before the programs resource,
// and the result names Vellora so that a second run changes nothing.
#include <cstdint>
#include <string>

#include "platform/linux/xscreensaver_setup.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> defaults{"maze --root", "GL: gears --root"};
    const std::optional<std::string> added = linux_platform::withVelloraProgram(text, defaults);
    if (!added) return 0;
    fuzz::require(added->find(linux_platform::xscreensaverEntry) != std::string::npos, "the result names vellora");
    fuzz::require(!linux_platform::withVelloraProgram(*added, defaults), "a second run changes nothing");
    const std::size_t programs = text.find("programs:");
    if (programs == std::string::npos)
        fuzz::require(added->compare(0, text.size(), text) == 0, "a file without programs is kept whole");
    return 0;
}
