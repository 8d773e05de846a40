// Pictures: the whole file read with a bounded size, then decoded.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/colour_profile.h"
#include "platform/linux/decode.h"
#include "platform/linux/linux_internal.h"
#include "platform/linux/orientation.h"
#include "platform/pixel_drawing.h"

namespace vellora::linux_platform {
namespace {

// Reads a whole regular file of at most maxPictureFileBytes.
bool readWholeFile(const std::string& path, std::vector<unsigned char>& bytes) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
              static_cast<std::uint64_t>(info.st_size) <= maxPictureFileBytes;
    if (ok) {
        bytes.resize(static_cast<std::size_t>(info.st_size));
        std::size_t have = 0;
        while (have < bytes.size()) {
            const ssize_t got = read(fd, bytes.data() + have, bytes.size() - have);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            have += static_cast<std::size_t>(got);
        }
        // A file that shrank while being read is not whole.
        ok = have == bytes.size();
    }
    close(fd);
    return ok;
}

// One picture lives at a time, so each is decoded into the storage of the one before
// instead of fresh memory that must be mapped and cleared.
bool turnPhotosUpright = false;

class LinuxPictures : public PictureLoader {
public:
    std::unique_ptr<Picture> loadPictureFile(const std::string& path) override {
        std::vector<unsigned char> bytes;
        if (!readWholeFile(path, bytes)) return nullptr;
        const bool decoded = decodePictureInto(bytes.data(), bytes.size(), spare_);
        if (decoded && turnPhotosUpright) turnUpright(spare_, bytes.data(), bytes.size());
        // The fitting loader shrinks a picture only as it draws it, so the colours
        // are converted here, once, at the size decoded.
        if (decoded) convertToSrgb(spare_);
        bytes = {};
        if (!decoded || spare_.width <= 0 || spare_.height <= 0 ||
            spare_.pixels.size() != static_cast<std::size_t>(spare_.width) * static_cast<std::size_t>(spare_.height))
            return nullptr;
        return std::make_unique<PixelPicture>(spare_.width, spare_.height, std::move(spare_.pixels), &spare_.pixels);
    }

private:
    DecodedImage spare_;
};

}  // namespace

PixelPicture::PixelPicture(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels,
                           std::vector<std::uint32_t>* storageHome)
    : width_(width),
      height_(height),
      widthHimetric_(himetricFromPixels(width)),
      heightHimetric_(himetricFromPixels(height)),
      pixels_(std::move(pixels)),
      storageHome_(storageHome) {}

PixelPicture::~PixelPicture() {
    if (storageHome_) *storageHome_ = std::move(pixels_);
}

void setTurnPhotosUpright(bool on) { turnPhotosUpright = on; }

PictureLoader& pictureLoader() {
    static LinuxPictures pictures;
    return pictures;
}

}  // namespace vellora::linux_platform
