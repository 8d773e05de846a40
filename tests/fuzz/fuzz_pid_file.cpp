// The running show's record on any bytes: a process id is named only by the plain
// decimal text of itself, optionally with one line end.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/linux/show_pid_file.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const std::optional<pid_t> pid = linux_platform::parseProcessId(text)) {
        fuzz::require(*pid > 1 && *pid <= 99999999, "a process id is 2 to 99999999");
        std::string_view digits = text;
        if (digits.back() == '\n') digits.remove_suffix(1);
        fuzz::require(std::stol(std::string(digits)) == *pid, "the id is the text's own number");
    }
    return 0;
}
