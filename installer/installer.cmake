# vellora-setup.exe: the Windows installer of this build's vellora.scr, made with
# NSIS. The 64-bit build makes a 64-bit installer from the same script, for the
# Wine tests on machines that run 64-bit Windows programs only.
find_program(MAKENSIS makensis REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(VELLORA_SETUP_STRINGS ${CMAKE_BINARY_DIR}/installer/strings-zh.nsh)
add_custom_command(
    OUTPUT ${VELLORA_SETUP_STRINGS}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/installer
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/installer/gbk_strings.py
            ${CMAKE_SOURCE_DIR}/resources/gbk_text.h ${VELLORA_SETUP_STRINGS}
    DEPENDS ${CMAKE_SOURCE_DIR}/installer/gbk_strings.py ${CMAKE_SOURCE_DIR}/resources/gbk_text.h
    VERBATIM)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VELLORA_SETUP_TARGET -DAMD64)
endif()
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/vellora-setup.exe
    COMMAND ${MAKENSIS} -WX -V2 -NOCD ${VELLORA_SETUP_TARGET}
            -DSCR=$<TARGET_FILE:vellora> -DICON=${CMAKE_SOURCE_DIR}/resources/vellora.ico
            -DSTRINGS=${VELLORA_SETUP_STRINGS} -DOUTFILE=${CMAKE_BINARY_DIR}/vellora-setup.exe
            ${CMAKE_SOURCE_DIR}/installer/vellora.nsi
    DEPENDS vellora ${CMAKE_SOURCE_DIR}/installer/vellora.nsi ${VELLORA_SETUP_STRINGS}
            ${CMAKE_SOURCE_DIR}/resources/vellora.ico
    VERBATIM)
add_custom_target(vellora-setup ALL DEPENDS ${CMAKE_BINARY_DIR}/vellora-setup.exe)
