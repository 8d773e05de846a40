#include <gtest/gtest.h>

#include "platform/linux/dialog_text.h"

namespace vellora::linux_platform::text {
namespace {

const std::string replacement = "\xEF\xBF\xBD";

TEST(DialogText, GbkAndUtf8BothWays) {
    struct Case {
        std::string gbk, utf8;
    } cases[] = {
        {"\xC3\xEB", "秒"},
        {"C:\\\xCE\xD2\xB5\xC4 list.txt", "C:\\我的 list.txt"},
        {"", ""},
        {"ascii only", "ascii only"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8FromGbk(c.gbk), c.utf8);
        EXPECT_EQ(gbkFromUtf8(c.utf8), c.gbk);
    }
    std::string longGbk, longUtf8;  // far beyond the converter's buffer
    for (int i = 0; i < 500; ++i) longGbk += "\xC3\xEB", longUtf8 += "秒";
    EXPECT_EQ(utf8FromGbk(longGbk), longUtf8);
}

TEST(DialogText, WhatOneSideCannotHoldIsMarkedNotDropped) {
    // A stray or cut-off byte shows as U+FFFD and the text after it survives.
    EXPECT_EQ(utf8FromGbk("a\xFF" "b"), "a" + replacement + "b");
    EXPECT_EQ(utf8FromGbk("a\xC3"), "a" + replacement);
    EXPECT_EQ(utf8FromGbk("\xFF\xFF" "z"), replacement + replacement + "z");
    // A character without a GBK form becomes one '?', as the ANSI conversion writes it.
    EXPECT_EQ(gbkFromUtf8("a\xF0\x9F\x98\x80" "b"), "a?b");
    EXPECT_EQ(gbkFromUtf8("\xE2\x82\xAC"), "\x80") << "GBK's euro sign";
}

TEST(DialogText, PathsKeepTheFileSystemsBytes) {
    EXPECT_EQ(utf8FromPath("/home/用户/列表.txt"), "/home/用户/列表.txt");
    EXPECT_EQ(pathFromUtf8("/srv/图片/列表.txt"), "/srv/图片/列表.txt");
    // A GBK path from another system is not UTF-8: its bytes show as U+FFFD.
    const std::string shown = utf8FromPath("C:\\\xCE\xD2\xB5\xC4.txt");
    EXPECT_EQ(shown.rfind("C:\\", 0), 0u);
    EXPECT_NE(shown.find(replacement), std::string::npos);
    EXPECT_EQ(shown.substr(shown.size() - 4), ".txt");
}

TEST(DialogText, CutsNeverSplitACharacter) {
    struct Case {
        std::string (*cut)(const std::string&, std::size_t);
        std::string text;
        std::size_t maxBytes;
        std::string kept;
    } cases[] = {
        {cutUtf8, "图片", 6, "图片"},  {cutUtf8, "图片", 5, "图"},       {cutUtf8, "a图", 3, "a"},
        {cutUtf8, "abc", 2, "ab"},     {cutUtf8, "abc", 0, ""},          {cutGbk, "\xCE\xD2\xB5\xC4", 3, "\xCE\xD2"},
        {cutGbk, "a\xCE\xD2", 2, "a"}, {cutGbk, "ab\xCE", 3, "ab"},      {cutGbk, "abc", 259, "abc"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.cut(c.text, c.maxBytes), c.kept) << c.text << " " << c.maxBytes;
}

TEST(DialogText, FieldNumbersReadLikeTheDialogManager) {
    struct Case {
        const char* text;
        std::int32_t value;
    } cases[] = {
        {"", 0},           {"0", 0},          {"45", 45},
        {"-10", -10},      {"+7", 7},         {"  12", 12},
        {"12a", 0},        {"-", 0},          {"1 2", 0},
        {"2147483647", 2147483647},           {"2147483648", 0},
        {"-2147483648", INT32_MIN},           {"-2147483649", 0},
        {"99999999999999999999999", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(signedIntFromText(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace vellora::linux_platform::text
