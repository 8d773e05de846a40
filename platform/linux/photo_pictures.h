// Photos shown as people like them (--caption, --backdrop): the pictures of the
// platform's loader, with a caption and a backdrop put around them before the
// show gets them, so that every transition runs unchanged.
//
// Contract:
// - PhotoLoader loads through the platform's loader (platform/decoding/
//   picture_loader.h), fits each picture to the display when asked
//   (slideshow/fitted_picture.h), and then
//   - with the backdrop, gives a picture that leaves part of the display bare as
//     one of the display's whole size: the backdrop (platform/backdrop.h) with the
//     picture over it in exactly the pixels its own full draw makes. The reveal
//     then reveals the whole composed display and the clear blanks all of it. A
//     picture that fills the display comes as it is;
//   - with the caption, gives a view of it that, when it goes at the end of its
//     reveal, has the show's canvas (a CaptionCanvas) write the caption of
//     captionText: the date that the loader read with the picture, and the place
//     from the settings' source of pictures.
//   The display is the one SlideState describes at the time of loading.
// - withBackdrop is the backdrop's part alone; `storage` is the composed pixels'
//   home, which takes them back when the picture goes, for the next one.
// - A picture whose composition finds no memory comes without a backdrop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "slideshow/fitted_picture.h"

namespace vellora::linux_platform {

struct PhotoOptions {
    bool caption = false;
    bool backdrop = false;
    bool any() const { return caption || backdrop; }
};

std::unique_ptr<Picture> withBackdrop(std::unique_ptr<Picture> picture, const FitDisplay& display,
                                      std::vector<std::uint32_t>& storage);

class PhotoLoader : public PictureLoader {
public:
    PhotoLoader(PictureLoader& platformLoader, bool fit, PhotoOptions options)
        : inner_(platformLoader), fit_(fit), options_(options) {}
    std::unique_ptr<Picture> loadPictureFile(const std::string& path) override;

private:
    PictureLoader& inner_;
    bool fit_;
    PhotoOptions options_;
    std::vector<std::uint32_t> composed_;
};

}  // namespace vellora::linux_platform
