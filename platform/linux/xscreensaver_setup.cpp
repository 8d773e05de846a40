#include "platform/linux/xscreensaver_setup.h"

#include <dirent.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

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

bool endsWithBackslash(const std::string& line) { return !line.empty() && line.back() == '\\'; }

// The resource's lines and its entries, which are separated by the two characters
// backslash and n; a line ending in a backslash goes on on the next one.
std::optional<ProgramsResource> findPrograms(const std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string head = trimmed(lines[i]);
        if (head.rfind("*programs:", 0) == 0) head.erase(0, 1);
        if (head.rfind("programs:", 0) != 0) continue;
        ProgramsResource found{i, i, {}};
        std::string value = head.substr(9);
        while (endsWithBackslash(lines[found.lastLine]) && found.lastLine + 1 < lines.size()) {
            value.pop_back();
            value += lines[++found.lastLine];
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

std::string programsText(const std::vector<std::string>& entries) {
    std::string text = "programs:\t\t\t\t\t\t\t\t      \\\n";
    for (std::size_t i = 0; i < entries.size(); ++i)
        text += "\t\t\t\t" + entries[i] + "\t\t\t\t    \\n" + (i + 1 < entries.size() ? "\\\n" : "\n");
    return text;
}

std::optional<std::string> readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool writeAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!(out << text) || !out.flush()) return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    std::remove(temporary.c_str());
    return false;
}

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    const passwd* user = getpwuid(getuid());
    return user ? user->pw_dir : ".";
}

}  // namespace

std::optional<std::string> withVelloraProgram(const std::string& fileText) {
    std::vector<std::string> lines = splitLines(fileText);
    std::optional<ProgramsResource> programs = findPrograms(lines);
    if (!programs) return fileText + (fileText.empty() || fileText.back() == '\n' ? "" : "\n") +
                          programsText({xscreensaverEntry});
    for (const std::string& entry : programs->entries)
        if (programOf(entry) == "vellora") return std::nullopt;
    programs->entries.insert(programs->entries.begin(), xscreensaverEntry);
    std::string text;
    for (std::size_t i = 0; i < programs->firstLine; ++i) text += lines[i] + "\n";
    text += programsText(programs->entries);
    for (std::size_t i = programs->lastLine + 1; i < lines.size(); ++i) text += lines[i] + "\n";
    return text;
}

std::string newXscreensaverFile(const std::vector<std::string>& systemPrograms) {
    std::vector<std::string> entries{xscreensaverEntry};
    for (const std::string& entry : systemPrograms)
        if (programOf(entry) != "vellora") entries.push_back(entry);
    return "# Made by vellora --install-xscreensaver from the system's defaults.\n" + programsText(entries);
}

std::vector<std::string> systemDefaultPrograms() {
    if (std::optional<std::string> defaults = readWhole("/etc/X11/app-defaults/XScreenSaver"))
        if (std::optional<ProgramsResource> programs = findPrograms(splitLines(*defaults))) return programs->entries;
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

int installIntoXscreensaver() {
    const std::string path = homeDirectory() + "/.xscreensaver";
    const std::optional<std::string> old = readWhole(path);
    if (!old) {
        if (!writeAtomically(path, newXscreensaverFile(systemDefaultPrograms()))) {
            std::fprintf(stderr, "vellora: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("Made %s with Vellora and the system's screen savers.\n", path.c_str());
        return 0;
    }
    const std::optional<std::string> updated = withVelloraProgram(*old);
    if (!updated) {
        std::printf("%s already names Vellora.\n", path.c_str());
        return 0;
    }
    if (!writeAtomically(path + ".bak", *old) || !writeAtomically(path, *updated)) {
        std::fprintf(stderr, "vellora: cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("Added Vellora to %s (the old file is %s.bak).\n", path.c_str(), path.c_str());
    return 0;
}

}  // namespace vellora::linux_platform
