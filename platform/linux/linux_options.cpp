#include "platform/linux/linux_options.h"

#include <glib.h>

#include <cstdio>

#include "platform/linux/linux_internal.h"
#include "platform/linux/user_files.h"

namespace vellora::linux_platform {
namespace {

// Far more than a few switches and the comments a user may add.
constexpr std::size_t largestOptionsFile = 1u << 20;

struct KeyFile {
    GKeyFile* file = g_key_file_new();
    ~KeyFile() { g_key_file_free(file); }
    // False, with the reason, for a text that is not a key file.
    bool load(const std::string& text, std::string& problem) {
        GError* error = nullptr;
        if (g_key_file_load_from_data(file, text.data(), text.size(),
                                      static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS), &error))
            return true;
        problem = error ? error->message : "not a key file";
        g_clear_error(&error);
        return false;
    }
};

}  // namespace

std::string linuxOptionsPath() { return configDirectory() + "/" + linuxOptionsFileName; }

LinuxOptionsFile parseLinuxOptions(const std::string& text) {
    LinuxOptionsFile options;
    KeyFile keys;
    if (!keys.load(text, options.problem)) {
        options.state = LinuxOptionsFile::State::damaged;
        return options;
    }
    options.state = LinuxOptionsFile::State::read;
    for (std::size_t i = 0; i < linuxOptionCount; ++i) {
        if (!g_key_file_has_key(keys.file, linuxOptionsGroup, linuxOptions[i].key, nullptr)) continue;
        GError* error = nullptr;
        const gboolean on = g_key_file_get_boolean(keys.file, linuxOptionsGroup, linuxOptions[i].key, &error);
        if (error) {
            options.problem = error->message;
            g_clear_error(&error);
            return {LinuxOptionsFile::State::damaged, {}, options.problem};
        }
        options.values[i] = on;
    }
    return options;
}

std::optional<std::string> withLinuxOptions(const std::string& text, const LinuxOptionValues& values) {
    KeyFile keys;
    std::string problem;
    if (!text.empty() && !keys.load(text, problem)) return std::nullopt;
    for (std::size_t i = 0; i < linuxOptionCount; ++i)
        g_key_file_set_boolean(keys.file, linuxOptionsGroup, linuxOptions[i].key, values[i]);
    gsize length = 0;
    gchar* data = g_key_file_to_data(keys.file, &length, nullptr);
    std::string result(data, length);
    g_free(data);
    return result;
}

LinuxOptionsFile readLinuxOptions(const std::string& path) {
    const UserFile file = readUserFile(path, largestOptionsFile);
    if (file.state == UserFile::State::missing) return {};
    if (file.state == UserFile::State::unreadable) return {LinuxOptionsFile::State::damaged, {}, file.problem};
    return parseLinuxOptions(file.bytes);
}

bool saveLinuxOptions(const std::string& path, const LinuxOptionValues& values) {
    const UserFile old = readUserFile(path, largestOptionsFile);
    if (old.state == UserFile::State::unreadable) return false;
    const LinuxOptionsFile now = old.state == UserFile::State::read ? parseLinuxOptions(old.bytes) : LinuxOptionsFile{};
    if (now.state == LinuxOptionsFile::State::damaged) return false;
    if (now.values == values) return true;
    const std::optional<std::string> text = withLinuxOptions(old.bytes, values);
    if (!text) return false;
    makeFolders(path.substr(0, path.rfind('/')));
    if (old.state == UserFile::State::read) return writeUserFile(path, *text, old.mode, std::pair{old.owner, old.group});
    return writeUserFile(path, *text, newFileMode());
}

void applyLinuxOptionsFile(CommandLine& command) {
    const std::string path = linuxOptionsPath();
    const LinuxOptionsFile file = readLinuxOptions(path);
    if (file.state == LinuxOptionsFile::State::damaged)
        std::fprintf(stderr, text::tr("vellora: %s is damaged (%s); the show runs without its options\n"), path.c_str(),
                     file.problem.c_str());
    for (std::size_t i = 0; i < linuxOptionCount; ++i)
        if (!(command.linuxOptionsGiven & (1u << i))) command.*linuxOptions[i].value = file.values[i];
}

}  // namespace vellora::linux_platform
