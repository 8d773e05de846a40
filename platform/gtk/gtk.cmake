# GTK 3: the settings dialog, the show's message boxes, and a program that runs
# the dialog alone for the tests.
find_package(PkgConfig REQUIRED)
if(NOT TARGET PkgConfig::GTK3)
    pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
endif()

add_library(vellora_gtk STATIC
    platform/gtk/gtk_dialog_window.cpp
    platform/gtk/gtk_dialog_services.cpp
    platform/gtk/message_box.cpp
    platform/gtk/gtk_linux_options.cpp
)
target_link_libraries(vellora_gtk PUBLIC vellora_linux PkgConfig::GTK3)

add_executable(vellora-settings-gtk tests/linux/settings_gtk_main.cpp)
target_link_libraries(vellora-settings-gtk PRIVATE vellora_gtk vellora_x11)

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate REQUIRED)
add_test(NAME desktop_file COMMAND ${DESKTOP_FILE_VALIDATE} ${CMAKE_BINARY_DIR}/translated/vellora-settings.desktop
                                   ${CMAKE_BINARY_DIR}/translated/vellora-idle.desktop)
