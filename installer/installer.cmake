# vellora-setup.exe and vellora-setup-9x.exe: the Windows installers of this
# build's vellora.scr, made with NSIS. The 64-bit build makes a 64-bit
# vellora-setup.exe from the same script, for the Wine tests on machines that run
# 64-bit Windows programs only.
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

# One installer per call: vellora_setup(FILE [MAKENSIS_DEFINE...]).
function(vellora_setup file)
    add_custom_command(
        OUTPUT ${CMAKE_BINARY_DIR}/${file}
        COMMAND ${MAKENSIS} -WX -V2 -NOCD ${ARGN}
                -DSCR=$<TARGET_FILE:vellora> -DICON=${CMAKE_SOURCE_DIR}/resources/vellora.ico
                -DSTRINGS=${VELLORA_SETUP_STRINGS} -DOUTFILE=${CMAKE_BINARY_DIR}/${file}
                ${CMAKE_SOURCE_DIR}/installer/vellora.nsi
        DEPENDS vellora ${CMAKE_SOURCE_DIR}/installer/vellora.nsi ${VELLORA_SETUP_STRINGS}
                ${CMAKE_SOURCE_DIR}/resources/vellora.ico
        VERBATIM)
endfunction()

# The 32-bit build makes the product's two: Unicode for the NT family, ANSI for
# Windows 95/98/Me.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    vellora_setup(vellora-setup.exe -DAMD64)
    add_custom_target(vellora-setup ALL DEPENDS ${CMAKE_BINARY_DIR}/vellora-setup.exe)
else()
    vellora_setup(vellora-setup.exe)
    vellora_setup(vellora-setup-9x.exe -DWIN9X)
    add_custom_target(vellora-setup ALL
        DEPENDS ${CMAKE_BINARY_DIR}/vellora-setup.exe ${CMAKE_BINARY_DIR}/vellora-setup-9x.exe)
endif()
