#include <gtest/gtest.h>

#include <random>

#include "platform/test/test_platform.h"
#include "slideshow/settings_file.h"

namespace vellora {
namespace {

const std::string settingsPath = "C:\\WINDOWS\\Tessaview.ini";

Settings readBytes(const std::string& bytes) {
    test::MemoryFiles files;
    files.files["f"] = bytes;
    Settings settings;
    readSettings(*files.openForReading("f"), settings);
    return settings;
}

void expectSettings(const Settings& got, const Settings& want, const std::string& label) {
    EXPECT_EQ(got.imageListPath, want.imageListPath) << label;
    EXPECT_EQ(got.effectIndex, want.effectIndex) << label;
    EXPECT_EQ(got.delaySeconds, want.delaySeconds) << label;
    EXPECT_EQ(got.randomOrder, want.randomOrder) << label;
}

TEST(SettingsFile, ReadsAsTheStreamLibraryDoes) {
    const std::string p259(259, 'p'), p260(260, 'p'), p300(300, 'p');
    struct Case {
        const char* label;
        std::string bytes;
        Settings want;
    } cases[] = {
        {"empty file", "", {"", 0, 5, 0}},
        {"path only", "C:\\list.txt", {"C:\\list.txt", 0, 5, 0}},
        {"path line only", "C:\\list.txt\r\n", {"C:\\list.txt", 0, 5, 0}},
        {"CR LF", "C:\\my list.txt\r\n9\r\n10\r\n1", {"C:\\my list.txt", 9, 10, 1}},
        {"LF", "C:\\l\n9\n10\n1\n", {"C:\\l", 9, 10, 1}},
        {"numbers on one line", "C:\\l\n9 10 1", {"C:\\l", 9, 10, 1}},
        {"blank lines between numbers", "C:\\l\n\n9\n\n\n10\r\n\r\n1", {"C:\\l", 9, 10, 1}},
        {"12abc", "C:\\l\n12abc\n3\n1", {"C:\\l", 12, 5, 0}},
        {"negative row", "C:\\l\n-1\n", {"C:\\l", -1, 5, 0}},
        {"32-bit extremes", "C:\\l\n-2147483648\n2147483647\n+7", {"C:\\l", -2147483648, 2147483647, 7}},
        {"too large a number", "C:\\l\n2147483648\n3\n1", {"C:\\l", 0, 5, 0}},
        {"a sign and no digit", "C:\\l\n- 3\n", {"C:\\l", 0, 5, 0}},
        {"lone CR in the path", "a\rb\n4", {"a\rb", 4, 5, 0}},
        {"259-byte path", p259 + "\n1\n2\n3", {p259, 1, 2, 3}},
        {"260-byte path", p260 + "\n1\n2\n3", {p259, 0, 5, 0}},
        {"300-byte path", p300 + "\r\n1\r\n2\r\n3", {p259, 0, 5, 0}},
        {"text after the fourth value", "C:\\l\n1\n2\n3\nmore", {"C:\\l", 1, 2, 3}},
        {"Ctrl-Z ends the text", "C:\\l\r\n9\r\n\x1a" "10\r\n1", {"C:\\l", 9, 5, 0}},
        {"Ctrl-Z at the end", "C:\\l\r\n9\r\n10\r\n1\x1a", {"C:\\l", 9, 10, 1}},
    };
    for (const Case& c : cases) expectSettings(readBytes(c.bytes), c.want, c.label);
}

class SettingsWrite : public ::testing::Test {
protected:
    void SetUp() override { platform.install(); }
    test::TestPlatform platform;
    test::MemoryFiles& files = platform.memoryFiles();
};

TEST_F(SettingsWrite, WritesTheExactLayout) {
    ASSERT_TRUE(writeSettings({"C:\\pics.txt", 9, 10, 1}));
    EXPECT_EQ(files.files.at(settingsPath), "C:\\pics.txt\r\n9\r\n10\r\n1");
    EXPECT_EQ(files.files.size(), 1u) << "no temporary file stays behind";
}

TEST_F(SettingsWrite, RoundTripsAnyNumbersAndPaths) {
    std::mt19937 gen(7);
    std::uniform_int_distribution<std::int64_t> number(INT32_MIN, INT32_MAX);
    std::uniform_int_distribution<int> byte(1, 255), length(0, 259);
    for (int i = 0; i < 300; ++i) {
        Settings want;
        for (int n = length(gen); n > 0; --n) {
            char c = static_cast<char>(byte(gen));
            // No file name holds a line end or a Ctrl-Z, which ends the text.
            if (c != '\n' && c != '\x1a') want.imageListPath.push_back(c);
        }
        if (i == 1) want.imageListPath = "C:\\x\r";  // a CR right before the line end stays in the path
        want.effectIndex = static_cast<std::int32_t>(number(gen));
        want.delaySeconds = i == 0 ? INT32_MIN : static_cast<std::int32_t>(number(gen));
        want.randomOrder = i == 0 ? INT32_MAX : static_cast<std::int32_t>(number(gen));
        ASSERT_TRUE(writeSettings(want));
        Settings got{"junk", 1, 2, 3};
        readSettings(*openSettingsFile(), got);
        expectSettings(got, want, "round trip " + std::to_string(i));
    }
}

TEST_F(SettingsWrite, ALeftOverTemporaryFileDoesNotBlockTheSave) {
    const std::string temporary = "C:\\WINDOWS\\Tessaview.new";
    for (bool readOnly : {false, true}) {
        files.files[temporary] = "left over from an interrupted save";
        if (readOnly) files.readOnly.insert(temporary);
        EXPECT_TRUE(writeSettings({"C:\\new.txt", 1, 2, 3})) << readOnly;
        EXPECT_EQ(files.files.at(settingsPath), "C:\\new.txt\r\n1\r\n2\r\n3") << readOnly;
        EXPECT_EQ(files.files.count(temporary), 0u) << readOnly;
    }
}

TEST_F(SettingsWrite, APathTooLongForItsBufferCannotBeOpenedOrSaved) {
    files.windowsDir = "C:\\" + std::string(242, 'w');  // 245 + 14 = 259 bytes: still fits
    files.files[files.windowsDir + "\\Tessaview.ini"] = "x";
    EXPECT_NE(openSettingsFile(), nullptr);
    files.windowsDir += "w";
    files.files[files.windowsDir + "\\Tessaview.ini"] = "x";
    EXPECT_EQ(openSettingsFile(), nullptr);
    EXPECT_FALSE(writeSettings({}));
}

}  // namespace
}  // namespace vellora
