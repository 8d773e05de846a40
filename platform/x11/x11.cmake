# The X11 backend, and the helpers of its tests and benchmark.
find_package(X11 REQUIRED)

add_library(vellora_x11 STATIC
    platform/x11/x11_show.cpp
    platform/x11/x11_session.cpp
    platform/x11/x11_canvas.cpp
    platform/x11/x11_windows.cpp
    platform/x11/x11_shell.cpp
    platform/x11/x11_monitors.cpp
    platform/x11/x11_idle.cpp
)
target_link_libraries(vellora_x11 PUBLIC vellora_linux vellora_gtk X11::X11 X11::Xext PRIVATE X11::Xrandr X11::Xinerama X11::Xss)

# A plain window for the show to draw into, and screenshots, for the tests.
add_executable(vellora-xwindow tests/linux/xwindow.cpp)
target_link_libraries(vellora-xwindow PRIVATE X11::X11)
add_executable(vellora-linux-bench tools/linux_bench.cpp)
target_link_libraries(vellora-linux-bench PRIVATE vellora_x11)
