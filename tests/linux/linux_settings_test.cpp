// The Linux side of the settings: the texts in the session's language, the Linux
// options file and its switches, and the idle start's autostart entry.
#include <gtest/gtest.h>

#include <libintl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/linux/command_line.h"
#include "platform/linux/dialog_text.h"
#include "platform/linux/idle_autostart.h"
#include "platform/linux/linux_options.h"
#include "platform/linux/program_text.h"
#include "resources/gbk_text.h"

namespace vellora::linux_platform {
namespace {

namespace fs = std::filesystem;

CommandLine parsed(std::vector<const char*> args) {
    args.insert(args.begin(), "vellora");
    return parseCommandLine(static_cast<int>(args.size()), args.data(), nullptr);
}

std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A fresh folder under the test's temporary folder, removed afterwards.
class Folder {
public:
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "vellora-linux-settings-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~Folder() { fs::remove_all(path); }
    fs::path path;
};

// Runs with one locale and LANGUAGE unset, putting back what was there.
class InLocale {
public:
    explicit InLocale(const char* name) {
        if (const char* language = std::getenv("LANGUAGE")) savedLanguage_ = language;
        unsetenv("LANGUAGE");
        saved_ = std::setlocale(LC_ALL, nullptr);
        ok = std::setlocale(LC_ALL, name) != nullptr;
        text::startTranslations();
        std::setlocale(LC_ALL, name);
    }
    ~InLocale() {
        std::setlocale(LC_ALL, saved_.c_str());
        if (!savedLanguage_.empty()) setenv("LANGUAGE", savedLanguage_.c_str(), 1);
    }
    bool ok = false;

private:
    std::string saved_, savedLanguage_;
};

TEST(Translations, EachChineseTextIsItsGbkOriginalExactly) {
    InLocale chinese("zh_CN.UTF-8");
    ASSERT_TRUE(chinese.ok) << "the zh_CN.UTF-8 locale is missing: run tools/install-deps.sh";
    ASSERT_TRUE(fs::exists(text::catalogueFolder() + "/zh_CN/LC_MESSAGES/vellora.mo")) << text::catalogueFolder();
    for (std::size_t i = 0; i < text::coreTextCount; ++i) {
        const text::CoreText& core = text::coreTexts[i];
        EXPECT_EQ(text::tr(core.english), text::utf8FromGbk(core.gbk)) << core.english;
        EXPECT_EQ(text::shownFromGbk(core.gbk), text::utf8FromGbk(core.gbk)) << core.english;
    }
    // Every text of the core is in the table: the effect names, messages and the dialog's.
    const char* everyCoreText[] = {gbk::cannotOpenSettings, gbk::cannotOpenImageList, gbk::pictureNotFound,
                                   gbk::cannotSaveSettings, gbk::dialog::title,       gbk::dialog::ok,
                                   gbk::dialog::cancel,     gbk::dialog::imageList,   gbk::dialog::delay,
                                   gbk::dialog::seconds,    gbk::dialog::effect,      gbk::dialog::randomOrder};
    std::vector<const char*> wanted(std::begin(everyCoreText), std::end(everyCoreText));
    wanted.insert(wanted.end(), std::begin(gbk::effectNames), std::end(gbk::effectNames));
    for (const char* gbk : wanted) {
        bool found = false;
        for (std::size_t i = 0; i < text::coreTextCount; ++i) found = found || std::strcmp(text::coreTexts[i].gbk, gbk) == 0;
        EXPECT_TRUE(found) << text::utf8FromGbk(gbk);
    }
    EXPECT_EQ(text::shownCaption("ERROR"), "ERROR");
    EXPECT_EQ(text::shownCaption("/home/用户/.config/vellora/Tessaview.ini"), "/home/用户/.config/vellora/Tessaview.ini");
}

TEST(Translations, EnglishInTheCLocaleAndInLanguagesWithoutACatalogue) {
    for (const char* name : {"C", "en_US.UTF-8"}) {
        InLocale other(name);
        if (!other.ok) GTEST_SKIP() << name << " is missing: run tools/install-deps.sh";
        for (std::size_t i = 0; i < text::coreTextCount; ++i)
            EXPECT_STREQ(text::tr(text::coreTexts[i].english), text::coreTexts[i].english) << name;
        EXPECT_EQ(text::shownFromGbk(gbk::effectNames[9]), "Mosaic") << name;
        EXPECT_EQ(text::shownFromGbk("\xC3\xEB\xC3\xEB"), "秒秒") << "not a core text: converted as it is";
    }
}

TEST(LinuxOptions, SwitchesOnTheCommandLineWinForOneRun) {
    // `on` and `given` have a bit per row of linuxOptions: fit, upright, paced,
    // shuffle, caption, backdrop.
    struct Case {
        std::vector<const char*> args;
        std::uint32_t on, given;
    } cases[] = {
        {{}, 0, 0},
        {{"--fit"}, 1, 1},
        {{"--no-fit"}, 0, 1},
        {{"--fit", "--no-fit"}, 0, 1},
        {{"--upright", "--paced", "--shuffle"}, 14, 14},
        {{"--no-shuffle", "--no-paced"}, 0, 12},
        {{"--caption"}, 16, 16},
        {{"--backdrop", "--fit"}, 33, 33},
        {{"--root", "--backdrop", "--caption", "--caption"}, 48, 48},
        {{"--no-caption", "--backdrop", "--no-backdrop"}, 0, 48},
    };
    for (const Case& c : cases) {
        const CommandLine got = parsed(c.args);
        ASSERT_NE(got.form, ShowForm::invalid);
        for (std::size_t i = 0; i < linuxOptionCount; ++i)
            EXPECT_EQ(got.*linuxOptions[i].value, (c.on >> i) & 1) << linuxOptions[i].key;
        EXPECT_EQ(got.linuxOptionsGiven, c.given);
        // The options file gives every option on; only those not given take it.
        Folder home;
        setenv("XDG_CONFIG_HOME", home.path.c_str(), 1);
        fs::create_directories(home.path / "vellora");
        writeText(home.path / "vellora" / "Options.ini",
                  "[Show]\nfit=true\nupright=true\npaced=true\nshuffle=true\ncaption=true\nbackdrop=true\n");
        CommandLine run = got;
        applyLinuxOptionsFile(run);
        for (std::size_t i = 0; i < linuxOptionCount; ++i)
            EXPECT_EQ(run.*linuxOptions[i].value, (c.given & (1u << i)) ? got.*linuxOptions[i].value : true)
                << linuxOptions[i].key;
        unsetenv("XDG_CONFIG_HOME");
    }
    EXPECT_EQ(parsed({"--no-fit", "--settings"}).form, ShowForm::invalid);
    for (const char* invalid : {"--no-such", "--captions", "--backdrop=1"}) EXPECT_EQ(parsed({invalid}).form, ShowForm::invalid);
}

TEST(LinuxOptions, ReadAndKeptWithEverythingElseInTheFile) {
    const std::string text =
        "# my own comment\n[Show]\n# about fit\nfit=true\nfuture=42\n\n[Elsewhere]\nkey=value ü\n";
    const LinuxOptionsFile read = parseLinuxOptions(text);
    ASSERT_EQ(read.state, LinuxOptionsFile::State::read);
    EXPECT_EQ(read.values, (LinuxOptionValues{true, false, false, false}));
    const std::optional<std::string> saved = withLinuxOptions(text, {false, true, false, true});
    ASSERT_TRUE(saved);
    for (const char* kept : {"# my own comment\n", "# about fit\n", "future=42\n", "[Elsewhere]\n", "key=value ü\n"})
        EXPECT_NE(saved->find(kept), std::string::npos) << kept << " in\n" << *saved;
    EXPECT_EQ(parseLinuxOptions(*saved).values, (LinuxOptionValues{false, true, false, true}));
    EXPECT_EQ(parseLinuxOptions("").state, LinuxOptionsFile::State::read);
    EXPECT_EQ(parseLinuxOptions("").values, LinuxOptionValues{});
}

TEST(LinuxOptions, ADamagedFileGivesTheDefaultsAndIsNeverWrittenOver) {
    Folder folder;
    const fs::path path = folder.path / "vellora" / "Options.ini";
    for (const std::string& damaged : {std::string("fit=true\n"), std::string("[Show]\nfit=maybe\n"),
                                       std::string("[Show\nfit=true\n"), std::string("[Show]\nfit=true\n\xFF\xFE\n")}) {
        const LinuxOptionsFile read = parseLinuxOptions(damaged);
        EXPECT_EQ(read.state, LinuxOptionsFile::State::damaged) << damaged;
        EXPECT_EQ(read.values, LinuxOptionValues{}) << damaged;
        EXPECT_FALSE(read.problem.empty());
        fs::create_directories(path.parent_path());
        writeText(path, damaged);
        EXPECT_FALSE(saveLinuxOptions(path, {true, true, true, true})) << damaged;
        EXPECT_EQ(fileText(path), damaged);
    }
    // Unreadable: damaged too, and left as it is.
    writeText(path, "[Show]\nfit=true\n");
    chmod(path.c_str(), 0);
    if (geteuid() != 0) {
        EXPECT_EQ(readLinuxOptions(path).state, LinuxOptionsFile::State::damaged);
        EXPECT_FALSE(saveLinuxOptions(path, {}));
    }
    chmod(path.c_str(), 0600);
}

TEST(LinuxOptions, SavedAtomicallyKeepingTheModeAndMakingTheFolder) {
    Folder folder;
    const fs::path path = folder.path / "new" / "vellora" / "Options.ini";
    ASSERT_TRUE(saveLinuxOptions(path, {true, false, true, false}));
    EXPECT_EQ(readLinuxOptions(path).values, (LinuxOptionValues{true, false, true, false}));
    chmod(path.c_str(), 0640);
    writeText(path, fileText(path) + "# kept\n");
    ASSERT_TRUE(saveLinuxOptions(path, {false, false, false, true}));
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms(0640));
    EXPECT_NE(fileText(path).find("# kept"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(path.parent_path()), fs::directory_iterator()), 1)
        << "a temporary file was left behind";
    EXPECT_EQ(readLinuxOptions(folder.path / "none.ini").state, LinuxOptionsFile::State::missing);
}

TEST(IdleAutostart, TheDialogsEntryAndTheUsersOwn) {
    Folder folder;
    setenv("XDG_CONFIG_HOME", folder.path.c_str(), 1);
    const std::string path = autostartPath();
    EXPECT_EQ(path, (folder.path / "autostart" / "vellora-idle.desktop").string());
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(readIdleAutostart(path).state, IdleAutostart::State::off);
    EXPECT_EQ(readIdleAutostart(path).minutes, "10");

    ASSERT_TRUE(switchIdleAutostart(path, true, "2.5"));
    EXPECT_NE(fileText(path).find("\nExec=vellora --idle 2.5\n"), std::string::npos);
    EXPECT_EQ(readIdleAutostart(path).state, IdleAutostart::State::on);
    EXPECT_EQ(readIdleAutostart(path).minutes, "2.5");
    EXPECT_FALSE(switchIdleAutostart(path, true, "0")) << "not minutes --idle takes";
    EXPECT_FALSE(switchIdleAutostart(path, true, "abc"));
    ASSERT_TRUE(switchIdleAutostart(path, true, "15"));
    EXPECT_EQ(fileText(path), autostartEntry("15"));
    ASSERT_TRUE(switchIdleAutostart(path, false, "15"));
    EXPECT_FALSE(fs::exists(path));
    ASSERT_TRUE(switchIdleAutostart(path, false, "15")) << "off and already off";

    // An entry edited by hand (or the package's copied) is the user's: never changed or removed.
    for (const std::string& own : {autostartEntry("10") + "X-Mine=1\n", std::string("[Desktop Entry]\nExec=vellora --idle 5 --fit\n"),
                                  std::string("garbage")}) {
        writeText(path, own);
        EXPECT_EQ(readIdleAutostart(path).state, IdleAutostart::State::userEdited) << own;
        EXPECT_FALSE(switchIdleAutostart(path, false, "10"));
        EXPECT_FALSE(switchIdleAutostart(path, true, "10"));
        EXPECT_EQ(fileText(path), own);
    }
    EXPECT_EQ(minutesOfEntry(autostartEntry("0.5")), "0.5");
    EXPECT_FALSE(minutesOfEntry(autostartEntry("0")));
}

}  // namespace
}  // namespace vellora::linux_platform
