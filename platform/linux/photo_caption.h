// The caption of --caption: one line that says when and where a photo was taken,
// written over the show's canvas once the picture's reveal has finished. Shared by
// the display systems; no display-system header here.
//
// Contract:
// - captionText: the date taken in the date format of `time` (strftime's %x), then
//   the folder the picture lies in relative to the walked folder `source` (the
//   walked folder's own name for a picture right in it), or the picture's file
//   name when `source` is no folder of it (an image list). The result is UTF-8;
//   bytes of a name that are not UTF-8 become U+FFFD, never a cut character.
// - CaptionOverlay draws the line in white with a soft dark shadow in the lower
//   right corner of a 0xRRGGBB surface, the text captionHeightMm high at the
//   density given and at least a text height from the edges, shortened in the
//   middle to fit the width; it keeps what lay under it, and takeAway puts that
//   back. Both return the rectangle they changed, clipped to the surface; a
//   surface too small for a line gets none.
// - CaptionCanvas is a show's canvas that writes a caption over what it shows and
//   takes it away with its next drawing (so a clear removes it with its picture).
// - captionPixelsPerMm: a display's density from its size in pixels and
//   millimetres (along the diagonal, so a turned display is the same); 96 pixels
//   per inch where the millimetres are missing or implausible.
#pragma once

#include <locale.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/exif.h"
#include "platform/pixel_drawing.h"

namespace vellora::linux_platform {

inline constexpr double captionHeightMm = 4.0;

std::string captionText(const PhotoTime& taken, const std::string& path, const std::string& source, locale_t time);
// The session's own locale for dates (LC_TIME), made once.
locale_t sessionTimeLocale();

double captionPixelsPerMm(std::int32_t widthPixels, std::int32_t heightPixels, std::int32_t widthMm,
                          std::int32_t heightMm);

class CaptionOverlay {
public:
    PixelRect show(SurfaceView surface, const std::string& utf8, double pixelsPerMm);
    PixelRect takeAway(SurfaceView surface);

private:
    PixelRect rect_;
    std::vector<std::uint32_t> under_;
};

class CaptionCanvas {
public:
    virtual ~CaptionCanvas() = default;
    virtual void showCaption(const std::string& utf8) = 0;
};

}  // namespace vellora::linux_platform
