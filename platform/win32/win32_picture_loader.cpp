// Decoding picture files: OLE's decoder first, as the show always has, then the
// Windows Imaging Component for what OLE cannot read (PNG, TIFF, JPEG-XR and any
// codec the system has installed), where the system has the component.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <wincodec.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/picture_header.h"
#include "platform/win32/win32_internal.h"

namespace vellora::win32 {
namespace {

// One COM reference, released at the end of its scope.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() {
        if (p_) p_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T** put() { return &p_; }
    T* get() const { return p_; }
    T* operator->() const { return p_; }

private:
    T* p_ = nullptr;
};

constexpr CLSID imagingFactoryClass = {0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
constexpr GUID premultipliedBgra = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x10}};

// Made through the module's own class-object entry, so the program neither imports
// the module (Windows 95 to 2000 lack it) nor depends on COM's registration of it.
// The module stays loaded for the rest of the process once found.
bool createImagingFactory(IWICImagingFactory** factory) {
    static const HMODULE module = LoadLibraryA("windowscodecs.dll");
    if (!module) return false;
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const auto getClassObject =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (!getClassObject) return false;
    ComRef<IClassFactory> classes;
    if (FAILED(getClassObject(imagingFactoryClass, IID_IClassFactory, reinterpret_cast<void**>(classes.put()))))
        return false;
    return SUCCEEDED(classes->CreateInstance(nullptr, __uuidof(IWICImagingFactory), reinterpret_cast<void**>(factory)));
}

// A top-down 32-bit DIB section with the frame's premultiplied pixels: exactly the
// frame composited over black, which is what the show needs, since it draws on
// black and the picture object's drawing ignores alpha.
HBITMAP bitmapFromFrame(IWICImagingFactory* factory, IWICBitmapSource* frame) {
    ComRef<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame, premultipliedBgra, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return nullptr;
    UINT width = 0, height = 0;
    if (FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0 ||
        exceedsPixelCap(width, height))
        return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    // Within the pixel cap, neither the stride nor the whole size overflows 32 bits.
    const UINT stride = width * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits)))) {
        DeleteObject(bitmap);
        return nullptr;
    }
    return bitmap;
}

// A header that announces more pixels than the cap is refused before any decoder
// allocates for it; a header that cannot be read is left to the decoders.
bool tooLargeToShow(HGLOBAL block, DWORD size) {
    const auto* data = static_cast<const unsigned char*>(GlobalLock(block));
    const PictureHeader header = readPictureHeader(data, data ? size : 0);
    GlobalUnlock(block);
    return header.status == HeaderStatus::sized && exceedsPixelCap(header.width, header.height);
}

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
        if (!complete || tooLargeToShow(block, size)) {
            if (block) GlobalFree(block);
            return nullptr;
        }
        IStream* stream = nullptr;
        if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {
            GlobalFree(block);
            return nullptr;
        }
        // Run mode FALSE: a picture made in run mode keeps its decoded bitmap after
        // its last release on some implementations, and a long show then runs out
        // of memory one picture at a time.
        IPicture* picture = nullptr;
        const HRESULT decoded =
            OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture, reinterpret_cast<void**>(&picture));
        std::unique_ptr<Picture> result;
        if (SUCCEEDED(decoded) && picture) {
            result = wrapPicture(picture);
        } else {
            result = loadWithImagingComponent(GlobalLock(block), size);
            GlobalUnlock(block);
        }
        stream->Release();
        return result;
    }
};

}  // namespace

std::unique_ptr<Picture> loadWithImagingComponent(const void* data, std::size_t size) {
    if (!data || size > 0xFFFFFFFFu) return nullptr;
    ComRef<IWICImagingFactory> factory;
    ComRef<IWICStream> stream;
    ComRef<IWICBitmapDecoder> decoder;
    ComRef<IWICBitmapFrameDecode> frame;
    if (!createImagingFactory(factory.put()) || FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(data)), static_cast<DWORD>(size))) ||
        FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                decoder.put())) ||
        FAILED(decoder->GetFrame(0, frame.put())))
        return nullptr;
    HBITMAP bitmap = bitmapFromFrame(factory.get(), frame.get());
    if (!bitmap) return nullptr;
    PICTDESC description{};
    description.cbSizeofstruct = sizeof description;
    description.picType = PICTYPE_BITMAP;
    description.bmp.hbitmap = bitmap;
    IPicture* picture = nullptr;
    // The picture owns the bitmap and deletes it on its last release.
    if (FAILED(OleCreatePictureIndirect(&description, IID_IPicture, TRUE, reinterpret_cast<void**>(&picture))) ||
        !picture) {
        DeleteObject(bitmap);
        return nullptr;
    }
    return wrapPicture(picture);
}

PictureLoader& pictureLoader() {
    static Win32Pictures pictures;
    return pictures;
}

}  // namespace vellora::win32
