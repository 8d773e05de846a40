#include "platform/linux/xscreensaver_setup.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "platform/linux/user_files.h"

namespace vellora::linux_platform {
namespace {

struct ProgramsResource {
    std::size_t firstLine = 0, lastLine = 0;  // lines of the file it spans
    std::vector<std::string> entries;
};

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") + 1 - first);
}

// A line as split at LF, without the CR of a CR LF line end.
std::string withoutCr(const std::string& line) {
    return !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
}

bool endsWithBackslash(const std::string& line) {
    const std::string bare = withoutCr(line);
    return !bare.empty() && bare.back() == '\\';
}

// The resource's lines and its entries, which are separated by the two characters
// backslash and n; a line ending in a backslash goes on on the next one.
std::optional<ProgramsResource> findPrograms(const std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string head = trimmed(withoutCr(lines[i]));
        if (head.rfind("*programs:", 0) == 0) head.erase(0, 1);
        if (head.rfind("programs:", 0) != 0) continue;
        ProgramsResource found{i, i, {}};
        std::string value = head.substr(9);
        while (endsWithBackslash(lines[found.lastLine]) && found.lastLine + 1 < lines.size()) {
            value.pop_back();
            value += withoutCr(lines[++found.lastLine]);
        }
        if (endsWithBackslash(value)) value.pop_back();
        for (std::size_t start = 0; start <= value.size();) {
            std::size_t end = value.find("\\n", start);
            if (end == std::string::npos) end = value.size();
            if (std::string entry = trimmed(value.substr(start, end - start)); !entry.empty())
                found.entries.push_back(entry);
            start = end + 2;
        }
        return found;
    }
    return std::nullopt;
}

// The program an entry runs: after an optional "-" (disabled), a visual such as
// "GL:" and a quoted label.
std::string programOf(std::string entry) {
    entry = trimmed(entry);
    if (!entry.empty() && entry[0] == '-') entry = trimmed(entry.substr(1));
    const auto space = entry.find_first_of(" \t");
    if (space != std::string::npos && space > 0 && entry[space - 1] == ':') entry = trimmed(entry.substr(space));
    if (!entry.empty() && entry[0] == '"') {
        const auto close = entry.find('"', 1);
        entry = close == std::string::npos ? std::string() : trimmed(entry.substr(close + 1));
    }
    std::string program = entry.substr(0, entry.find_first_of(" \t"));
    const auto slash = program.rfind('/');
    return slash == std::string::npos ? program : program.substr(slash + 1);
}

std::string programsText(const std::vector<std::string>& entries, const std::string& lineEnd = "\n") {
    std::string text = "programs:\t\t\t\t\t\t\t\t      \\" + lineEnd;
    for (std::size_t i = 0; i < entries.size(); ++i)
        text += "\t\t\t\t" + entries[i] + "\t\t\t\t    \\n" + (i + 1 < entries.size() ? "\\" : "") + lineEnd;
    return text;
}

// Vellora, then the given programs without any other entry for it.
std::vector<std::string> velloraAndThen(const std::vector<std::string>& programs) {
    std::vector<std::string> entries{xscreensaverEntry};
    for (const std::string& entry : programs)
        if (programOf(entry) != "vellora") entries.push_back(entry);
    return entries;
}

// The daemon reads nothing larger; a bigger file is no settings file of the user's.
constexpr std::size_t largestResourceFile = 16u << 20;

}  // namespace

std::optional<std::string> withVelloraProgram(const std::string& fileText,
                                              const std::vector<std::string>& systemPrograms) {
    std::vector<std::string> lines = splitLines(fileText);
    const std::string lineEnd = !lines.empty() && lines[0] != withoutCr(lines[0]) ? "\r\n" : "\n";
    std::optional<ProgramsResource> programs = findPrograms(lines);
    // Without a resource of its own the daemon runs its defaults, which stay.
    if (!programs)
        return fileText + (fileText.empty() || fileText.back() == '\n' ? "" : lineEnd) +
               programsText(velloraAndThen(systemPrograms), lineEnd);
    for (const std::string& entry : programs->entries)
        if (programOf(entry) == "vellora") return std::nullopt;
    programs->entries.insert(programs->entries.begin(), xscreensaverEntry);
    std::string text;
    for (std::size_t i = 0; i < programs->firstLine; ++i) text += lines[i] + "\n";
    text += programsText(programs->entries, lines[programs->firstLine] != withoutCr(lines[programs->firstLine]) ? "\r\n" : "\n");
    for (std::size_t i = programs->lastLine + 1; i < lines.size(); ++i) text += lines[i] + "\n";
    return text;
}

std::string newXscreensaverFile(const std::vector<std::string>& systemPrograms) {
    return "# Made by vellora --install-xscreensaver from the system's defaults.\n" +
           programsText(velloraAndThen(systemPrograms));
}

std::vector<std::string> systemDefaultPrograms() {
    const UserFile defaults = readUserFile("/etc/X11/app-defaults/XScreenSaver", largestResourceFile);
    if (defaults.state == UserFile::State::read)
        if (std::optional<ProgramsResource> programs = findPrograms(splitLines(defaults.bytes))) return programs->entries;
    std::vector<std::string> hacks;
    if (DIR* folder = opendir("/usr/share/xscreensaver/config")) {
        while (const dirent* item = readdir(folder)) {
            const std::string name = item->d_name;
            if (name.size() < 5 || name.compare(name.size() - 4, 4, ".xml") != 0) continue;
            const std::string hack = name.substr(0, name.size() - 4);
            if (access(("/usr/libexec/xscreensaver/" + hack).c_str(), X_OK) == 0) hacks.push_back(hack + " --root");
        }
        closedir(folder);
    }
    std::sort(hacks.begin(), hacks.end());
    return hacks;
}

int installIntoXscreensaver(const std::string& homeFolder) {
    const std::string path = homeFolder + "/.xscreensaver";
    const UserFile old = readUserFile(path, largestResourceFile);
    if (old.state == UserFile::State::unreadable) {
        std::fprintf(stderr,
                     "vellora: cannot read %s (%s), so it is left as it is. Make it readable for this user, "
                     "or move it away to start afresh, and run this again.\n",
                     path.c_str(), old.problem.c_str());
        return 1;
    }
    if (old.state == UserFile::State::missing) {
        if (!writeUserFile(path, newXscreensaverFile(systemDefaultPrograms()), newFileMode())) {
            std::fprintf(stderr, "vellora: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("Made %s with Vellora and the system's screen savers.\n", path.c_str());
        return 0;
    }
    const std::optional<std::string> updated = withVelloraProgram(old.bytes, systemDefaultPrograms());
    if (!updated) {
        std::printf("%s already names Vellora.\n", path.c_str());
        return 0;
    }
    const std::pair owner{old.owner, old.group};
    if (!writeUserFile(path + ".bak", old.bytes, old.mode, owner) || !writeUserFile(path, *updated, old.mode, owner)) {
        std::fprintf(stderr, "vellora: cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("Added Vellora to %s (the old file is %s.bak).\n", path.c_str(), path.c_str());
    return 0;
}

}  // namespace vellora::linux_platform
