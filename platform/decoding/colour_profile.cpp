#include "platform/decoding/colour_profile.h"

#include <lcms2.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace vellora::linux_platform {
namespace {

// 0x00RRGGBB words as lcms2 sees their bytes; the fourth byte is passed over.
constexpr cmsUInt32Number pixelFormat = std::endian::native == std::endian::little ? TYPE_BGRA_8 : TYPE_ARGB_8;

// Below this many pixels a second thread costs more than it saves.
constexpr std::size_t pixelsWorthASecondThread = 1 << 18;

void ignoreMessage(cmsContext, cmsUInt32Number, const char*) {}

struct LcmsDeleter {
    void operator()(cmsContext context) const { cmsDeleteContext(context); }
};
struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using Context = std::unique_ptr<_cmsContext_struct, LcmsDeleter>;
using Profile = std::unique_ptr<void, ProfileCloser>;
using Transform = std::unique_ptr<void, TransformDeleter>;

bool describesRgbDevice(cmsHPROFILE profile) {
    if (cmsGetColorSpace(profile) != cmsSigRgbData) return false;
    const cmsProfileClassSignature kind = cmsGetDeviceClass(profile);
    return kind == cmsSigDisplayClass || kind == cmsSigInputClass || kind == cmsSigOutputClass ||
           kind == cmsSigColorSpaceClass;
}

// Whether the transform moves no colour of a 17-step lattice by more than a level.
bool barelyChangesColour(cmsHTRANSFORM transform) {
    std::vector<std::uint32_t> lattice;
    for (unsigned r = 0; r <= 256; r += 16)
        for (unsigned g = 0; g <= 256; g += 16)
            for (unsigned b = 0; b <= 256; b += 16)
                lattice.push_back(std::min(r, 255u) << 16 | std::min(g, 255u) << 8 | std::min(b, 255u));
    std::vector<std::uint32_t> converted(lattice.size());
    cmsDoTransform(transform, lattice.data(), converted.data(), static_cast<cmsUInt32Number>(lattice.size()));
    for (std::size_t i = 0; i < lattice.size(); ++i)
        for (int shift : {0, 8, 16})
            if (std::abs(static_cast<int>((lattice[i] >> shift) & 0xFF) - static_cast<int>((converted[i] >> shift) & 0xFF)) > 1)
                return false;
    return true;
}

void transformInPlace(cmsHTRANSFORM transform, std::uint32_t* pixels, std::size_t count) {
    constexpr std::size_t chunk = 1 << 20;  // what one call takes: the count is a 32-bit number
    for (std::size_t done = 0; done < count; done += chunk) {
        const auto length = static_cast<cmsUInt32Number>(std::min(chunk, count - done));
        cmsDoTransform(transform, pixels + done, pixels + done, length);
    }
}

}  // namespace

bool convertToSrgb(DecodedImage& image) {
    const std::vector<unsigned char> icc = std::move(image.iccProfile);
    image.iccProfile.clear();
    if (icc.empty() || image.pixels.empty()) return false;
    const Context context(cmsCreateContext(nullptr, nullptr));
    if (!context) return false;
    cmsSetLogErrorHandlerTHR(context.get(), ignoreMessage);
    const Profile source(cmsOpenProfileFromMemTHR(context.get(), icc.data(), static_cast<cmsUInt32Number>(icc.size())));
    if (!source || !describesRgbDevice(source.get())) return false;
    const Profile srgb(cmsCreate_sRGBProfileTHR(context.get()));
    if (!srgb) return false;
    const Transform transform(cmsCreateTransformTHR(context.get(), source.get(), pixelFormat, srgb.get(), pixelFormat,
                                                    INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
    if (!transform || barelyChangesColour(transform.get())) return false;

    std::uint32_t* pixels = image.pixels.data();
    const std::size_t count = image.pixels.size();
    if (count < pixelsWorthASecondThread) {
        transformInPlace(transform.get(), pixels, count);
        return true;
    }
    // Without its cache a transform may run on two threads at once.
    const std::size_t half = count / 2;
    std::thread other;
    try {
        other = std::thread([&] { transformInPlace(transform.get(), pixels + half, count - half); });
    } catch (const std::system_error&) {
        transformInPlace(transform.get(), pixels + half, count - half);
    }
    transformInPlace(transform.get(), pixels, half);
    if (other.joinable()) other.join();
    return true;
}

}  // namespace vellora::linux_platform
