// Internal to the Win32 platform: handle conversions and the services each file
// of this folder provides to the others.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <cstdint>
#include <memory>

#include "platform/dialog_services.h"
#include "platform/platform.h"
#include "platform/shell_services.h"
#include "shell/shell.h"

namespace vellora::win32 {

inline HWND toHwnd(WindowHandle w) { return reinterpret_cast<HWND>(w); }
inline WindowHandle fromHwnd(HWND h) { return reinterpret_cast<WindowHandle>(h); }
inline HINSTANCE appInstance() { return reinterpret_cast<HINSTANCE>(shellState().appInstance); }

template <typename Fn>
Fn procAs(std::uintptr_t proc) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

// A canvas drawing on a window's own device context.
std::unique_ptr<Canvas> makeCanvas(HDC dc);

// Takes over one reference to a decoded picture object; released with the Picture.
std::unique_ptr<Picture> wrapPicture(IPicture* picture);

// Decodes with the Windows Imaging Component when the system has it: the first
// frame, alpha composited over black, as a picture object owning its bitmap.
// Nothing when the component is missing or cannot decode the data.
std::unique_ptr<Picture> loadWithImagingComponent(const void* data, std::size_t size);

PictureLoader& pictureLoader();
Files& files();
Clock& clock();
WindowServices& windowServices();
ShellServices& shell();
DialogServices& dialog();

}  // namespace vellora::win32
