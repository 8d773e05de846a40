# The X11 backend, and the helpers of its tests and benchmark.
find_package(X11 REQUIRED)

# The show's colours in any visual's pixel format; needs no display, so the unit
# tests link it alone.
add_library(vellora_visual_pixels STATIC platform/x11/visual_pixels.cpp)
target_include_directories(vellora_visual_pixels PUBLIC ${CMAKE_SOURCE_DIR})

add_library(vellora_x11 STATIC
    platform/x11/x11_show.cpp
    platform/x11/x11_session.cpp
    platform/x11/x11_canvas.cpp
    platform/x11/x11_windows.cpp
    platform/x11/x11_shell.cpp
    platform/x11/x11_monitors.cpp
    platform/x11/x11_idle.cpp
)
target_link_libraries(vellora_x11 PUBLIC vellora_linux vellora_gtk vellora_visual_pixels X11::X11 X11::Xext
                                  PRIVATE X11::Xrandr X11::Xinerama X11::Xss)

# A plain window for the show to draw into, and screenshots, for the tests.
add_executable(vellora-xwindow tests/linux/xwindow.cpp)
target_link_libraries(vellora-xwindow PRIVATE X11::X11)
add_executable(vellora-linux-bench tools/linux_bench.cpp)
target_link_libraries(vellora-linux-bench PRIVATE vellora_x11)
