// The native program's own decisions that need no display: its command line and
// the text conversion of its message boxes.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/linux/command_line.h"
#include "platform/linux/dialog_text.h"
#include "platform/linux/folder_catalogue.h"
#include "platform/linux/linux_internal.h"
#include "platform/linux/show_options.h"
#include "platform/linux/show_pid_file.h"
#include "platform/linux/user_files.h"
#include "platform/linux/window_timers.h"
#include "resources/gbk_text.h"
#include "slideshow/picture_source.h"
#include "slideshow/settings_file.h"
#include "slideshow/slide_state.h"

#include <stdlib.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>

namespace vellora::linux_platform {
namespace {

// The command line `vellora ARGS...`, as the program parses it.
CommandLine parsed(const std::vector<const char*>& args, const char* screensaverWindow = nullptr) {
    std::vector<const char*> argv{"vellora"};
    argv.insert(argv.end(), args.begin(), args.end());
    return parseCommandLine(static_cast<int>(argv.size()), argv.data(), screensaverWindow);
}

std::string joined(const std::vector<const char*>& args) {
    std::string text;
    for (const char* a : args) text += std::string(a) + " ";
    return text;
}

TEST(CommandLine, FormsAndWindowIds) {
    struct Case {
        std::vector<const char*> args;
        const char* screensaverWindow;
        ShowForm form;
        unsigned long window;
    };
    const std::vector<Case> cases = {
        {{}, nullptr, ShowForm::fullScreen, 0},
        {{"--window-id", "12345"}, nullptr, ShowForm::intoWindow, 12345},
        {{"--window-id", "0x1A00003"}, nullptr, ShowForm::intoWindow, 0x1A00003},
        {{"--window-id", "0XaBc"}, nullptr, ShowForm::intoWindow, 0xABC},
        {{"--window-id", "0xFFFFFFFF"}, nullptr, ShowForm::intoWindow, 0xFFFFFFFFul},
        {{"--root"}, nullptr, ShowForm::root, 0},
        {{"--root"}, "0x400001", ShowForm::root, 0x400001},
        {{"--root"}, "junk", ShowForm::root, 0},
        {{"--root", "--window-id", "77"}, "0x400001", ShowForm::intoWindow, 77},
        {{"--window-id", "77", "--root"}, nullptr, ShowForm::intoWindow, 77},
        {{"--window"}, nullptr, ShowForm::ownWindow, 0},
        {{"--help"}, nullptr, ShowForm::help, 0},
        {{"--root", "--help"}, nullptr, ShowForm::help, 0},
        {{"--window-id"}, nullptr, ShowForm::invalid, 0},
        {{"--window-id", "0"}, nullptr, ShowForm::invalid, 0},
        {{"--window-id", "0x"}, nullptr, ShowForm::invalid, 0},
        {{"--window-id", "12ab"}, nullptr, ShowForm::invalid, 0},
        {{"--window-id", "-5"}, nullptr, ShowForm::invalid, 0},
        {{"--window-id", "0x100000000"}, nullptr, ShowForm::invalid, 0},
        {{"--window-id", "99999999999999999999999"}, nullptr, ShowForm::invalid, 0},
        {{"-root"}, nullptr, ShowForm::invalid, 0},
        {{"/s"}, nullptr, ShowForm::invalid, 0},
        {{"--settings"}, nullptr, ShowForm::settings, 0},
        {{"--install-xscreensaver"}, nullptr, ShowForm::installXscreensaver, 0},
        {{"--settings", "--root"}, nullptr, ShowForm::invalid, 0},
        {{"--stop"}, nullptr, ShowForm::stop, 0},
        {{"--stop", "--window"}, nullptr, ShowForm::invalid, 0},
        {{"--x11", "--window"}, nullptr, ShowForm::ownWindow, 0},
        {{"--root", "--fit", "--upright", "--paced"}, "0x400001", ShowForm::root, 0x400001},
    };
    for (const Case& c : cases) {
        const CommandLine got = parsed(c.args, c.screensaverWindow);
        const std::string text = joined(c.args);
        EXPECT_EQ(static_cast<int>(got.form), static_cast<int>(c.form)) << text;
        EXPECT_EQ(got.window, c.window) << text;
    }
}

TEST(CommandLine, ShowOptionsOverrideForOneRun) {
    struct Case {
        std::vector<const char*> args;
        bool valid;
        SettingsOverrides want;
    };
    const std::vector<Case> cases = {
        {{}, true, {}},
        {{"--list", "/home/me/list.txt"}, true, {"/home/me/list.txt", {}, {}, {}}},
        {{"--list", "-", "--shuffle"}, true, {"-", {}, {}, {}}},
        {{"--list", "/home/me/Pictures/"}, true, {"/home/me/Pictures/", {}, {}, {}}},
        {{"--effect", "0", "--effect", "19"}, true, {{}, 19, {}, {}}},
        {{"--delay", "0"}, true, {{}, {}, 0, {}}},
        {{"--delay", "2147483647", "--random"}, true, {{}, {}, 2147483647, 1}},
        {{"--random", "--no-random"}, true, {{}, {}, {}, 0}},
        {{"--effect", "20"}, false, {}},
        {{"--effect", "-1"}, false, {}},
        {{"--effect", "3x"}, false, {}},
        {{"--delay", "-1"}, false, {}},
        {{"--delay", "2147483648"}, false, {}},
        {{"--delay"}, false, {}},
        {{"--list", ""}, false, {}},
        {{"--list", "a\nb"}, false, {}},
        {{"--list", "a\x1a"}, false, {}},
    };
    for (const Case& c : cases) {
        const CommandLine got = parsed(c.args);
        const std::string text = joined(c.args);
        EXPECT_EQ(got.form != ShowForm::invalid, c.valid) << text;
        if (!c.valid) continue;
        EXPECT_EQ(got.overrides.imageListPath, c.want.imageListPath) << text;
        EXPECT_EQ(got.overrides.effectIndex, c.want.effectIndex) << text;
        EXPECT_EQ(got.overrides.delaySeconds, c.want.delaySeconds) << text;
        EXPECT_EQ(got.overrides.randomOrder, c.want.randomOrder) << text;
        EXPECT_EQ(got.shuffle, text.find("--shuffle") != std::string::npos) << text;
    }
}

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(CommandLine, MonitorAreaOfAShowStartedForAnotherMonitor) {
    struct Case {
        std::vector<const char*> args;
        ShowForm form;
        std::optional<MonitorArea> monitor;
    };
    const std::vector<Case> cases = {
        {{"--monitor-area", "800,0,640,480,216,162"}, ShowForm::fullScreen, MonitorArea{800, 0, 640, 480, 216, 162}},
        {{"--fit", "--monitor-area", "-1920,-5,1920,1080,0,0"}, ShowForm::fullScreen, MonitorArea{-1920, -5, 1920, 1080, 0, 0}},
        {{"--monitor-area", "0,0,65535,65535,65535,65535"}, ShowForm::fullScreen, MonitorArea{0, 0, 65535, 65535, 65535, 65535}},
        {{"--monitor-area", "0,0,640,480,0,0,4294967295"}, ShowForm::fullScreen, MonitorArea{0, 0, 640, 480, 0, 0, 4294967295u}},
        {{"--monitor-area", "0,0,640,480,0,0,0"}, ShowForm::invalid, {}},
        {{"--monitor-area", "0,0,640,480,0,0,4294967296"}, ShowForm::invalid, {}},
        {{"--monitor-area", "0,0,640,480,0,0,7,1"}, ShowForm::invalid, {}},
        {{"--monitor-area", "0,0,0,480,1,1"}, ShowForm::invalid, {}},
        {{"--monitor-area", "0,0,65536,480,1,1"}, ShowForm::invalid, {}},
        {{"--monitor-area", "0,0,640,480,1,-1"}, ShowForm::invalid, {}},
        {{"--monitor-area", "0,0,640,480,1"}, ShowForm::invalid, {}},
        {{"--monitor-area", "0,0,640,480,1,1,"}, ShowForm::invalid, {}},
        {{"--monitor-area", "0,0,640,480,1,1x"}, ShowForm::invalid, {}},
        {{"--monitor-area", "0,,640,480,1,1"}, ShowForm::invalid, {}},
        {{"--monitor-area", "0,0,99999999999999999999,480,1,1"}, ShowForm::invalid, {}},
        {{"--monitor-area"}, ShowForm::invalid, {}},
        {{"--root", "--monitor-area", "0,0,640,480,1,1"}, ShowForm::invalid, {}},
        {{"--window", "--monitor-area", "0,0,640,480,1,1"}, ShowForm::invalid, {}},
    };
    for (const Case& c : cases) {
        const CommandLine got = parsed(c.args);
        const std::string text = c.args.size() > 1 ? c.args[c.args.size() - 1] : "";
        EXPECT_EQ(static_cast<int>(got.form), static_cast<int>(c.form)) << text;
        if (c.form != ShowForm::invalid) {
            EXPECT_EQ(got.monitor, c.monitor) << text;
            // The switch's value is what the first process writes for the others.
            EXPECT_EQ(parseMonitorArea(formatMonitorArea(*c.monitor).c_str()), c.monitor) << text;
            EXPECT_EQ(got.arguments, std::vector<std::string>(c.args.begin(), c.args.end())) << text;
        }
    }
}

TEST(CommandLine, IdleWatcherAndTheArgumentsOfItsShow) {
    struct Case {
        std::vector<const char*> args;
        ShowForm form;
        std::uint64_t idleMs;
        std::vector<std::string> showArguments;
    };
    const std::vector<Case> cases = {
        {{"--idle", "10"}, ShowForm::idle, 600'000, {}},
        {{"--fit", "--idle", "0.05", "--delay", "5"}, ShowForm::idle, 3'000, {"--fit", "--delay", "5"}},
        {{"--idle", "1.5", "--list", "--idle"}, ShowForm::idle, 90'000, {"--list", "--idle"}},
        {{"--idle", "0.001"}, ShowForm::idle, 60, {}},
        {{"--idle", "10080"}, ShowForm::idle, 604'800'000, {}},
        {{"--idle", "10080.001"}, ShowForm::invalid, 0, {}},
        {{"--idle", "0"}, ShowForm::invalid, 0, {}},
        {{"--idle", "0.0004"}, ShowForm::invalid, 0, {}},
        {{"--idle", "1."}, ShowForm::invalid, 0, {}},
        {{"--idle", ".5"}, ShowForm::invalid, 0, {}},
        {{"--idle", "-1"}, ShowForm::invalid, 0, {}},
        {{"--idle", "1e3"}, ShowForm::invalid, 0, {}},
        {{"--idle", "99999999999999999999999"}, ShowForm::invalid, 0, {}},
        {{"--idle"}, ShowForm::invalid, 0, {}},
        {{"--idle", "5", "--root"}, ShowForm::invalid, 0, {}},
        {{"--window", "--idle", "5"}, ShowForm::invalid, 0, {}},
        {{"--idle", "5", "--monitor-area", "0,0,640,480,1,1"}, ShowForm::invalid, 0, {}},
    };
    for (const Case& c : cases) {
        const CommandLine got = parsed(c.args);
        const std::string text = joined(c.args);
        EXPECT_EQ(static_cast<int>(got.form), static_cast<int>(c.form)) << text;
        if (c.form != ShowForm::idle) continue;
        EXPECT_EQ(got.idleMs, c.idleMs) << text;
        EXPECT_EQ(got.arguments, c.showArguments) << text;
    }
}

TEST(SettingsFolder, StandsInForTheWindowsDirectory) {
    const std::filesystem::path root = std::filesystem::temp_directory_path() / ("vellora-files-" + std::to_string(getpid()));
    std::filesystem::remove_all(root);
    const std::string savedHome = getenv("HOME") ? getenv("HOME") : "";
    const std::string savedConfig = getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "";
    setenv("HOME", (root / "home").c_str(), 1);
    installPlatform({nullptr, &files(), nullptr, nullptr});

    // A relative XDG_CONFIG_HOME does not count; the default folder is then made on saving.
    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(settingsFilePath(), (root / "home/.config/vellora").string() + "\\Tessaview.ini");
    ASSERT_TRUE(writeSettings(Settings{"/pictures/my list.txt", 9, 10, 1}));
    EXPECT_EQ(fileText(root / "home/.config/vellora/Tessaview.ini"), "/pictures/my list.txt\r\n9\r\n10\r\n1");
    EXPECT_FALSE(std::filesystem::exists(root / "home/.config/vellora/Tessaview.new"));

    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    ASSERT_TRUE(writeSettings(Settings{"a\\b.txt", 3, 5, 0}));
    std::unique_ptr<InputFile> file = openSettingsFile();
    ASSERT_TRUE(file);
    Settings read;
    readSettings(*file, read);
    // Backslashes inside the values are bytes like any other.
    EXPECT_EQ(read.imageListPath, "a\\b.txt");
    EXPECT_EQ(read.effectIndex, 3);
    // Only the folder's own separator is translated: other paths are used as written.
    std::ofstream(root / "a\\b.txt") << "list";
    EXPECT_TRUE(files().openForReading((root / "a\\b.txt").string()));
    EXPECT_FALSE(files().openForReading((root / "a/b.txt").string()));

    setenv("HOME", savedHome.c_str(), 1);
    if (savedConfig.empty()) unsetenv("XDG_CONFIG_HOME"); else setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    installPlatform({});
    std::filesystem::remove_all(root);
}

// Saving from the settings dialog replaces what the settings path leads to: a link
// stays a link, also into another file system, and the file keeps its mode.
TEST(SettingsFolder, ASaveKeepsLinksAndModes) {
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        const char* linkTo;  // relative to the settings folder; nothing: a plain file
        mode_t mode;         // 0: there is no file yet
        bool otherFileSystem = false;
    };
    const std::vector<Case> cases = {
        {"a 0600 file", nullptr, 0600},
        {"a 0444 file", nullptr, 0444},
        {"no file", nullptr, 0},
        {"a link into another folder", "../dotfiles/Tessaview.ini", 0640},
        {"a link to a file not made yet", "../dotfiles/Tessaview.ini", 0},
        {"a link into another file system", "shared/Tessaview.ini", 0600, true},
    };
    const fs::path root = fs::temp_directory_path() / ("vellora-links-" + std::to_string(getpid()));
    const std::string savedConfig = getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "";
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    installPlatform({nullptr, &files(), nullptr, nullptr});
    const mode_t oldMask = umask(022);
    for (const Case& c : cases) {
        fs::remove_all(root);
        const fs::path folder = root / "config/vellora", settings = folder / "Tessaview.ini";
        fs::create_directories(folder);
        fs::create_directories(root / "config/dotfiles");
        fs::path file = settings;
        if (c.otherFileSystem) {
            // A folder of another file system, when the machine has one to offer.
            const fs::path shm = fs::path("/dev/shm") / ("vellora-links-" + std::to_string(getpid()));
            struct stat a {}, b {};
            if (stat("/dev/shm", &a) != 0 || stat(root.c_str(), &b) != 0 || a.st_dev == b.st_dev) continue;
            fs::remove_all(shm);
            fs::create_directory(shm);
            fs::create_symlink(shm, folder / "shared");
        }
        if (c.linkTo) {
            fs::create_symlink(c.linkTo, settings);
            file = fs::weakly_canonical(folder / c.linkTo);
        }
        if (c.mode) {
            std::ofstream(file, std::ios::binary) << "old\r\n1\r\n2\r\n3";
            chmod(file.c_str(), c.mode);
        }
        EXPECT_TRUE(writeSettings(Settings{"/pictures/list.txt", 9, 10, 1})) << c.name;
        EXPECT_EQ(fileText(file), "/pictures/list.txt\r\n9\r\n10\r\n1") << c.name;
        EXPECT_EQ(fs::is_symlink(settings), c.linkTo != nullptr) << c.name;
        struct stat info {};
        EXPECT_EQ(stat(file.c_str(), &info), 0) << c.name;
        EXPECT_EQ(info.st_mode & 07777, c.mode ? c.mode : 0644u) << c.name;
        for (const auto& entry : fs::recursive_directory_iterator(root))
            EXPECT_EQ(entry.path().filename().string().find(".new"), std::string::npos) << c.name << ": " << entry.path();
        if (c.otherFileSystem) fs::remove_all(fs::canonical(folder / "shared"));
    }
    umask(oldMask);
    if (savedConfig.empty()) unsetenv("XDG_CONFIG_HOME"); else setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    installPlatform({});
    fs::remove_all(root);
}

// One home folder for the show's settings and for --install-xscreensaver.
TEST(SettingsFolder, TheHomeFolderIsHomeElseTheAccounts) {
    const std::string savedHome = getenv("HOME") ? getenv("HOME") : "";
    const std::string savedConfig = getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "";
    unsetenv("XDG_CONFIG_HOME");
    const passwd* account = getpwuid(getuid());
    ASSERT_TRUE(account);
    const std::string accountHome = account->pw_dir;
    struct Case {
        const char* home;  // nothing: unset
        std::string want;
    };
    for (const Case& c : {Case{"/home/elsewhere", "/home/elsewhere"}, Case{"", accountHome}, Case{nullptr, accountHome}}) {
        if (c.home) setenv("HOME", c.home, 1); else unsetenv("HOME");
        EXPECT_EQ(homeFolder(), c.want) << (c.home ? c.home : "(unset)");
        EXPECT_EQ(configDirectory(), c.want + "/.config/vellora") << (c.home ? c.home : "(unset)");
    }
    setenv("HOME", savedHome.c_str(), 1);
    if (!savedConfig.empty()) setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
}

// Lines of the settings file and the list hold paths as long as the system takes
// (4096 bytes), not only Windows' 259; a longer line still stops the reading there.
TEST(SettingsFolder, LinesAsLongAsTheSystemsPaths) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("vellora-long-" + std::to_string(getpid()));
    fs::remove_all(root);
    const std::string savedConfig = getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "";
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    fs::create_directories(root / "config/vellora");
    installPlatform({nullptr, &files(), nullptr, nullptr});
    struct Case {
        std::size_t bytes;  // of the list path, and of the list's first line
        bool whole;         // read whole, and the lines after it with it
    };
    for (const Case& c : {Case{262, true}, Case{4096, true}, Case{4097, false}}) {
        const std::string path = "/" + std::string(c.bytes - 1, 'l');
        std::ofstream(root / "config/vellora/Tessaview.ini", std::ios::binary) << path << "\r\n9\r\n10\r\n1";
        std::unique_ptr<InputFile> file = openSettingsFile();
        ASSERT_TRUE(file);
        Settings read;
        readSettings(*file, read);
        EXPECT_EQ(read.imageListPath == path, c.whole) << c.bytes;
        EXPECT_EQ(read.effectIndex, c.whole ? 9 : 0) << c.bytes;
        const std::string list = std::string(c.bytes, 'p') + "\na\nb\n";
        std::ofstream(root / "list.txt", std::ios::binary) << list;
        EXPECT_EQ(countImages((root / "list.txt").string()), c.whole ? 3 : 0) << c.bytes;
        // The same list on standard input, and shuffled.
        for (const std::string& source : {std::string("-"), (root / "list.txt").string()}) {
            FolderCatalogue catalogue;
            catalogue.setStandardInputList(list);
            catalogue.setShuffle(true);
            ASSERT_TRUE(catalogue.takes(source));
            EXPECT_EQ(catalogue.count(), c.whole ? 3 : 0) << c.bytes << " " << source;
        }
    }
    if (savedConfig.empty()) unsetenv("XDG_CONFIG_HOME"); else setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    installPlatform({});
    fs::remove_all(root);
}

// A FIFO, a device or a folder where the settings or a list should be is refused at
// once, as no file; reading it would wait for a writer or read without end.
TEST(SettingsFolder, OnlyRegularFilesAreRead) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("vellora-fifo-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "config/vellora");
    const std::string savedConfig = getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "";
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    installPlatform({nullptr, &files(), nullptr, nullptr});
    const fs::path settings = root / "config/vellora/Tessaview.ini", list = root / "list.txt";
    struct Case {
        fs::path path;
        std::function<bool()> opens;
    };
    const std::vector<Case> cases = {
        {settings, [] { return openSettingsFile() != nullptr; }},
        {list, [&] { return countImages(list.string()).has_value(); }},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(mkfifo(c.path.c_str(), 0600), 0);
        auto opened = std::async(std::launch::async, c.opens);
        // Code that waits for a writer gets one after five seconds, so that it fails instead of hanging.
        bool prompt = true;
        for (int tenth = 0; opened.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready; ++tenth)
            if (tenth >= 50) prompt = false, close(open(c.path.c_str(), O_WRONLY | O_NONBLOCK));
        EXPECT_TRUE(prompt) << c.path;
        EXPECT_FALSE(opened.get()) << c.path;
    }
    EXPECT_FALSE(countImages("/dev/zero"));
    EXPECT_FALSE(countImages(root.string()));
    if (savedConfig.empty()) unsetenv("XDG_CONFIG_HOME"); else setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    installPlatform({});
    fs::remove_all(root);
}

// `--list -` reads standard input to its end, and past its limit ends the list after
// the last whole line instead of cutting a path short.
TEST(CommandLine, AListOnStandardInputEndsAtAWholeLine) {
    struct Case {
        std::string input;
        std::size_t limit;
        std::string list;
    };
    const std::vector<Case> cases = {
        {"a\nbb\nccc", 100, "a\nbb\nccc"},
        {"a\nbb\nccc\n", 9, "a\nbb\nccc\n"},
        {"a\nbb\nccc\n", 8, "a\nbb\n"},
        {"a\nbb\nccc\n", 5, "a\nbb\n"},
        {"a\nbb\nccc\n", 4, "a\n"},
        {"abcdef", 3, ""},
    };
    for (const Case& c : cases) {
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        ASSERT_EQ(write(ends[1], c.input.data(), c.input.size()), static_cast<ssize_t>(c.input.size()));
        close(ends[1]);
        EXPECT_EQ(readListUpTo(ends[0], c.limit), c.list) << c.input << " within " << c.limit;
        close(ends[0]);
    }
}

TEST(WindowTimers, PeriodicWithAtMostOnePendingTick) {
    // Each step: at time T, either ask for a due timer (expecting one or none), or act.
    enum Op { take, set1000, set1, kill, drop, end };
    struct Step {
        std::uint64_t at;
        Op op;
        bool due = false;
    };
    struct Case {
        std::string name;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases = {
        {"periodic from the setting",
         {{0, set1000}, {999, take, false}, {1000, take, true}, {1000, take, false}, {1999, take, false},
          {2000, take, true}}},
        {"a tick that overran three periods leaves one pending, then the next boundary",
         {{0, set1000}, {1000, take, true}, {4500, take, true}, {4500, take, false}, {4999, take, false},
          {5000, take, true}}},
        {"setting again restarts the period",
         {{0, set1000}, {900, set1000}, {1000, take, false}, {1900, take, true}}},
        {"the shortest period is ten milliseconds", {{0, set1}, {9, take, false}, {10, take, true}}},
        {"a killed timer never comes", {{0, set1000}, {500, kill}, {5000, take, false}}},
        {"a dropped expiry waits for the next boundary",
         {{0, set1000}, {2500, drop}, {2500, take, false}, {2999, take, false}, {3000, take, true}}},
        {"a tick that ends within its period keeps the period",
         {{0, set1000}, {1000, take, true}, {1900, end}, {1999, take, false}, {2000, take, true}}},
        {"a tick that overran its period: the next one a whole period after it ended",
         {{0, set1000}, {1000, take, true}, {4500, end}, {4500, take, false}, {5499, take, false}, {5500, take, true},
          {6400, end}, {6500, take, true}}},
        {"a tick that set its timer again and overran the new period",
         {{0, set1}, {10, take, true}, {20, set1000}, {1500, end}, {2499, take, false}, {2500, take, true}}},
    };
    for (const Case& c : cases) {
        WindowTimers timers;
        for (const Step& step : c.steps) {
            switch (step.op) {
            case take:
                EXPECT_EQ(timers.takeDue(step.at).has_value(), step.due) << c.name << " at " << step.at;
                break;
            case set1000:
                timers.set(1, 1000, step.at);
                break;
            case set1:
                timers.set(1, 1, step.at);
                break;
            case kill:
                timers.kill(1);
                break;
            case drop:
                timers.dropPending(step.at);
                break;
            case end:
                timers.tickEnded(1, step.at);
                break;
            }
        }
    }
}

TEST(WindowTimers, TimeToTheNextTick) {
    WindowTimers timers;
    EXPECT_EQ(timers.millisecondsToNext(0), -1);
    timers.set(1, 5000, 0);
    timers.set(2, 300, 0);
    EXPECT_EQ(timers.millisecondsToNext(100), 200);
    EXPECT_EQ(timers.millisecondsToNext(400), 0);
    timers.set(3, 0xFFFFFFFFu, 0);
    timers.kill(1);
    timers.kill(2);
    EXPECT_EQ(timers.millisecondsToNext(0), 60000);  // long waits are taken in parts
}

// The record of the running show is hostile input: only a plain process id counts.
TEST(ShowPidFile, ParsesOnlyPlainProcessIds) {
    const std::vector<std::pair<std::string, std::optional<pid_t>>> cases = {
        {"1234\n", 1234}, {"1234", 1234}, {"99999999", 99999999}, {"007\n", 7},
        {"", std::nullopt}, {"\n", std::nullopt}, {"0", std::nullopt}, {"1", std::nullopt},
        {"123456789", std::nullopt}, {"-5", std::nullopt}, {" 12", std::nullopt}, {"12 ", std::nullopt},
        {"12\n\n", std::nullopt}, {"12a", std::nullopt}, {std::string("12\0", 3), std::nullopt},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(parseProcessId(text), expected) << text;
}

// Each session of a user has a record of its own, named by its display however
// that is spelled, and the name is one file of the folder whatever its bytes.
TEST(ShowPidFile, NamesTheSessionsDisplay) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {waylandRecordName("wayland-1", "/run/user/7"), "vellora.wayland.wayland-1.pid"},
        {waylandRecordName("/run/user/7/wayland-1", "/run/user/7/"), "vellora.wayland.wayland-1.pid"},
        {waylandRecordName("wayland-2", "/run/user/7"), "vellora.wayland.wayland-2.pid"},
        {waylandRecordName("/tmp/w/wayland-1", "/run/user/7"), "vellora.wayland.%2Ftmp%2Fw%2Fwayland-1.pid"},
        {waylandRecordName("../..", "/run/user/7"), "vellora.wayland...%2F...pid"},
        {x11RecordName(":0"), "vellora.x11.:0.pid"},
        {x11RecordName(":0.1"), "vellora.x11.:0.pid"},
        {x11RecordName("unix:0.0"), "vellora.x11.:0.pid"},
        {x11RecordName(":1"), "vellora.x11.:1.pid"},
        {x11RecordName("localhost:10.0"), "vellora.x11.localhost:10.pid"},
        {x11RecordName(std::string("a/\0b", 4)), "vellora.x11.a%2F%00b.pid"},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(name, expected);
    const std::string longest = waylandRecordName(std::string(4000, '/'), "/run/user/7");
    EXPECT_LT(longest.size(), 255u);
    EXPECT_EQ(longest.find('/'), std::string::npos);
    EXPECT_NE(longest, waylandRecordName(std::string(4001, '/'), "/run/user/7"));
}

// A second show finds the first through the record, never itself nor another
// program; where no record can be kept, --stop says so and fails.
TEST(ShowPidFile, FindsOnlyAnotherLiveShowOfTheSameProgram) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("vellora-pid-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    ASSERT_EQ(setenv("XDG_RUNTIME_DIR", folder.c_str(), 1), 0);
    const std::string name = x11RecordName(":7");
    EXPECT_TRUE(recordRunningShow(name));
    EXPECT_TRUE(std::filesystem::exists(folder / name));
    EXPECT_EQ(runningShow(name), std::nullopt) << "this process is no other show";
    forgetRunningShow();
    EXPECT_FALSE(std::filesystem::exists(folder / name));
    std::ofstream(folder / name) << getppid() << "\n";  // alive, but another program
    EXPECT_EQ(runningShow(name), std::nullopt);
    forgetRunningShow();
    EXPECT_TRUE(std::filesystem::exists(folder / name)) << "another process's record stays";
    const char* display = std::getenv("DISPLAY");
    const std::string given = display ? display : "";
    ASSERT_EQ(setenv("DISPLAY", ":7", 1), 0);
    EXPECT_EQ(stopRunningShows(), 0);
    ASSERT_EQ(setenv("XDG_RUNTIME_DIR", (folder / name).c_str(), 1), 0);  // a file, no folder
    EXPECT_FALSE(recordRunningShow(name));
    EXPECT_EQ(stopRunningShows(), 1);
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(stopRunningShows(), 1);
    display ? setenv("DISPLAY", given.c_str(), 1) : unsetenv("DISPLAY");
    std::filesystem::remove_all(folder);
}

}  // namespace

}  // namespace vellora::linux_platform
