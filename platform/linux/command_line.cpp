#include "platform/linux/command_line.h"

#include <cstdint>
#include <string>

namespace vellora::linux_platform {
namespace {

int digitValue(char c, int base) {
    int value = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99;
    return value < base ? value : -1;
}

std::optional<std::int32_t> parseNumber(const char* text) {
    std::int64_t value = 0;
    bool negative = *text == '-';
    if (negative) ++text;
    if (*text == '\0') return std::nullopt;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9') return std::nullopt;
        value = value * 10 + (*text - '0');
        if (value > 2147483648LL) return std::nullopt;
    }
    value = negative ? -value : value;
    if (value > 2147483647LL) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

const PhotoSwitch* photoSwitch(const std::string& option) {
    for (const PhotoSwitch& s : photoSwitches)
        if (option == s.name) return &s;
    return nullptr;
}

CommandLine only(ShowForm form) {
    CommandLine command;
    command.form = form;
    return command;
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

std::uint64_t parseIdleMinutes(const char* text) {
    constexpr std::uint64_t msPerMinute = 60'000, mostMinutes = 7 * 24 * 60;
    std::uint64_t whole = 0;
    const char* digits = text;
    for (; *text >= '0' && *text <= '9'; ++text) {
        whole = whole * 10 + static_cast<std::uint64_t>(*text - '0');
        if (whole > mostMinutes) return 0;
    }
    if (text == digits) return 0;
    std::uint64_t thousandths = 0;
    if (*text == '.') {
        ++text;
        int places = 0;
        for (; *text >= '0' && *text <= '9'; ++text, ++places) {
            if (places == 3) return 0;
            thousandths += static_cast<std::uint64_t>(*text - '0') * (places == 0 ? 100 : places == 1 ? 10 : 1);
        }
        if (places == 0) return 0;
    }
    if (*text != '\0') return 0;
    const std::uint64_t ms = whole * msPerMinute + thousandths * msPerMinute / 1000;
    return ms <= mostMinutes * msPerMinute ? ms : 0;
}

CommandLine parseCommandLine(int argc, const char* const* argv, const char* screensaverWindow) {
    const CommandLine invalid = only(ShowForm::invalid);
    CommandLine command;
    if (argc > 1) command.arguments.assign(argv + 1, argv + argc);
    bool root = false, own = false;
    int erasedIdle = 0;  // arguments of --idle taken out of command.arguments so far
    unsigned long windowId = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--help" || option == "-h") return only(ShowForm::help);
        if (option == "--settings" || option == "--install-xscreensaver" || option == "--stop") {
            if (argc != 2) return invalid;
            return only(option == "--settings" ? ShowForm::settings
                        : option == "--stop"   ? ShowForm::stop
                                               : ShowForm::installXscreensaver);
        }
        if (option == "--root") {
            root = true;
        } else if (option == "--window") {
            own = true;
        } else if (option == "--window-id" && hasValue) {
            windowId = parseWindowId(argv[++i]);
            if (windowId == 0) return invalid;
        } else if (option == "--list" && hasValue) {
            // A path is one line of the settings file: it cannot hold a line end or a Ctrl-Z.
            const std::string path = argv[++i];
            if (path.empty() || path.find_first_of("\r\n\x1a") != std::string::npos) return invalid;
            command.overrides.imageListPath = path;
        } else if ((option == "--effect" || option == "--delay") && hasValue) {
            const std::optional<std::int32_t> value = parseNumber(argv[++i]);
            if (!value) return invalid;
            if (option == "--effect" && (*value < 0 || *value > 19)) return invalid;
            if (option == "--delay" && *value < 0) return invalid;
            (option == "--effect" ? command.overrides.effectIndex : command.overrides.delaySeconds) = value;
        } else if (option == "--random" || option == "--no-random") {
            command.overrides.randomOrder = option == "--random" ? 1 : 0;
        } else if (option == "--fit") {
            command.fit = true;
        } else if (option == "--upright") {
            command.upright = true;
        } else if (option == "--paced") {
            command.paced = true;
        } else if (option == "--idle" && hasValue) {
            command.idleMs = parseIdleMinutes(argv[++i]);
            if (command.idleMs == 0) return invalid;
            command.arguments.erase(command.arguments.begin() + (i - 2 - erasedIdle), command.arguments.begin() + (i - erasedIdle));
            erasedIdle += 2;
        } else if (option == monitorAreaSwitch && hasValue) {
            command.monitor = parseMonitorArea(argv[++i]);
            if (!command.monitor) return invalid;
        } else if (option == "--x11") {
            command.forceX11 = true;
        } else if (option == "--shuffle") {
            command.shuffle = true;
        } else if (const PhotoSwitch* photo = photoSwitch(option)) {
            command.photos.*(photo->on) = true;
        } else {
            return invalid;
        }
    }
    // A show for one monitor, and the show the idle watcher starts, are full screen.
    if ((command.monitor || command.idleMs) && (windowId != 0 || root || own)) return invalid;
    if (command.monitor && command.idleMs) return invalid;
    if (command.idleMs) {
        command.form = ShowForm::idle;
        return command;
    }
    // The settings preview passes both a window id and --root; the id wins.
    if (windowId != 0) {
        command.form = ShowForm::intoWindow;
        command.window = windowId;
    } else if (root) {
        command.form = ShowForm::root;
        command.window = parseWindowId(screensaverWindow);
    } else if (own) {
        command.form = ShowForm::ownWindow;
    }
    return command;
}

}  // namespace vellora::linux_platform
