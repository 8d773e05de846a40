# How the native program decodes pictures: the decoders, also under the fuzz build,
# and, in the program's build, the locked-down decoder process and the loader
# that uses it.

find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
find_package(GIF REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(PICTURE_CODECS REQUIRED IMPORTED_TARGET
    libwebp libwebpdemux libheif libavif libtiff-4 libjxl libjxl_threads lcms2)
add_library(vellora_decode STATIC
    platform/decoding/decode.cpp
    platform/decoding/decode_bmp.cpp
    platform/decoding/decode_jpeg.cpp
    platform/decoding/decode_png.cpp
    platform/decoding/decode_gif.cpp
    platform/decoding/decode_webp.cpp
    platform/decoding/decode_heif.cpp
    platform/decoding/decode_avif.cpp
    platform/decoding/decode_tiff.cpp
    platform/decoding/decode_jxl.cpp
    platform/decoding/colour_profile.cpp
    platform/decoding/orientation.cpp
)
target_include_directories(vellora_decode PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vellora_decode PRIVATE JPEG::JPEG PNG::PNG GIF::GIF PkgConfig::PICTURE_CODECS Threads::Threads PUBLIC vellora_core)
# The Display P3 profile it converts from comes from the tests' picture files.
add_executable(vellora-decode-bench tools/decode_bench.cpp tests/picture_files.cpp)
target_link_libraries(vellora-decode-bench PRIVATE vellora_decode PkgConfig::PICTURE_CODECS)

if(NOT VELLORA_FUZZ)
    pkg_check_modules(SECCOMP REQUIRED IMPORTED_TARGET libseccomp)
    # The decoder process: locked down, it decodes the show's pictures.
    add_library(vellora_decoder_sandbox STATIC platform/decoding/decoder_sandbox.cpp platform/decoding/decoder_wire.cpp)
    target_link_libraries(vellora_decoder_sandbox PUBLIC vellora_decode PkgConfig::SECCOMP)
    add_executable(vellora-decoder platform/decoding/decoder_main.cpp)
    target_link_libraries(vellora-decoder PRIVATE vellora_decoder_sandbox)

    # The show's side: the loader and its helper. It asks the shared Unix services
    # (platform/linux/) for the stop request.
    add_library(vellora_pictures STATIC
        platform/decoding/picture_loader.cpp
        platform/decoding/decoder_process.cpp
        platform/decoding/decoder_wire.cpp
    )
    target_link_libraries(vellora_pictures PUBLIC vellora_decode vellora_linux)
    # Sanitizers and a seccomp filter's address-space limit do not mix: such a
    # build decodes in the show, and says so.
    if(VELLORA_SANITIZE)
        target_compile_definitions(vellora_pictures PRIVATE VELLORA_SANITIZED)
    endif()
endif()
