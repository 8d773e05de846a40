; Vellora's Windows setup. It puts vellora.scr into the system folder, where the
; Screen Saver control panel looks, registers an uninstaller with Windows, can make
; Vellora the current user's screen saver and open its settings at the end.
;
; makensis -WX -DSCR=vellora.scr -DICON=vellora.ico -DSTRINGS=strings-zh.nsh
;          -DOUTFILE=vellora-setup.exe [-DWIN9X | -DAMD64] vellora.nsi
;
; The product is two x86 installers from this script. vellora-setup.exe is Unicode,
; for the NT family: an ANSI program there cannot start from a folder whose name is
; outside the system code page, nor carry such a name from the registry and back.
; WIN9X makes vellora-setup-9x.exe, the ANSI one, since Windows 95/98/Me do not
; start Unicode installers; it sends NT-family users to the other one. AMD64 makes
; a 64-bit installer of a 64-bit test build, for machines whose Wine runs 64-bit
; programs only.

!ifdef AMD64
  Target amd64-unicode
!else ifdef WIN9X
  Target x86-ansi
!else
  Target x86-unicode
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
; What setup programs end with when the work is done but takes effect at the next restart.
!define EXIT_RESTART_NEEDED 3010
!define EXIT_ACCESS_DENIED 5
!define EXIT_WRONG_SYSTEM 1633

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
; A restart the saver in use asks for can wait until the user's work is saved.
!define MUI_FINISHPAGE_REBOOTLATER_DEFAULT

!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; Offers the restart when the saver was in use and is removed then.
!define MUI_FINISHPAGE_REBOOTLATER_DEFAULT
!insertmacro MUI_UNPAGE_FINISH

; The first language is the one used where the user's own is not offered.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"

LangString productName ${LANG_ENGLISH} "Vellora screen saver"
LangString makeCurrent ${LANG_ENGLISH} "Make Vellora the current screen saver"
LangString openSettings ${LANG_ENGLISH} "Open the Vellora settings"
LangString removeSettings ${LANG_ENGLISH} "Also remove the Vellora settings file?"
LangString needsRights ${LANG_ENGLISH} "Installing Vellora needs administrator rights, as it writes into the system folder. Run this setup again as an administrator. Nothing has been changed."
LangString cannotWrite ${LANG_ENGLISH} "Setup could not write vellora.scr into the system folder. Nothing has been changed."
LangString wrongSystem ${LANG_ENGLISH} "This setup is for Windows 95, 98 and Me. On this Windows, run vellora-setup.exe."
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

  ; $R0: the new saver; empty leaves the user with none. $R1: its registry type,
  ; 2 for a path with environment variables, anything else for a plain one.
  Function ${un}writeCurrentSaver
    ${If} ${IsNT}
      ${If} $R0 == ""
        DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
      ${ElseIf} $R1 == 2
        WriteRegExpandStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" $R0
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

  ; $R2: where Windows itself finds the installed saver, $R3 its folder. A 32-bit
  ; installer on 64-bit Windows writes into SysWOW64 through the system folder's
  ; redirection, but the 64-bit session that starts savers would look in the real
  ; System32; naming SysWOW64 also keeps a replacement queued for the next restart,
  ; which no redirection applies to, in the right folder.
  Function ${un}installedSaverPath
    StrCpy $R3 $SYSDIR
    !ifndef AMD64
      ${If} ${RunningX64}
        StrCpy $R3 "$WINDIR\SysWOW64"
      ${EndIf}
    !endif
    StrCpy $R2 "$R3\vellora.scr"
  FunctionEnd

  ; $R1: 1 when the saver path in $R0 names the installed file, in its long or short
  ; form; a file of the same name elsewhere is the user's own.
  Function ${un}isVellora
    Push $R2
    Push $R3
    Push $R4
    Call ${un}installedSaverPath
    StrCpy $R1 0
    ${If} $R0 == $R2
      StrCpy $R1 1
    ${Else}
      GetFullPathName /SHORT $R3 $R2
      GetFullPathName /SHORT $R4 $R0
      ${If} $R3 != ""
      ${AndIf} $R3 == $R4
        StrCpy $R1 1
      ${EndIf}
    ${EndIf}
    Pop $R4
    Pop $R3
    Pop $R2
  FunctionEnd
!macroend
!insertmacro currentSaverFunctions ""
!insertmacro currentSaverFunctions "un."

