// Pictures and drawing: the picture objects, and the window's device context.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include "platform/win32/win32_internal.h"
#include "platform/win32/win32_platform.h"

namespace vellora::win32 {
namespace {

bool& renderPathForced() {
    static bool forced = false;
    return forced;
}

// A picture from OleLoadPicture or OleCreatePictureIndirect. IPicture::Render
// costs over a hundred microseconds per call under some systems, and the mosaic
// makes tens of thousands of calls per picture; a plain bitmap is therefore drawn
// with StretchBlt from a memory DC that holds the bitmap for the picture's whole
// life. Everything else (icons, metafiles, bitmaps with a mask) keeps Render.
class Win32Picture : public Picture {
public:
    explicit Win32Picture(IPicture* picture) : picture_(picture) {}
    ~Win32Picture() override {
        // The picture owns the bitmap: it leaves the memory DC before the picture can free it.
        closeBitmapDc();
        picture_->Release();
    }
    Win32Picture(const Win32Picture&) = delete;
    Win32Picture& operator=(const Win32Picture&) = delete;

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

    void draw(HDC target, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy, std::int32_t xSrc,
              std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) const {
        if (!bitmapDcTried_) openBitmapDc();
        if (!bitmapDc_) {
            picture_->Render(target, x, y, cx, cy, xSrc, ySrc, cxSrc, cySrc, nullptr);
            return;
        }
        // Render refuses an empty destination or source without drawing.
        if (cx == 0 || cy == 0 || cxSrc == 0 || cySrc == 0) return;
        StretchBlt(target, x, y, cx, cy, bitmapDc_, xSrc, ySrc, cxSrc, cySrc, SRCCOPY);
    }

    bool drawsFromBitmap() const { return bitmapDc_ != nullptr; }

private:
    // The DC maps HIMETRIC onto the bitmap's pixels with y measured from the bottom,
    // the mapping that Render itself sets up for a bitmap, so GDI rounds every source
    // rectangle the same way and the screen gets the same pixels. The stretch mode is
    // the target's, as with Render.
    void openBitmapDc() const {
        bitmapDcTried_ = true;
        if (renderPathForced()) return;
        SHORT type = PICTYPE_UNINITIALIZED;
        DWORD attributes = 0;
        OLE_HANDLE handle = 0;
        if (FAILED(picture_->get_Type(&type)) || type != PICTYPE_BITMAP) return;
        if (FAILED(picture_->get_Attributes(&attributes)) || (attributes & PICTURE_TRANSPARENT)) return;
        if (FAILED(picture_->get_Handle(&handle)) || handle == 0) return;
        // OLE_HANDLE is 32 bits wide everywhere; GDI handles are sign-extended on 64-bit systems.
        HBITMAP bitmap = static_cast<HBITMAP>(LongToHandle(static_cast<LONG>(handle)));
        BITMAP size{};
        const std::int32_t himetricWidth = widthHimetric(), himetricHeight = heightHimetric();
        if (!GetObjectA(bitmap, sizeof size, &size) || size.bmWidth <= 0 || size.bmHeight <= 0 ||
            himetricWidth <= 0 || himetricHeight <= 0)
            return;
        HDC dc = CreateCompatibleDC(nullptr);
        if (!dc) return;
        previousBitmap_ = SelectObject(dc, bitmap);
        const bool mapped = previousBitmap_ && SetMapMode(dc, MM_ANISOTROPIC) &&
                            SetWindowOrgEx(dc, 0, 0, nullptr) &&
                            SetWindowExtEx(dc, himetricWidth, himetricHeight, nullptr) &&
                            SetViewportOrgEx(dc, 0, size.bmHeight, nullptr) &&
                            SetViewportExtEx(dc, size.bmWidth, -size.bmHeight, nullptr);
        bitmapDc_ = dc;
        if (!mapped) closeBitmapDc();
    }

    void closeBitmapDc() const {
        if (!bitmapDc_) return;
        if (previousBitmap_) SelectObject(bitmapDc_, previousBitmap_);
        DeleteDC(bitmapDc_);
        bitmapDc_ = nullptr;
        previousBitmap_ = nullptr;
    }

    IPicture* picture_;
    // Set up at the first draw, on the drawing thread; drawing leaves the picture's
    // observable state alone, hence mutable.
    mutable bool bitmapDcTried_ = false;
    mutable HDC bitmapDc_ = nullptr;
    mutable HGDIOBJ previousBitmap_ = nullptr;
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
        static_cast<const Win32Picture&>(picture).draw(dc_, x, y, cx, cy, xSrc, ySrc, cxSrc, cySrc);
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

void forceRenderPath(bool forced) { renderPathForced() = forced; }

bool drawsFromBitmap(const Picture& picture) { return static_cast<const Win32Picture&>(picture).drawsFromBitmap(); }

std::unique_ptr<Canvas> makeCanvas(HDC dc) { return std::make_unique<Win32Canvas>(dc); }

std::unique_ptr<Picture> wrapPicture(IPicture* picture) { return std::make_unique<Win32Picture>(picture); }

}  // namespace vellora::win32
