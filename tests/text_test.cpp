#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "effects/catalogue.h"
#include "platform/test/test_platform.h"
#include "resources/gbk_text.h"
#include "slideshow/text_input.h"

namespace vellora {
namespace {

std::string gbkToUtf8(const std::string& gbk) {
    iconv_t cd = iconv_open("UTF-8", "GBK");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string in = gbk, out(gbk.size() * 4 + 4, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    size_t inLeft = in.size(), outLeft = out.size();
    size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    EXPECT_NE(rc, static_cast<size_t>(-1)) << "not valid GBK";
    out.resize(out.size() - outLeft);
    return out;
}

TEST(GbkText, EveryTextConvertsToItsChineseForm) {
    const char* names[20] = {"随机",     "无",       "图像扩大", "向下扫描",   "向上扫描",   "向右扫描",   "向左扫描",
                             "水平平分", "垂直平分", "马赛克",   "向下移动",   "向上移动",   "向右移动",   "向左移动",
                             "水平交叉", "垂直交叉", "水平百叶窗", "垂直百叶窗", "水平栅条", "垂直栅条"};
    for (int row = 0; row < 20; ++row) {
        EXPECT_EQ(gbkToUtf8(gbk::effectNames[row]), names[row]) << "row " << row;
        EXPECT_STREQ(effectCatalogue[row].name, gbk::effectNames[row]);
        // The dialog's name slot holds 54 bytes with the terminating zero.
        EXPECT_LT(std::string(gbk::effectNames[row]).size(), 54u);
    }
    EXPECT_EQ(gbkToUtf8(gbk::cannotOpenSettings), "不能打开配置文件!");
    EXPECT_EQ(gbkToUtf8(gbk::cannotOpenImageList), "不能打开图像列表文件!");
    EXPECT_EQ(gbkToUtf8(gbk::pictureNotFound), "找不到图像文件.");
    EXPECT_EQ(gbkToUtf8(gbk::cannotSaveSettings), "不能保存配置！");
    EXPECT_EQ(gbkToUtf8(gbk::dialog::title), "Vellora 屏保设置  ---  https://vellora.example/");
    EXPECT_EQ(gbkToUtf8(gbk::dialog::ok), "确定");
    EXPECT_EQ(gbkToUtf8(gbk::dialog::cancel), "取消");
    EXPECT_EQ(gbkToUtf8(gbk::dialog::imageList), "图像文件列表:");
    EXPECT_EQ(gbkToUtf8(gbk::dialog::delay), "图像停留时间:");
    EXPECT_EQ(gbkToUtf8(gbk::dialog::seconds), "秒");
    EXPECT_EQ(gbkToUtf8(gbk::dialog::effect), "图像显示特技:");
    EXPECT_EQ(gbkToUtf8(gbk::dialog::randomOrder), "随机选择显示图像");
}

// Hands out one byte per read, so every CR LF pair straddles a read.
class TrickleInput : public InputFile {
public:
    explicit TrickleInput(std::string bytes) : bytes_(std::move(bytes)) {}
    std::size_t read(char* buffer, std::size_t size) override {
        if (pos_ == bytes_.size() || size == 0) return 0;
        *buffer = bytes_[pos_++];
        return 1;
    }

private:
    std::string bytes_;
    std::size_t pos_ = 0;
};

TEST(TextInput, LineEndsAreCrLfOrLfAndLoneCrIsKept) {
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    } cases[] = {
        {"a\r\nb\nc", {"a", "b", "c"}},
        {"a\rb\r\r\n", {"a\rb\r"}},
        {"\n\n", {"", ""}},
        {"x\r", {"x\r"}},
        {"", {}},
    };
    for (const Case& c : cases) {
        TrickleInput file(c.bytes);
        TextInput in(file);
        std::vector<std::string> got;
        std::string line;
        while (in.readLine(line)) got.push_back(line);
        EXPECT_EQ(got, c.lines) << c.bytes;
        EXPECT_TRUE(in.failed());
    }
}

TEST(TextInput, NumberLeavesTheFirstNonDigitForTheNextRead) {
    TrickleInput file(" \r\n\t-12x 7");
    TextInput in(file);
    std::int32_t a = 99, b = 99;
    EXPECT_TRUE(in.readNumber(a));
    EXPECT_EQ(a, -12);
    EXPECT_FALSE(in.readNumber(b));
    EXPECT_EQ(b, 99);
    EXPECT_FALSE(in.readNumber(b)) << "a failed stream stays failed";
}

}  // namespace
}  // namespace vellora
