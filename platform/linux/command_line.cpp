#include "platform/linux/command_line.h"

#include <cstdint>
#include <string>

namespace vellora::linux_platform {
namespace {

int digitValue(char c, int base) {
    int value = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99;
    return value < base ? value : -1;
}

}  // namespace

unsigned long parseWindowId(const char* text) {
    if (!text) return 0;
    int base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    if (*text == '\0') return 0;
    std::uint64_t value = 0;
    for (; *text; ++text) {
        const int digit = digitValue(*text, base);
        if (digit < 0) return 0;
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFu) return 0;
    }
    return static_cast<unsigned long>(value);
}

CommandLine parseCommandLine(int argc, const char* const* argv, const char* screensaverWindow) {
    CommandLine command;
    bool root = false, own = false;
    unsigned long windowId = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") return {ShowForm::help, 0};
        if (option == "--root") {
            root = true;
        } else if (option == "--window") {
            own = true;
        } else if (option == "--window-id" && i + 1 < argc) {
            windowId = parseWindowId(argv[++i]);
            if (windowId == 0) return {ShowForm::invalid, 0};
        } else {
            return {ShowForm::invalid, 0};
        }
    }
    // The settings preview passes both a window id and --root; the id wins.
    if (windowId != 0) return {ShowForm::intoWindow, windowId};
    if (root) return {ShowForm::root, parseWindowId(screensaverWindow)};
    if (own) return {ShowForm::ownWindow, 0};
    return command;
}

}  // namespace vellora::linux_platform
