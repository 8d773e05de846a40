// The picture source: counts the image list at start, and on every tick chooses,
// loads, places and reveals the next picture.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace vellora {

// The number of entries, or nothing when the list cannot be opened.
std::optional<std::int32_t> countImages(const std::string& imageListPath);
void pickNextIndex();
// The path on line currentIndex; empty when the list cannot be opened or is shorter.
std::string readListEntry();
std::unique_ptr<Picture> loadPicture(const std::string& path);
// Sets the draw rectangle in SlideState for the picture size already stored there.
void placePicture();
void showNextPicture();

}  // namespace vellora
