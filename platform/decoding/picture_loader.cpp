// The loader: the file opened and checked here, then decoded by the locked-down
// decoder process, or in this process where it cannot be locked down.
#include "platform/decoding/picture_loader.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <new>

#include "platform/decoding/colour_profile.h"
#include "platform/decoding/decode.h"
#include "platform/decoding/decoder_process.h"
#include "platform/decoding/orientation.h"
#include "platform/linux/date_taken.h"
#include "platform/linux/linux_internal.h"
#include "platform/linux/program_text.h"
#include "platform/pixel_drawing.h"

namespace vellora::linux_platform {
namespace {

// An open picture file: a regular file of at most maxPictureFileBytes.
class PictureFile {
public:
    // Never waits: a FIFO or a device is refused before anything is read from it.
    explicit PictureFile(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)) {
        struct stat info {};
        if (fd_ >= 0 && fstat(fd_, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
            static_cast<std::uint64_t>(info.st_size) <= maxPictureFileBytes) {
            bytes_ = static_cast<std::uint64_t>(info.st_size);
            modified_ = info.st_mtime;
        }
    }
    ~PictureFile() {
        if (fd_ >= 0) close(fd_);
    }
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;
    explicit operator bool() const { return bytes_ > 0; }
    int descriptor() const { return fd_; }
    std::uint64_t bytes() const { return bytes_; }
    std::time_t modified() const { return modified_; }

    // The whole file; one that shrank while being read is not whole.
    bool readAll(std::vector<unsigned char>& bytes) const {
        bytes.resize(static_cast<std::size_t>(bytes_));
        std::size_t have = 0;
        while (have < bytes.size() && !stopRequested()) {
            const ssize_t got = read(fd_, bytes.data() + have, bytes.size() - have);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            have += static_cast<std::size_t>(got);
        }
        return have == bytes.size();
    }

private:
    int fd_;
    std::uint64_t bytes_ = 0;
    std::time_t modified_ = 0;
};

bool turnPhotosUpright = false;
bool readDatesTaken = false;
void (*inputCheckWhileLoading)() = nullptr;

// The decoder program lies beside this one.
std::string decoderProgram() {
    const std::string folder = programFolder();
    return folder.empty() ? std::string() : folder + "vellora-decoder";
}

class LinuxPictures : public PictureLoader {
public:
    LinuxPictures() : program_(decoderProgram()), decoder_(program_) { stopDecodingWhen(stopRequested); }

    std::unique_ptr<Picture> loadPictureFile(const std::string& path) override {
        // A stop request ends the attempts of a tick as well as the drawing.
        if (stopRequested()) return nullptr;
        // Memory that runs out anywhere on the way fails this attempt, not the show.
        try {
            const PictureFile file(path);
            if (!file) return nullptr;
            if (!decided_ && !decide()) return nullptr;
            std::unique_ptr<PixelPicture> picture = inProcess_ ? decodeHere(file) : decodeInHelper(file);
            if (picture && readDatesTaken) picture->setDateTaken(
                dateTakenOfFile(file.descriptor(), file.bytes(), file.modified()));
            return picture;
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }

private:
    // Whether pictures are decoded in the helper is decided once, by what the
    // system offers: a sanitizer build, a helper program that is not there or
    // not executable, or a helper that finds no seccomp in the kernel leaves
    // decoding to this process for the rest of the show, and says so. A helper
    // that is slow to start, or fails to, decides nothing: the attempt fails (false)
    // and the next one starts another, so that neither a loaded machine nor a
    // picture that kills helpers can bring decoding back into the show.
    bool decide() {
#ifdef VELLORA_SANITIZED
        return decodeInProcess("this is a sanitizer build");
#else
        if (access(program_.c_str(), X_OK) != 0) return decodeInProcess(program_ + " cannot be run");
        switch (decoder_.start(stopWakeDescriptor())) {
        case DecoderProcess::Start::running: return decided_ = true;
        case DecoderProcess::Start::noSeccomp: return decodeInProcess("this system has no seccomp");
        case DecoderProcess::Start::unavailable: break;
        }
        return false;
#endif
    }

    bool decodeInProcess(const std::string& why) {
        std::fprintf(stderr, "vellora: pictures are decoded inside the program, not in a locked-down process: %s\n",
                     why.c_str());
        return decided_ = inProcess_ = true;
    }

    std::unique_ptr<PixelPicture> decodeInHelper(const PictureFile& file) {
        if (decoder_.start(stopWakeDescriptor()) != DecoderProcess::Start::running) return nullptr;
        std::shared_ptr<SharedPixels> buffer = std::move(spareBuffer_);
        const std::optional<DecoderProcess::Size> size =
            decoder_.decode(file.descriptor(), file.bytes(), turnPhotosUpright,
                            budgetForPictureFile(file.descriptor(), file.bytes()), buffer, stopWakeDescriptor(),
                            inputCheckWhileLoading);
        if (!size) {
            spareBuffer_ = std::move(buffer);
            return nullptr;
        }
        const std::uint32_t* pixels = buffer->pixels();
        return std::make_unique<PixelPicture>(size->width, size->height, pixels,
                                              [this, buffer] { spareBuffer_ = buffer; });
    }

    // One picture lives at a time, so each is decoded into the storage of the one
    // before instead of fresh memory that must be mapped and cleared.
    std::unique_ptr<PixelPicture> decodeHere(const PictureFile& file) {
        std::vector<unsigned char> bytes;
        if (!file.readAll(bytes)) return nullptr;
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

    const std::string program_;
    DecoderProcess decoder_;
    bool decided_ = false;
    bool inProcess_ = false;
    std::shared_ptr<SharedPixels> spareBuffer_;
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
      storageHome_(storageHome),
      view_(pixels_.data()) {}

PixelPicture::PixelPicture(std::int32_t width, std::int32_t height, const std::uint32_t* pixels,
                           std::function<void()> whenGone)
    : width_(width),
      height_(height),
      widthHimetric_(himetricFromPixels(width)),
      heightHimetric_(himetricFromPixels(height)),
      view_(pixels),
      whenGone_(std::move(whenGone)) {}

PixelPicture::~PixelPicture() {
    if (storageHome_) *storageHome_ = std::move(pixels_);
    if (whenGone_) whenGone_();
}

void setTurnPhotosUpright(bool on) { turnPhotosUpright = on; }

void setReadDatesTaken(bool on) { readDatesTaken = on; }

void setInputCheckWhileLoading(void (*check)()) { inputCheckWhileLoading = check; }

PictureLoader& pictureLoader() {
    static LinuxPictures pictures;
    return pictures;
}

}  // namespace vellora::linux_platform
