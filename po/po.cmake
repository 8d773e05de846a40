# The program's texts in other languages (gettext). po/ holds one catalogue per
# language named in po/LINGUAS; the template is made from the sources listed in
# po/POTFILES at build time, and each catalogue is compiled into locale/ beside the
# program, where it finds them when run from the build folder. The desktop files
# are merged with the catalogues by msgfmt --desktop; xscreensaver reads one hack
# description per program and translates it only from its own catalogue, so the
# description is generated once per language from its template (po/translate_xml.py).
find_program(XGETTEXT xgettext REQUIRED)
find_program(MSGFMT msgfmt REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(poFolder ${CMAKE_SOURCE_DIR}/po)
file(STRINGS ${poFolder}/LINGUAS velloraLanguages REGEX "^[^#]")
file(STRINGS ${poFolder}/POTFILES potFiles REGEX "^[^#]")
set(potSources "")
foreach(source IN LISTS potFiles)
    list(APPEND potSources ${CMAKE_SOURCE_DIR}/${source})
endforeach()

set(velloraPot ${CMAKE_BINARY_DIR}/po/vellora.pot)
add_custom_command(
    OUTPUT ${velloraPot}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/po
    COMMAND ${CMAKE_COMMAND} -E env GETTEXTDATADIRS=${poFolder}
            ${XGETTEXT} --from-code=UTF-8 --keyword=tr --keyword=N_ --add-comments=TRANSLATORS
            --package-name=vellora --package-version=${VELLORA_VERSION} --msgid-bugs-address=maintainers@vellora.example
            --no-wrap --sort-by-file --directory=${CMAKE_SOURCE_DIR} --files-from=${poFolder}/POTFILES
            --output=${velloraPot}
    DEPENDS ${potSources} ${poFolder}/POTFILES ${poFolder}/its/vellora-xml.its ${poFolder}/its/vellora-xml.loc
    VERBATIM)

set(catalogues "")
foreach(language IN LISTS velloraLanguages)
    set(mo ${CMAKE_BINARY_DIR}/locale/${language}/LC_MESSAGES/vellora.mo)
    add_custom_command(
        OUTPUT ${mo}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/locale/${language}/LC_MESSAGES
        COMMAND ${MSGFMT} --check --output-file=${mo} ${poFolder}/${language}.po
        DEPENDS ${poFolder}/${language}.po
        VERBATIM)
    list(APPEND catalogues ${mo})
    install(FILES ${mo} DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/${language}/LC_MESSAGES)
endforeach()

set(translatedFiles ${CMAKE_BINARY_DIR}/translated)
set(desktopFiles "")
foreach(desktop vellora-settings vellora-idle)
    add_custom_command(
        OUTPUT ${translatedFiles}/${desktop}.desktop
        COMMAND ${CMAKE_COMMAND} -E make_directory ${translatedFiles}
        COMMAND ${MSGFMT} --desktop --template=${CMAKE_SOURCE_DIR}/platform/linux/${desktop}.desktop.in
                -d ${poFolder} --output-file=${translatedFiles}/${desktop}.desktop
        DEPENDS ${CMAKE_SOURCE_DIR}/platform/linux/${desktop}.desktop.in ${poFolder}/LINGUAS ${poFolder}/zh_CN.po
        VERBATIM)
    list(APPEND desktopFiles ${translatedFiles}/${desktop}.desktop)
endforeach()

set(xmlFiles ${translatedFiles}/vellora.xml)
add_custom_command(
    OUTPUT ${translatedFiles}/vellora.xml
    COMMAND ${CMAKE_COMMAND} -E make_directory ${translatedFiles}
    COMMAND Python3::Interpreter ${poFolder}/translate_xml.py ${CMAKE_SOURCE_DIR}/platform/linux/vellora.xml.in -
            ${translatedFiles}/vellora.xml
    DEPENDS ${CMAKE_SOURCE_DIR}/platform/linux/vellora.xml.in ${poFolder}/translate_xml.py
    VERBATIM)
foreach(language IN LISTS velloraLanguages)
    set(xml ${translatedFiles}/${language}/vellora.xml)
    add_custom_command(
        OUTPUT ${xml}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${translatedFiles}/${language}
        COMMAND Python3::Interpreter ${poFolder}/translate_xml.py ${CMAKE_SOURCE_DIR}/platform/linux/vellora.xml.in
                ${CMAKE_BINARY_DIR}/locale/${language}/LC_MESSAGES/vellora.mo ${xml}
        DEPENDS ${CMAKE_SOURCE_DIR}/platform/linux/vellora.xml.in ${poFolder}/translate_xml.py
                ${CMAKE_BINARY_DIR}/locale/${language}/LC_MESSAGES/vellora.mo
        VERBATIM)
    list(APPEND xmlFiles ${xml})
    install(FILES ${xml} DESTINATION ${CMAKE_INSTALL_DATADIR}/vellora/xscreensaver/${language})
endforeach()

add_custom_target(vellora-translations ALL DEPENDS ${velloraPot} ${catalogues} ${desktopFiles} ${xmlFiles})

add_test(NAME translations COMMAND Python3::Interpreter ${poFolder}/check_catalogue.py ${poFolder} ${CMAKE_BINARY_DIR})
