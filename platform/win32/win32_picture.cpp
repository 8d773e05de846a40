// Pictures and drawing: decoding picture files, and the window's device context.
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

class Win32Pictures : public PictureLoader {
public:
    std::unique_ptr<Picture> loadPictureFile(const std::string& path) override {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return nullptr;
        const DWORD size = GetFileSize(file, nullptr);
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
        void* data = block ? GlobalLock(block) : nullptr;
        DWORD read = 0;
        const bool complete = data && ReadFile(file, data, size, &read, nullptr) && read >= size;
        if (data) GlobalUnlock(block);
        CloseHandle(file);
        if (!complete) {
            if (block) GlobalFree(block);
            return nullptr;
        }
        IStream* stream = nullptr;
        if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {
            GlobalFree(block);
            return nullptr;
        }
        IPicture* picture = nullptr;
        const HRESULT decoded =
            OleLoadPicture(stream, static_cast<LONG>(size), TRUE, IID_IPicture, reinterpret_cast<void**>(&picture));
        stream->Release();
        if (FAILED(decoded) || !picture) return nullptr;
        return std::make_unique<Win32Picture>(picture);
    }
};

}  // namespace

std::unique_ptr<Canvas> makeCanvas(HDC dc) { return std::make_unique<Win32Canvas>(dc); }

PictureLoader& pictureLoader() {
    static Win32Pictures pictures;
    return pictures;
}

}  // namespace vellora::win32
