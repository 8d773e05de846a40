#include <gtest/gtest.h>

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
    const std::optional<std::string> added = withVelloraProgram(daemonFile);
    ASSERT_TRUE(added);
    EXPECT_NE(added->find("\t\t\t\tvellora --root\t\t\t\t    \\n\\\n\t\t\t\tmaze --root"), std::string::npos) << *added;
    for (const char* kept : {"timeout:\t\t0:10:00\n", "GL: \t\t\t\tsuperquadrics --root", "-\t\t\t\tnoseguy --root",
                             "pointerHysteresis: 10\n"})
        EXPECT_NE(added->find(kept), std::string::npos) << kept;
    EXPECT_FALSE(withVelloraProgram(*added)) << "a second run changes nothing";
}

TEST(XscreensaverSetup, RecognisesVelloraHoweverItIsListed) {
    for (const char* entry : {"vellora --root", "-  vellora --root --fit", "GL: vellora", "\"Pictures\" /usr/bin/vellora --root",
                              "- GL: \"My show\" /usr/libexec/xscreensaver/vellora --root"}) {
        const std::string file = std::string("programs: maze --root \\n\\\n ") + entry + " \\n\n";
        EXPECT_FALSE(withVelloraProgram(file)) << entry;
    }
    EXPECT_TRUE(withVelloraProgram("programs: vellora-like --root \\n\n"));
}

TEST(XscreensaverSetup, MakesAProgramsResourceWhereThereIsNone) {
    for (const std::string file : {"", "mode: one\n", "mode: one"}) {
        const std::optional<std::string> added = withVelloraProgram(file);
        ASSERT_TRUE(added);
        EXPECT_EQ(added->rfind(file, 0), 0u);
        EXPECT_NE(added->find("programs:"), std::string::npos);
        EXPECT_FALSE(withVelloraProgram(*added));
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

}  // namespace
}  // namespace vellora::linux_platform
