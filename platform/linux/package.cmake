# Installing the native program, and its Debian package (tools/package.sh).
include(GNUInstallDirs)

set(VELLORA_VERSION 1.0.0)
set(xscreensaverHacks ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver)

# The decoder process lies beside the program, which looks for it there.
install(TARGETS vellora vellora-decoder RUNTIME DESTINATION ${xscreensaverHacks})
# One program in two places: where xscreensaver looks for hacks, and on the PATH.
install(CODE "
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}${CMAKE_INSTALL_FULL_BINDIR}\")
    file(CREATE_LINK ../${xscreensaverHacks}/vellora \"\$ENV{DESTDIR}${CMAKE_INSTALL_FULL_BINDIR}/vellora\" SYMBOLIC)
")
# The catalogues, and the desktop files and hack description made with them.
include(po/po.cmake)
# xscreensaver's description in the source language; the translated ones lie in
# ${CMAKE_INSTALL_DATADIR}/vellora/xscreensaver/LANGUAGE/ (see po/po.cmake).
install(FILES ${CMAKE_BINARY_DIR}/translated/vellora.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)
install(FILES ${CMAKE_BINARY_DIR}/translated/vellora-settings.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The idle watcher's autostart entry, for reference: the settings dialog's idle
# switch writes the user's own copy into ~/.config/autostart, which runs at log-in.
install(FILES ${CMAKE_BINARY_DIR}/translated/vellora-idle.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/vellora)

# Debian wants its manual pages and changelog compressed without timestamps.
set(packageFiles ${CMAKE_BINARY_DIR}/package-files)
add_custom_command(
    OUTPUT ${packageFiles}/vellora.1.gz ${packageFiles}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${packageFiles}
    COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/platform/linux/vellora.1 > ${packageFiles}/vellora.1.gz
    COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/platform/linux/debian/changelog > ${packageFiles}/changelog.gz
    DEPENDS platform/linux/vellora.1 platform/linux/debian/changelog
    VERBATIM)
add_custom_target(vellora-package-files ALL DEPENDS ${packageFiles}/vellora.1.gz ${packageFiles}/changelog.gz)
# The package also installs the catalogues and the files translated with them.
add_dependencies(vellora-package-files vellora-translations)
install(FILES ${packageFiles}/vellora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packageFiles}/changelog.gz platform/linux/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vellora)
set(CPACK_PACKAGE_VERSION ${VELLORA_VERSION})
set(CPACK_PACKAGE_CONTACT "Vellora developers <maintainers@vellora.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "picture slide-show screen saver with twenty transitions")
set(CPACK_PACKAGE_DESCRIPTION "Vellora shows your own pictures one after another, each at its natural\n size in the middle of a black screen, blanked and revealed with one of\n twenty transitions. It runs natively on Wayland, started by an idle daemon\n such as swayidle, and as an xscreensaver hack on X11, full screen (a show\n per monitor) or in a window, can start itself when the session is idle,\n and has a settings dialog of its own.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xscreensaver)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vellora.example/")
set(CPACK_STRIP_FILES ON)
include(CPack)
