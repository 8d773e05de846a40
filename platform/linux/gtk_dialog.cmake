# The settings dialog with GTK 3, and a program that runs it alone for the tests.
find_package(PkgConfig REQUIRED)
if(NOT TARGET PkgConfig::GTK3)
    pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
endif()

add_library(vellora_gtk_dialog STATIC
    platform/linux/dialog_text.cpp
    platform/linux/gtk_dialog_window.cpp
    platform/linux/gtk_dialog_services.cpp
    platform/linux/posix_files.cpp
)
target_link_libraries(vellora_gtk_dialog PUBLIC vellora_core PkgConfig::GTK3)

add_executable(vellora-settings-gtk tests/linux/settings_gtk_main.cpp)
target_link_libraries(vellora-settings-gtk PRIVATE vellora_gtk_dialog)
