#include "platform/linux/date_taken.h"

#include <brotli/decode.h>

#include <ctime>
#include <new>

#include "platform/linux/file_bytes.h"

namespace vellora::linux_platform {
namespace {

std::optional<PhotoTime> localTime(std::time_t seconds) {
    std::tm local{};
    if (!localtime_r(&seconds, &local)) return std::nullopt;
    return PhotoTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

}  // namespace

std::optional<PhotoTime> dateTakenOfFile(int fileDescriptor, std::uint64_t size, std::time_t modified) {
    try {
        const FileBytes file(fileDescriptor, size);
        if (std::optional<PhotoTime> taken = photoTimeTaken(file, inflateBrotli)) return taken;
    } catch (const std::bad_alloc&) {
        // A compressed box that finds no memory leaves the file's own date.
    }
    return localTime(modified);
}

std::optional<std::vector<unsigned char>> inflateBrotli(const unsigned char* data, std::size_t size, std::size_t limit) {
    BrotliDecoderState* state = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
    if (!state) return std::nullopt;
    std::vector<unsigned char> out(limit);
    std::size_t availableIn = size, availableOut = limit;
    const std::uint8_t* next = data;
    std::uint8_t* to = out.data();
    const BrotliDecoderResult result = BrotliDecoderDecompressStream(state, &availableIn, &next, &availableOut, &to, nullptr);
    BrotliDecoderDestroyInstance(state);
    if (result != BROTLI_DECODER_RESULT_SUCCESS) return std::nullopt;
    out.resize(limit - availableOut);
    return out;
}

}  // namespace vellora::linux_platform
