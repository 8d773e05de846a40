# The Windows program and its test helpers, for the i686 cross build.
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
add_link_options(-static -static-libgcc -static-libstdc++ $<$<CONFIG:Release>:-s>)

add_library(vellora_win32 STATIC
    platform/win32/win32_platform.cpp
    platform/win32/win32_picture.cpp
    platform/win32/win32_picture_loader.cpp
    platform/win32/win32_files.cpp
    platform/win32/win32_shell.cpp
)
target_link_libraries(vellora_win32 PUBLIC vellora_core ole32 oleaut32 uuid comctl32 winmm gdi32 user32 advapi32)

add_executable(vellora WIN32 platform/win32/main.cpp resources/vellora.rc)
set_target_properties(vellora PROPERTIES SUFFIX ".scr")
target_link_libraries(vellora PRIVATE vellora_win32)

# Test helpers: a window host for the preview mode and a probe that reads windows
# through the window API.
add_executable(vellora-host WIN32 tests/wine/host.cpp)
target_link_libraries(vellora-host PRIVATE user32 gdi32)
add_executable(vellora-probe tests/wine/probe.cpp)
target_link_libraries(vellora-probe PRIVATE user32 gdi32)

# Stand-ins for the Windows 95/98/Me password modules, loaded as native modules
# by the password tests. Undecorated export names, as the system's modules have.
add_library(password_standin SHARED tests/wine/password_standin.cpp)
set_target_properties(password_standin PROPERTIES PREFIX "" OUTPUT_NAME "PASSWORD" SUFFIX ".CPL")
target_link_options(password_standin PRIVATE -Wl,--kill-at)
add_library(mpr_standin SHARED tests/wine/mpr_standin.cpp)
set_target_properties(mpr_standin PROPERTIES PREFIX "" OUTPUT_NAME "MPR" SUFFIX ".DLL")
target_link_options(mpr_standin PRIVATE -Wl,--kill-at)

# The show's arithmetic as the Windows build computes it, for the tests.
add_executable(vellora-arithmetic tests/wine/arithmetic.cpp)
target_link_libraries(vellora-arithmetic PRIVATE vellora_win32)

# Loads one picture as the show does, for the decoder and memory tests.
add_executable(vellora-picture tests/wine/picture_tool.cpp)
target_link_libraries(vellora-picture PRIVATE vellora_win32 psapi)
# The Windows installer.
include(installer/installer.cmake)
# The transition benchmark, which also draws the frames of the same-pixels and leak tests.
add_executable(vellora-bench tests/wine/bench.cpp)
target_link_libraries(vellora-bench PRIVATE vellora_win32 psapi)
