#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include "platform/linux/xscreensaver_setup.h"

namespace vellora::linux_platform {
namespace {

// The programs resource as the daemon writes it.
const std::string daemonFile =
    "timeout:\t\t0:10:00\n"
    "programs:\t\t\t\t\t\t\t\t      \\\n"
    "\t\t\t\tmaze --root\t\t\t\t    \\n\\\n"
    "  GL: \t\t\t\tsuperquadrics --root\t\t\t    \\n\\\n"
    "-\t\t\t\tnoseguy --root\t\t\t\t    \\n\\\n\n"
    "pointerHysteresis: 10\n";

TEST(XscreensaverSetup, AddsVelloraOnceAndKeepsEverythingElse) {
    const std::optional<std::string> added = withVelloraProgram(daemonFile, {});
    ASSERT_TRUE(added);
    EXPECT_NE(added->find("\t\t\t\tvellora --root\t\t\t\t    \\n\\\n\t\t\t\tmaze --root"), std::string::npos) << *added;
    for (const char* kept : {"timeout:\t\t0:10:00\n", "GL: \t\t\t\tsuperquadrics --root", "-\t\t\t\tnoseguy --root",
                             "pointerHysteresis: 10\n"})
        EXPECT_NE(added->find(kept), std::string::npos) << kept;
    EXPECT_FALSE(withVelloraProgram(*added, {})) << "a second run changes nothing";
}

TEST(XscreensaverSetup, RecognisesVelloraHoweverItIsListed) {
    for (const char* entry : {"vellora --root", "-  vellora --root --fit", "GL: vellora", "\"Pictures\" /usr/bin/vellora --root",
                              "- GL: \"My show\" /usr/libexec/xscreensaver/vellora --root"}) {
        const std::string file = std::string("programs: maze --root \\n\\\n ") + entry + " \\n\n";
        EXPECT_FALSE(withVelloraProgram(file, {})) << entry;
    }
    EXPECT_TRUE(withVelloraProgram("programs: vellora-like --root \\n\n", {}));
}

TEST(XscreensaverSetup, AFileWithoutAProgramsResourceKeepsTheDaemonsDefaults) {
    const std::vector<std::string> defaults{"maze --root", "GL: gears --root", "vellora --root"};
    for (const std::string file : {"", "mode: random\n", "mode: random", "mode: random\r\ntimeout: 0:05:00\r\n"}) {
        const std::optional<std::string> added = withVelloraProgram(file, defaults);
        ASSERT_TRUE(added);
        EXPECT_EQ(added->rfind(file, 0), 0u);
        const auto vellora = added->find("vellora --root"), maze = added->find("maze --root"), gears = added->find("gears");
        EXPECT_LT(vellora, maze) << file;
        EXPECT_LT(maze, gears) << file << ": the daemon's defaults are gone";
        EXPECT_EQ(added->find("vellora --root", vellora + 1), std::string::npos) << "listed twice";
        EXPECT_FALSE(withVelloraProgram(*added, defaults));
    }
}

// A file written with CR LF line ends reads as the same file with LF ones, and the
// lines Vellora adds end as the others do.
TEST(XscreensaverSetup, CrLfLineEndsReadAsLf) {
    const std::string lfFiles[] = {daemonFile, "programs: maze --root \\n\\\n  gears --root \\n\nmode: one\n",
                                   "programs: \\\n\\\n  maze --root\n", "mode: one\n"};
    for (const std::string& lf : lfFiles) {
        std::string crlf;
        for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        const std::optional<std::string> fromLf = withVelloraProgram(lf, {"maze --root"});
        const std::optional<std::string> fromCrlf = withVelloraProgram(crlf, {"maze --root"});
        ASSERT_TRUE(fromLf && fromCrlf) << lf;
        std::string withoutCr = *fromCrlf;
        std::erase(withoutCr, '\r');
        EXPECT_EQ(withoutCr, *fromLf) << crlf;
        for (std::size_t at = fromCrlf->find('\n'); at != std::string::npos; at = fromCrlf->find('\n', at + 1))
            EXPECT_EQ((*fromCrlf)[at - 1], '\r') << "a bare LF at " << at << " in " << *fromCrlf;
        EXPECT_FALSE(withVelloraProgram(*fromCrlf, {})) << *fromCrlf;
    }
}

TEST(XscreensaverSetup, ANewFileListsVelloraFirstThenTheSystemsHacks) {
    const std::string made = newXscreensaverFile({"maze --root", "GL: gears --root", "vellora --root"});
    const auto vellora = made.find("vellora --root"), maze = made.find("maze --root"), gears = made.find("gears");
    EXPECT_LT(vellora, maze);
    EXPECT_LT(maze, gears);
    EXPECT_EQ(made.find("vellora --root", vellora + 1), std::string::npos) << "listed twice";
    EXPECT_EQ(made.substr(made.size() - 3), "\\n\n") << "the last entry goes on on no further line";
}

namespace fs = std::filesystem;

std::optional<std::string> bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!fs::is_regular_file(path) || !in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void put(const fs::path& path, const std::string& bytes, mode_t mode) {
    std::ofstream(path, std::ios::binary) << bytes;
    chmod(path.c_str(), mode);
}

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 07777;
}

// A user who is not the superuser, for whom permissions count.
constexpr uid_t nobody = 65534;

// Runs the installation in a child process as an ordinary user (the superuser gives
// its rights up first); its exit code, or -1.
int installAsUser(const fs::path& home) {
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(nobody) != 0 || setuid(nobody) != 0)) _exit(99);
        _exit(installIntoXscreensaver(home.string()));
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// The user's file as it is left: replaced through links, with its mode and a backup
// of the same mode, or, when it cannot be read, not touched at all.
TEST(XscreensaverSetup, TheUsersFileIsNeverLost) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& home)> prepare;
        int exitCode;
        const char* file;  // where the text is, under the home folder
        mode_t mode;
        bool rootsOwn = false;  // the file belongs to the superuser, not to the user
    };
    const std::vector<Case> cases = {
        {"a 0600 file", [](const fs::path& h) { put(h / ".xscreensaver", daemonFile, 0600); }, 0, ".xscreensaver", 0600},
        {"a 0444 file", [](const fs::path& h) { put(h / ".xscreensaver", daemonFile, 0444); }, 0, ".xscreensaver", 0444},
        {"a link to a file in another folder",
         [](const fs::path& h) {
             fs::create_directory(h / "dotfiles");
             put(h / "dotfiles/xscreensaver", daemonFile, 0640);
             fs::create_symlink("dotfiles/xscreensaver", h / ".xscreensaver");
         },
         0, "dotfiles/xscreensaver", 0640},
        {"a link to a link",
         [](const fs::path& h) {
             fs::create_directory(h / "dotfiles");
             put(h / "dotfiles/xscreensaver", daemonFile, 0600);
             fs::create_symlink(h / "dotfiles/xscreensaver", h / "dotfiles/current");
             fs::create_symlink("dotfiles/current", h / ".xscreensaver");
         },
         0, "dotfiles/xscreensaver", 0600},
        {"a link to a file not made yet",
         [](const fs::path& h) {
             fs::create_directory(h / "dotfiles");
             fs::create_symlink("dotfiles/xscreensaver", h / ".xscreensaver");
         },
         0, "dotfiles/xscreensaver", 0644},
        {"no file", [](const fs::path&) {}, 0, ".xscreensaver", 0644},
        {"a file the user may not read", [](const fs::path& h) { put(h / ".xscreensaver", daemonFile, 0); }, 1,
         ".xscreensaver", 0},
        {"the superuser's 0600 file", [](const fs::path& h) { put(h / ".xscreensaver", daemonFile, 0600); }, 1,
         ".xscreensaver", 0600, true},
        {"a folder in its place", [](const fs::path& h) { fs::create_directory(h / ".xscreensaver"); }, 1,
         ".xscreensaver", 0755},
    };
    const mode_t oldMask = umask(022);
    for (const Case& c : cases) {
        if (c.rootsOwn && geteuid() != 0) continue;  // only the superuser can make that file
        std::string pattern = (fs::temp_directory_path() / "vellora-xss-XXXXXX").string();
        ASSERT_TRUE(mkdtemp(pattern.data()));
        const fs::path home = pattern;
        c.prepare(home);
        if (geteuid() == 0) {
            ASSERT_EQ(chown(home.c_str(), nobody, nobody), 0);
            for (const auto& entry : fs::recursive_directory_iterator(home))
                ASSERT_TRUE(c.rootsOwn || lchown(entry.path().c_str(), nobody, nobody) == 0);
        }
        const std::optional<std::string> before = bytesOf(home / c.file);
        const bool linked = fs::is_symlink(home / ".xscreensaver");

        EXPECT_EQ(installAsUser(home), c.exitCode) << c.name;
        EXPECT_EQ(modeOf(home / c.file), c.mode) << c.name;
        EXPECT_EQ(fs::is_symlink(home / ".xscreensaver"), linked) << c.name;
        if (c.exitCode != 0) {
            EXPECT_EQ(bytesOf(home / c.file), before) << c.name;
            EXPECT_FALSE(fs::exists(home / ".xscreensaver.bak")) << c.name;
        } else {
            const std::optional<std::string> after = bytesOf(home / c.file);
            ASSERT_TRUE(after) << c.name;
            EXPECT_NE(after->find(xscreensaverEntry), std::string::npos) << c.name;
            EXPECT_EQ(bytesOf(home / ".xscreensaver.bak"), before) << c.name;
            if (before) {
                EXPECT_EQ(modeOf(home / ".xscreensaver.bak"), c.mode) << c.name << ": the backup's mode";
            }
            // A second run finds Vellora and changes nothing.
            EXPECT_EQ(installAsUser(home), 0) << c.name;
            EXPECT_EQ(bytesOf(home / c.file), after) << c.name;
            EXPECT_EQ(bytesOf(home / ".xscreensaver.bak"), before) << c.name;
        }
        const std::set<std::string> known{".xscreensaver", ".xscreensaver.bak", "dotfiles", "xscreensaver", "current"};
        for (const auto& entry : fs::recursive_directory_iterator(home))
            EXPECT_TRUE(known.count(entry.path().filename())) << c.name << ": left behind " << entry.path();
        fs::remove_all(home);
    }
    umask(oldMask);
}

}  // namespace
}  // namespace vellora::linux_platform
