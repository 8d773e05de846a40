# The native Linux platform and its program.

include(platform/decoding/decoding.cmake)

# Folders as sources of pictures: portable rules and their POSIX side, with the
# reading of the user's files, also under the fuzz build.
find_package(Threads REQUIRED)
add_library(vellora_folders STATIC platform/picture_folders.cpp platform/linux/folder_catalogue.cpp
            platform/linux/user_files.cpp)
target_include_directories(vellora_folders PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vellora_folders PUBLIC vellora_core Threads::Threads)

# When photos were taken, read from their files; also under the fuzz build.
find_package(PkgConfig REQUIRED)
pkg_check_modules(BROTLIDEC REQUIRED IMPORTED_TARGET libbrotlidec)
add_library(vellora_dates STATIC platform/linux/date_taken.cpp)
target_include_directories(vellora_dates PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vellora_dates PUBLIC vellora_core PRIVATE PkgConfig::BROTLIDEC)

# The native program: what every display system shares, GTK's dialog and message
# boxes, and the X11 and Wayland backends.

if(NOT VELLORA_FUZZ)
    pkg_check_modules(GLIB2 REQUIRED IMPORTED_TARGET glib-2.0)
    pkg_check_modules(GIO2 REQUIRED IMPORTED_TARGET gio-2.0)
    # Text conversion needs no display, so the unit tests link it alone.
    add_library(vellora_dialog_text STATIC platform/linux/dialog_text.cpp platform/linux/program_text.cpp)
    target_include_directories(vellora_dialog_text PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(vellora_dialog_text PUBLIC PkgConfig::GLIB2)
    include(GNUInstallDirs)
    target_compile_definitions(vellora_dialog_text PRIVATE VELLORA_LOCALEDIR="${CMAKE_INSTALL_FULL_LOCALEDIR}")

    # Captions and backdrops of --caption and --backdrop: Pango and Cairo draw the
    # caption, which needs no display, so the unit tests link it alone.
    pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo)
    add_library(vellora_photos STATIC platform/backdrop.cpp platform/linux/photo_caption.cpp)
    target_include_directories(vellora_photos PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(vellora_photos PUBLIC PkgConfig::GLIB2 PRIVATE PkgConfig::PANGOCAIRO)

    add_library(vellora_linux STATIC
        platform/linux/linux_platform.cpp
        platform/linux/linux_files.cpp
        platform/linux/linux_clock.cpp
        platform/linux/stop_signals.cpp
        platform/linux/show_options.cpp
        platform/linux/command_line.cpp
        platform/linux/monitor_shows.cpp
        platform/linux/child_process.cpp
        platform/linux/idle_watch.cpp
        platform/linux/gnome_idle.cpp
        platform/linux/window_timers.cpp
        platform/linux/show_pid_file.cpp
        platform/linux/message_queue.cpp
        platform/linux/xscreensaver_setup.cpp
        platform/linux/linux_options.cpp
        platform/linux/idle_autostart.cpp
        platform/linux/photo_pictures.cpp
    )
    target_link_libraries(vellora_linux PUBLIC vellora_core vellora_folders vellora_pictures vellora_dialog_text vellora_photos
                                               vellora_dates PkgConfig::GLIB2 PRIVATE PkgConfig::GIO2)

    include(platform/gtk/gtk.cmake)
    include(platform/x11/x11.cmake)
    include(platform/wayland/wayland.cmake)

    add_executable(vellora platform/linux/main.cpp)
    target_link_libraries(vellora PRIVATE vellora_x11 vellora_wayland vellora_gtk)
    # The program finds its decoder and its catalogues beside itself in a build.
    add_dependencies(vellora vellora-decoder vellora-translations)
    include(platform/linux/package.cmake)

    # Test helpers: the test platform's screen for a device and picture.
    add_executable(vellora-surface tests/linux/surface_dump.cpp)
    target_link_libraries(vellora-surface PRIVATE vellora_testplatform vellora_decode)
    add_executable(vellora-decoder-bench tools/decoder_bench.cpp)
    target_link_libraries(vellora-decoder-bench PRIVATE vellora_linux)
    add_dependencies(vellora-decoder-bench vellora-decoder)
    # A decoder that misbehaves on marker files, for the tests of the decoder process only.
    add_executable(vellora-decoder-hooked tests/linux/hooked_decoder.cpp)
    target_link_libraries(vellora-decoder-hooked PRIVATE vellora_decoder_sandbox)
    # Its messages pass through its own sendmsg first, so that it can answer twice.
    target_link_options(vellora-decoder-hooked PRIVATE -Wl,--wrap=sendmsg)
    add_executable(vellora-folder-bench tools/folder_bench.cpp)
    target_link_libraries(vellora-folder-bench PRIVATE vellora_linux)
    add_executable(vellora-photos-bench tools/photos_bench.cpp)
    target_link_libraries(vellora-photos-bench PRIVATE vellora_linux)
endif()