; $R1: the registry type of the current saver's value on the NT family (1 for a
; plain path, 2 for one with environment variables, 0 when there is none), so that
; the uninstaller puts it back as it was.
Function readCurrentSaverType
  StrCpy $R1 0
  ${If} ${IsNT}
    ; HKEY_CURRENT_USER, sign-extended on 64-bit Windows; KEY_QUERY_VALUE.
    System::Call "advapi32::RegOpenKeyEx(p -2147483647, t '${DESKTOP_KEY}', i 0, i 1, *p .r1) i .r0"
    ${If} $0 == 0
      System::Call "advapi32::RegQueryValueEx(p r1, t 'SCRNSAVE.EXE', p 0, *i .R1, p 0, p 0)"
      System::Call "advapi32::RegCloseKey(p r1)"
    ${EndIf}
  ${EndIf}
FunctionEnd

; $R0: whether a saver runs at all, as the install found it in the user's registry,
; where both families keep it ("1", "0", or empty when never set); empty leaves it.
Function un.writeSaverActive
  ${If} $R0 == "0"
    ; SPI_SETSCREENSAVEACTIVE, written to the user's profile and announced.
    System::Call "user32::SystemParametersInfo(i 17, i 0, p 0, i 3)"
  ${ElseIf} $R0 != ""
    System::Call "user32::SystemParametersInfo(i 17, i 1, p 0, i 3)"
  ${EndIf}
FunctionEnd

Function .onInit
  !ifdef WIN9X
    ; The ANSI installer mangles names outside the code page on the NT family.
    ${If} ${IsNT}
      MessageBox MB_OK|MB_ICONSTOP "$(wrongSystem)" /SD IDOK
      SetErrorLevel ${EXIT_WRONG_SYSTEM}
      Quit
    ${EndIf}
  !else
    ; Without elevation (UAC off, or a Windows before it) a user who may not write
    ; the system folder would get nothing copied; say so before anything changes.
    Call installedSaverPath
    ClearErrors
    FileOpen $0 "$R3\vellora-setup.tmp" w
    ${If} ${Errors}
      MessageBox MB_OK|MB_ICONSTOP "$(needsRights)" /SD IDOK
      SetErrorLevel ${EXIT_ACCESS_DENIED}
      Quit
    ${EndIf}
    FileClose $0
    Delete "$R3\vellora-setup.tmp"
  !endif
FunctionEnd

Section "-Vellora" SecProgram
  ; The new file goes in under another name: a saver that shows or previews cannot
  ; be overwritten, and then takes the old one's place at the next restart.
  Call installedSaverPath
  SetOutPath $R3
  Delete "$R2.new"
  ClearErrors
  File "/oname=vellora.scr.new" "${SCR}"
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$R2.new"
    MessageBox MB_OK|MB_ICONSTOP "$(cannotWrite)" /SD IDOK
    SetErrorLevel ${EXIT_ACCESS_DENIED}
    Abort
  ${EndIf}
  Delete "$R2"
  ClearErrors
  Rename /REBOOTOK "$R2.new" "$R2"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "$(cannotWrite)" /SD IDOK
    SetErrorLevel ${EXIT_ACCESS_DENIED}
    Abort
  ${EndIf}

  SetOutPath $INSTDIR
  WriteUninstaller "$INSTDIR\uninstall.exe"

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
    Call readCurrentSaverType
    WriteRegDWORD HKCU "${OWN_KEY}" "PreviousScreenSaverType" $R1
    ReadRegStr $R0 HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
    WriteRegStr HKCU "${OWN_KEY}" "PreviousScreenSaveActive" $R0
  ${EndIf}
  Call installedSaverPath
  GetFullPathName /SHORT $R0 $R2
  ${If} $R0 == ""
    StrCpy $R0 $R2
  ${EndIf}
  StrCpy $R1 1
  Call writeCurrentSaver
  ; SPI_SETSCREENSAVEACTIVE, written to the user's profile and announced.
  System::Call "user32::SystemParametersInfo(i 17, i 1, p 0, i 3)"
SectionEnd

; The finish page offers the restart itself; a silent install says so in its code.
Section "-Restart"
  ${If} ${RebootFlag}
    SetErrorLevel ${EXIT_RESTART_NEEDED}
  ${EndIf}
SectionEnd

Section "Uninstall"
  Call un.readCurrentSaver
  Call un.isVellora
  ${If} $R1 == 1
    ReadRegStr $R0 HKCU "${OWN_KEY}" "PreviousScreenSaver"
    ReadRegDWORD $R1 HKCU "${OWN_KEY}" "PreviousScreenSaverType"
    Call un.writeCurrentSaver
    ReadRegStr $R0 HKCU "${OWN_KEY}" "PreviousScreenSaveActive"
    Call un.writeSaverActive
  ${EndIf}

  Call un.installedSaverPath
  Delete /REBOOTOK "$R2"
  ; An upgrade waiting for the restart would otherwise bring the saver back then.
  Delete /REBOOTOK "$R2.new"
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

  ${If} ${RebootFlag}
    SetErrorLevel ${EXIT_RESTART_NEEDED}
  ${EndIf}
SectionEnd
