// Pictures and drawing: the picture objects, and the window's device context.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include "platform/win32/win32_internal.h"

namespace vellora::win32 {
namespace {

class Win32Picture : public Picture {
public:
    explicit Win32Picture(IPicture* picture) : picture_(picture) {}
    ~Win32Picture() override { picture_->Release(); }
    std::int32_t widthHimetric() const override {
        OLE_XSIZE_HIMETRIC w = 0;
        picture_->get_Width(&w);
        return w;
    }
    std::int32_t heightHimetric() const override {
        OLE_YSIZE_HIMETRIC h = 0;
        picture_->get_Height(&h);
        return h;
    }
    IPicture* get() const { return picture_; }

private:
    IPicture* picture_;
};

class Win32Canvas : public Canvas {
public:
    explicit Win32Canvas(HDC dc) : dc_(dc) {}
    DeviceMetrics metrics() override {
        return {GetDeviceCaps(dc_, HORZRES), GetDeviceCaps(dc_, VERTRES), GetDeviceCaps(dc_, HORZSIZE),
                GetDeviceCaps(dc_, VERTSIZE)};
    }
    void fillBlack(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) override {
        RECT r{left, top, right, bottom};
        FillRect(dc_, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    void render(const Picture& picture, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) override {
        static_cast<const Win32Picture&>(picture).get()->Render(dc_, x, y, cx, cy, xSrc, ySrc, cxSrc, cySrc, nullptr);
    }
    void selectBlackBrush() override { SelectObject(dc_, GetStockObject(BLACK_BRUSH)); }
    void pie(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, std::int32_t x1,
             std::int32_t y1, std::int32_t x2, std::int32_t y2) override {
        Pie(dc_, left, top, right, bottom, x1, y1, x2, y2);
    }

private:
    HDC dc_;
};

}  // namespace

std::unique_ptr<Canvas> makeCanvas(HDC dc) { return std::make_unique<Win32Canvas>(dc); }

std::unique_ptr<Picture> wrapPicture(IPicture* picture) { return std::make_unique<Win32Picture>(picture); }

}  // namespace vellora::win32
