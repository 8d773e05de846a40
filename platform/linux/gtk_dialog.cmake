# The settings dialog with GTK 3, and a program that runs it alone for the tests.
find_package(PkgConfig REQUIRED)
if(NOT TARGET PkgConfig::GTK3)
    pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
endif()

pkg_check_modules(GLIB2 REQUIRED IMPORTED_TARGET glib-2.0)

# Text conversion needs no display, so the unit tests link it alone.
add_library(vellora_dialog_text STATIC platform/linux/dialog_text.cpp)
target_include_directories(vellora_dialog_text PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vellora_dialog_text PUBLIC PkgConfig::GLIB2)

add_library(vellora_gtk_dialog STATIC
    platform/linux/gtk_dialog_window.cpp
    platform/linux/gtk_dialog_services.cpp
)
target_link_libraries(vellora_gtk_dialog PUBLIC vellora_core vellora_dialog_text vellora_linux PkgConfig::GTK3)

add_executable(vellora-settings-gtk tests/linux/settings_gtk_main.cpp)
target_link_libraries(vellora-settings-gtk PRIVATE vellora_gtk_dialog)

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate REQUIRED)
add_test(NAME desktop_file COMMAND ${DESKTOP_FILE_VALIDATE} ${CMAKE_SOURCE_DIR}/platform/linux/vellora-settings.desktop)
