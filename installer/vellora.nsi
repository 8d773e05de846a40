; Vellora's Windows setup. It puts vellora.scr into the system folder, where the
; Screen Saver control panel looks, registers an uninstaller with Windows, can make
; Vellora the current user's screen saver and open its settings at the end.
;
; makensis -WX -DSCR=vellora.scr -DICON=vellora.ico -DSTRINGS=strings-zh.nsh
;          -DOUTFILE=vellora-setup.exe [-DAMD64] vellora.nsi
;
; The product is the ANSI x86 installer: Unicode installers do not start on
; Windows 95/98/Me. AMD64 makes a 64-bit installer of a 64-bit test build, for
; machines whose Wine runs 64-bit programs only.

!ifdef AMD64
  Target amd64-unicode
!else
  Target x86-ansi
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include WinVer.nsh
!include x64.nsh

!define VERSION "0.1.0.0"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellora"
!define DESKTOP_KEY "Control Panel\Desktop"
!define OWN_KEY "Software\Vellora"
!define SETTINGS_NAME "Tessaview.ini"

Name "Vellora"
Caption "$(productName)"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Vellora"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails nevershow
ShowUninstDetails nevershow
BrandingText "Vellora ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=0 "ProductName" "Vellora"
VIAddVersionKey /LANG=0 "FileDescription" "Vellora setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "CompanyName" "Vellora"
VIAddVersionKey /LANG=0 "LegalCopyright" "Vellora"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$SYSDIR\vellora.scr"
!define MUI_FINISHPAGE_RUN_PARAMETERS "/c"
!define MUI_FINISHPAGE_RUN_TEXT "$(openSettings)"

!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one used where the user's own is not offered.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"

LangString productName ${LANG_ENGLISH} "Vellora screen saver"
LangString makeCurrent ${LANG_ENGLISH} "Make Vellora the current screen saver"
LangString openSettings ${LANG_ENGLISH} "Open the Vellora settings"
LangString removeSettings ${LANG_ENGLISH} "Also remove the Vellora settings file?"
!include /CHARSET=UTF8 "${STRINGS}"

; The Windows 95/98/Me family keeps the current saver in SYSTEM.INI, the NT family
; in the user's registry. Both get the path in its short form, as the control panel
; writes it.
!macro currentSaverFunctions un
  Function ${un}readCurrentSaver
    ${If} ${IsNT}
      ReadRegStr $R0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${Else}
      ReadINIStr $R0 "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE"
    ${EndIf}
  FunctionEnd

  ; $R0: the new saver; empty leaves the user with none.
  Function ${un}writeCurrentSaver
    ${If} ${IsNT}
      ${If} $R0 == ""
        DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
      ${Else}
        WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" $R0
      ${EndIf}
    ${Else}
      ${If} $R0 == ""
        DeleteINIStr "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE"
      ${Else}
        WriteINIStr "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE" $R0
      ${EndIf}
      FlushINI "$WINDIR\system.ini"
    ${EndIf}
  FunctionEnd

  ; $R1: 1 when the saver path in $R0 names Vellora's file, whatever its folder or form.
  Function ${un}isVellora
    StrCpy $R1 $R0 "" -12
    ${If} $R1 == "\vellora.scr"
      StrCpy $R1 1
    ${Else}
      StrCpy $R1 0
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro currentSaverFunctions ""
!insertmacro currentSaverFunctions "un."

; $R2: where Windows itself finds the installed saver. A 32-bit installer on
; 64-bit Windows writes into SysWOW64 through the system folder's redirection,
; but the 64-bit session that starts savers would look in the real System32.
Function installedSaverPath
  StrCpy $R2 "$SYSDIR\vellora.scr"
  !ifndef AMD64
    ${If} ${RunningX64}
      StrCpy $R2 "$WINDIR\SysWOW64\vellora.scr"
    ${EndIf}
  !endif
FunctionEnd

Section "-Vellora" SecProgram
  SetOutPath $SYSDIR
  File "/oname=vellora.scr" "${SCR}"
  SetOutPath $INSTDIR
  WriteUninstaller "$INSTDIR\uninstall.exe"

  Call installedSaverPath
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "$(productName)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$R2,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Vellora"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; Without a settings file the settings dialog closes before it opens, so a first
  ; install writes the dialog's defaults. A file that is there stays untouched.
  ${IfNot} ${FileExists} "$WINDIR\${SETTINGS_NAME}"
    ClearErrors
    FileOpen $0 "$WINDIR\${SETTINGS_NAME}" w
    ${IfNot} ${Errors}
      FileWrite $0 "$\r$\n0$\r$\n5$\r$\n0"
      FileClose $0
    ${EndIf}
  ${EndIf}
SectionEnd

Section "$(makeCurrent)" SecCurrent
  Call readCurrentSaver
  Call isVellora
  ; A reinstall must not record Vellora as the saver to go back to.
  ${If} $R1 == 0
    WriteRegStr HKCU "${OWN_KEY}" "PreviousScreenSaver" $R0
  ${EndIf}
  Call installedSaverPath
  GetFullPathName /SHORT $R0 $R2
  ${If} $R0 == ""
    StrCpy $R0 $R2
  ${EndIf}
  Call writeCurrentSaver
  ; SPI_SETSCREENSAVEACTIVE, written to the user's profile and announced.
  System::Call "user32::SystemParametersInfo(i 17, i 1, p 0, i 3)"
SectionEnd

Section "Uninstall"
  Call un.readCurrentSaver
  Call un.isVellora
  ${If} $R1 == 1
    ReadRegStr $R0 HKCU "${OWN_KEY}" "PreviousScreenSaver"
    Call un.writeCurrentSaver
  ${EndIf}

  Delete /REBOOTOK "$SYSDIR\vellora.scr"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "${OWN_KEY}"

  ; The settings are the user's own work: silent removal keeps them.
  MessageBox MB_YESNO|MB_ICONQUESTION "$(removeSettings)$\r$\n$WINDIR\${SETTINGS_NAME}" /SD IDNO IDNO keepSettings
    Delete "$WINDIR\${SETTINGS_NAME}"
    ; Windows Vista and later keep the copy an unelevated dialog saved in the
    ; user's virtual store, under the Windows directory's path without its drive.
    StrCpy $0 $WINDIR "" 3
    Delete "$LOCALAPPDATA\VirtualStore\$0\${SETTINGS_NAME}"
  keepSettings:
SectionEnd
