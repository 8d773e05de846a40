# The native Linux platform and its program.

# Decoders.
find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
find_package(GIF REQUIRED)
add_library(vellora_decode STATIC
    platform/linux/decode.cpp
    platform/linux/decode_bmp.cpp
    platform/linux/decode_jpeg.cpp
    platform/linux/decode_png.cpp
    platform/linux/decode_gif.cpp
)
target_include_directories(vellora_decode PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vellora_decode PRIVATE JPEG::JPEG PNG::PNG GIF::GIF)
add_executable(vellora-decode-bench tools/decode_bench.cpp)
target_link_libraries(vellora-decode-bench PRIVATE vellora_decode)

# The X11 platform and the program.
