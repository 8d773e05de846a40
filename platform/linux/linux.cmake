# The native Linux platform and its program.

# Decoders.
add_library(vellora_decode STATIC platform/linux/decode.cpp)
target_include_directories(vellora_decode PUBLIC ${CMAKE_SOURCE_DIR})

# The X11 platform and the program.

if(NOT VELLORA_FUZZ)
    include(platform/linux/gtk_dialog.cmake)
endif()
