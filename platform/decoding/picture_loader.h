// How the native Linux program decodes pictures. Everything about it lives in
// this folder: the decoders of each format (decode.h), the colour conversion
// (colour_profile.h) and orientation (orientation.h) applied to their result, and
// the locked-down helper process that runs them on the show's behalf
// (decoder_process.h for the show's side, decoder_sandbox.h for the helper's,
// decoder_wire.h for what passes between them).
//
// Contract:
// - pictureLoader() opens a picture file (a regular file of at most
//   maxPictureFileBytes, never a FIFO or device) and gives its pixels in sRGB,
//   upright when asked, or nothing. It decodes in the helper wherever the
//   kernel can lock one down; only a kernel without seccomp, a sanitizer build or
//   a missing helper program decodes in the show, and that is said once. A helper
//   that is slow to start, or fails to, costs that attempt and is started again.
// - A hostile file can at most cost its own attempt: whatever the helper does,
//   the show gets a picture of the size it was told, or nothing.
// - Pixels are 0xRRGGBB, row-major, top row first; sizes in HIMETRIC follow the
//   96-pixels-per-inch rule.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/exif.h"
#include "platform/platform.h"

namespace vellora::linux_platform {

// A decoded picture: its pixels and its natural size.
class PixelPicture : public Picture {
public:
    // `storageHome`, when given, takes the pixel storage back when the picture goes,
    // so the next picture can be decoded into it.
    PixelPicture(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels,
                 std::vector<std::uint32_t>* storageHome = nullptr);
    // Pixels that live elsewhere and stay there until `whenGone` runs, as the picture goes.
    PixelPicture(std::int32_t width, std::int32_t height, const std::uint32_t* pixels, std::function<void()> whenGone);
    ~PixelPicture() override;
    std::int32_t widthHimetric() const override { return widthHimetric_; }
    std::int32_t heightHimetric() const override { return heightHimetric_; }
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    const std::uint32_t* pixels() const { return view_; }
    // When the photo was taken, where the loader was asked to read it (setReadDatesTaken).
    const std::optional<PhotoTime>& dateTaken() const { return dateTaken_; }
    void setDateTaken(std::optional<PhotoTime> taken) { dateTaken_ = taken; }

private:
    std::int32_t width_, height_, widthHimetric_, heightHimetric_;
    std::vector<std::uint32_t> pixels_;
    std::vector<std::uint32_t>* storageHome_ = nullptr;
    const std::uint32_t* view_;
    std::function<void()> whenGone_;
    std::optional<PhotoTime> dateTaken_;
};

PictureLoader& pictureLoader();

// For --upright: JPEG photos are turned by their EXIF orientation.
void setTurnPhotosUpright(bool on);

// For --caption: each picture comes with the date it was taken, read from the
// file it was decoded from (platform/linux/date_taken.h).
void setReadDatesTaken(bool on);

// Called about every 50 ms while the decoder process decodes a picture, so that
// the display system can look for input that ends its full-screen show (a key, a
// mouse button) and request a stop: the show then ends at once, not after the
// picture. Null, the default, looks for nothing.
void setInputCheckWhileLoading(void (*check)());

}  // namespace vellora::linux_platform
