// Every user-visible Chinese text of the program, as GBK (code page 936) bytes.
// The program never converts text: these bytes go to the ANSI window functions as
// they stand. The UTF-8 form of each is in the comment beside it; a unit test
// converts every entry with iconv and compares.
#pragma once

namespace vellora::gbk {

inline constexpr const char* effectNames[20] = {
    "\xCB\xE6\xBB\xFA",                          // 随机
    "\xCE\xDE",                                  // 无
    "\xCD\xBC\xCF\xF1\xC0\xA9\xB4\xF3",          // 图像扩大
    "\xCF\xF2\xCF\xC2\xC9\xA8\xC3\xE8",          // 向下扫描
    "\xCF\xF2\xC9\xCF\xC9\xA8\xC3\xE8",          // 向上扫描
    "\xCF\xF2\xD3\xD2\xC9\xA8\xC3\xE8",          // 向右扫描
    "\xCF\xF2\xD7\xF3\xC9\xA8\xC3\xE8",          // 向左扫描
    "\xCB\xAE\xC6\xBD\xC6\xBD\xB7\xD6",          // 水平平分
    "\xB4\xB9\xD6\xB1\xC6\xBD\xB7\xD6",          // 垂直平分
    "\xC2\xED\xC8\xFC\xBF\xCB",                  // 马赛克
    "\xCF\xF2\xCF\xC2\xD2\xC6\xB6\xAF",          // 向下移动
    "\xCF\xF2\xC9\xCF\xD2\xC6\xB6\xAF",          // 向上移动
    "\xCF\xF2\xD3\xD2\xD2\xC6\xB6\xAF",          // 向右移动
    "\xCF\xF2\xD7\xF3\xD2\xC6\xB6\xAF",          // 向左移动
    "\xCB\xAE\xC6\xBD\xBD\xBB\xB2\xE6",          // 水平交叉
    "\xB4\xB9\xD6\xB1\xBD\xBB\xB2\xE6",          // 垂直交叉
    "\xCB\xAE\xC6\xBD\xB0\xD9\xD2\xB6\xB4\xB0",  // 水平百叶窗
    "\xB4\xB9\xD6\xB1\xB0\xD9\xD2\xB6\xB4\xB0",  // 垂直百叶窗
    "\xCB\xAE\xC6\xBD\xD5\xA4\xCC\xF5",          // 水平栅条
    "\xB4\xB9\xD6\xB1\xD5\xA4\xCC\xF5",          // 垂直栅条
};

inline constexpr const char* cannotOpenSettings =
    "\xB2\xBB\xC4\xDC\xB4\xF2\xBF\xAA\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE!";  // 不能打开配置文件!
inline constexpr const char* cannotOpenImageList =
    "\xB2\xBB\xC4\xDC\xB4\xF2\xBF\xAA\xCD\xBC\xCF\xF1\xC1\xD0\xB1\xED\xCE\xC4\xBC\xFE!";  // 不能打开图像列表文件!
inline constexpr const char* pictureNotFound =
    "\xD5\xD2\xB2\xBB\xB5\xBD\xCD\xBC\xCF\xF1\xCE\xC4\xBC\xFE.";  // 找不到图像文件.
inline constexpr const char* cannotSaveSettings =
    "\xB2\xBB\xC4\xDC\xB1\xA3\xB4\xE6\xC5\xE4\xD6\xC3\xA3\xA1";  // 不能保存配置！

// The settings dialog's title and controls, for platforms that build the dialog
// themselves instead of loading template 2003.
namespace dialog {
inline constexpr const char* title =
    "Vellora \xC6\xC1\xB1\xA3\xC9\xE8\xD6\xC3  ---  https://vellora.example/";  // Vellora 屏保设置  ---  https://vellora.example/
inline constexpr const char* ok = "\xC8\xB7\xB6\xA8";                                   // 确定
inline constexpr const char* cancel = "\xC8\xA1\xCF\xFB";                               // 取消
inline constexpr const char* imageList = "\xCD\xBC\xCF\xF1\xCE\xC4\xBC\xFE\xC1\xD0\xB1\xED:";  // 图像文件列表:
inline constexpr const char* delay = "\xCD\xBC\xCF\xF1\xCD\xA3\xC1\xF4\xCA\xB1\xBC\xE4:";      // 图像停留时间:
inline constexpr const char* seconds = "\xC3\xEB";                                      // 秒
inline constexpr const char* effect = "\xCD\xBC\xCF\xF1\xCF\xD4\xCA\xBE\xCC\xD8\xBC\xBC:";     // 图像显示特技:
inline constexpr const char* randomOrder =
    "\xCB\xE6\xBB\xFA\xD1\xA1\xD4\xF1\xCF\xD4\xCA\xBE\xCD\xBC\xCF\xF1";  // 随机选择显示图像
}  // namespace dialog

// The Windows installer's own texts. The cross build turns them into the
// installer's Simplified Chinese strings (installer/gbk_strings.py); its English
// strings are in installer/vellora.nsi.
namespace installer {
inline constexpr const char* productName =
    "Vellora \xC6\xC1\xC4\xBB\xB1\xA3\xBB\xA4\xB3\xCC\xD0\xF2";  // Vellora 屏幕保护程序
inline constexpr const char* makeCurrent =
    "\xC9\xE8\xCE\xAA\xB5\xB1\xC7\xB0\xC6\xC1\xC4\xBB\xB1\xA3\xBB\xA4\xB3\xCC\xD0\xF2";  // 设为当前屏幕保护程序
inline constexpr const char* openSettings =
    "\xB4\xF2\xBF\xAA\xC9\xE8\xD6\xC3\xB6\xD4\xBB\xB0\xBF\xF2";  // 打开设置对话框
inline constexpr const char* removeSettings =
    "\xCA\xC7\xB7\xF1\xCD\xAC\xCA\xB1\xC9\xBE\xB3\xFD Vellora \xB5\xC4\xC9\xE8\xD6\xC3\xCE\xC4\xBC\xFE\xA3\xBF";  // 是否同时删除 Vellora 的设置文件？
}  // namespace installer

}  // namespace vellora::gbk
