# The Wayland backend, with the protocol code generated from the XML definitions
# at build time, and the pointer helper of its tests.
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET wayland-client)
pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)

set(waylandProtocols
    ${WAYLAND_PROTOCOLS_DIR}/stable/xdg-shell/xdg-shell.xml
    ${WAYLAND_PROTOCOLS_DIR}/stable/viewporter/viewporter.xml
    ${WAYLAND_PROTOCOLS_DIR}/staging/fractional-scale/fractional-scale-v1.xml
    ${WAYLAND_PROTOCOLS_DIR}/staging/ext-idle-notify/ext-idle-notify-v1.xml
    ${WAYLAND_PROTOCOLS_DIR}/unstable/idle-inhibit/idle-inhibit-unstable-v1.xml
    ${CMAKE_SOURCE_DIR}/platform/wayland/protocols/wlr-layer-shell-unstable-v1.xml
    ${CMAKE_SOURCE_DIR}/platform/wayland/protocols/wlr-virtual-pointer-unstable-v1.xml
    ${CMAKE_SOURCE_DIR}/platform/wayland/protocols/wlr-screencopy-unstable-v1.xml
    ${CMAKE_SOURCE_DIR}/platform/wayland/protocols/org-kde-kwin-idle.xml
)
set(protocolDir ${CMAKE_BINARY_DIR}/wayland-protocols)
set(protocolSources)
foreach(xml IN LISTS waylandProtocols)
    get_filename_component(name ${xml} NAME_WE)
    add_custom_command(
        OUTPUT ${protocolDir}/${name}-client.h ${protocolDir}/${name}.c
        COMMAND ${CMAKE_COMMAND} -E make_directory ${protocolDir}
        COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${protocolDir}/${name}-client.h
        # Layer-shell names an argument "namespace", a keyword of C++.
        COMMAND sed -i "s/\\bnamespace\\b/name_space/g" ${protocolDir}/${name}-client.h
        COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${protocolDir}/${name}.c
        DEPENDS ${xml}
        VERBATIM)
    list(APPEND protocolSources ${protocolDir}/${name}-client.h ${protocolDir}/${name}.c)
endforeach()
add_library(vellora_wayland_protocols STATIC ${protocolSources})
target_include_directories(vellora_wayland_protocols PUBLIC ${protocolDir})
target_link_libraries(vellora_wayland_protocols PUBLIC PkgConfig::WAYLAND_CLIENT)

add_library(vellora_wayland STATIC
    platform/wayland/wayland_show.cpp
    platform/wayland/wayland_display.cpp
    platform/wayland/wayland_window.cpp
    platform/wayland/wayland_events.cpp
    platform/wayland/wayland_shell.cpp
    platform/wayland/wayland_buffers.cpp
    platform/wayland/wayland_canvas.cpp
    platform/wayland/wayland_idle.cpp
)
target_link_libraries(vellora_wayland PUBLIC vellora_linux vellora_gtk vellora_wayland_protocols)

# Moves and clicks a pointer of its own on a compositor that offers virtual pointers,
# holds an idle inhibitor, and copies an output's pixels as the compositor holds them.
add_executable(vellora-wlpointer tests/linux/wlpointer.cpp)
target_link_libraries(vellora-wlpointer PRIVATE vellora_wayland_protocols)
add_executable(vellora-wayland-bench tools/wayland_bench.cpp)
target_link_libraries(vellora-wayland-bench PRIVATE vellora_wayland)
