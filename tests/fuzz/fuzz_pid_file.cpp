// The running show's record on any bytes: a process id is named only by the plain
// decimal text of itself, optionally with one line end; and a display's name, as
// the environment gives it, names one file of the runtime folder.
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
    for (const std::string& name :
         {linux_platform::waylandRecordName(text, "/run/user/1000"), linux_platform::x11RecordName(text)}) {
        fuzz::require(name.size() <= 255, "a record's name fits a file name");
        fuzz::require(name.find_first_of(std::string_view("/\0", 2)) == std::string::npos,
                      "a record's name is one file of the folder");
        fuzz::require(name.rfind("vellora.", 0) == 0 && name.size() > 12 && name.substr(name.size() - 4) == ".pid",
                      "a record's name is the program's");
    }
    return 0;
}
