; Installer of the printer-link software: the setup program, the library, the help text and the
; command-line client, into Program Files, with a Start-menu entry and an uninstaller.
; Optional, off unless chosen (or /WATCHLINKS on a silent install): start
; "btctl watch --reconnect" at log-on, which connects bound printers again when their links drop.
; Built by makensis with -DSTAGE=<folder holding the files> -DOUTFILE=<installer path>.

Unicode true
!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"

Name "Quorvex"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Quorvex"
InstallDirRegKey HKLM "Software\Quorvex" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvex"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define WATCH_VALUE "Quorvex link watch"
!define DRIVER_KEY "System\CurrentControlSet\Services\Sarnovek\Parameters"

Section "Setup program, library and btctl" SecMain
  SectionIn RO
  DeleteRegValue HKLM "${RUN_KEY}" "${WATCH_VALUE}"   ; back only when chosen again below
  SetOutPath "$INSTDIR"
  File "${STAGE}\Quorvex.exe"
  File "${STAGE}\Mendalix.dll"
  File "${STAGE}\Quorvex.txt"
  File "${STAGE}\btctl.exe"
  SetOutPath "$INSTDIR\sdk"
  File /r "${STAGE}\sdk\*.*"

  ; Where the driver writes what a query finds, the same value the setup program writes at
  ; every start, and a settings file with nothing bound yet unless one is there: btctl status
  ; and the watch work before the setup program's first run, and a reinstall keeps the file.
  SetOutPath "$INSTDIR"
  WriteRegStr HKLM "${DRIVER_KEY}" "BTiniPath" "\??\$INSTDIR\Quorvex.ini"
  ${IfNot} ${FileExists} "$INSTDIR\Quorvex.ini"
    File "${STAGE}\first\Quorvex.ini"
  ${EndIf}
  CreateDirectory "$SMPROGRAMS\Quorvex"
  CreateShortcut "$SMPROGRAMS\Quorvex\Quorvex.lnk" "$INSTDIR\Quorvex.exe"
  CreateShortcut "$SMPROGRAMS\Quorvex\Quorvex help.lnk" "$INSTDIR\Quorvex.txt"

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "Software\Quorvex" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "Quorvex Wireless printer Setup"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "3.1.5"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
SectionEnd

Section /o "Reconnect dropped printer links at log-on (btctl watch --reconnect)" SecWatch
  WriteRegStr HKLM "${RUN_KEY}" "${WATCH_VALUE}" '"$INSTDIR\btctl.exe" watch --reconnect'
SectionEnd

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/WATCHLINKS" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecWatch}
  ${EndIf}
FunctionEnd

; The settings file the user made (Quorvex.ini) stays unless /REMOVESETTINGS is given.
Section "Uninstall"
  Delete "$INSTDIR\Quorvex.exe"
  Delete "$INSTDIR\Mendalix.dll"
  Delete "$INSTDIR\Quorvex.txt"
  Delete "$INSTDIR\btctl.exe"
  RMDir /r "$INSTDIR\sdk"
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    Delete "$INSTDIR\Quorvex.ini"
  ${EndIf}
  Delete "$INSTDIR\Uninstall.exe"
  Delete "$SMPROGRAMS\Quorvex\Quorvex.lnk"
  Delete "$SMPROGRAMS\Quorvex\Quorvex help.lnk"
  RMDir "$SMPROGRAMS\Quorvex"
  RMDir "$INSTDIR"
  DeleteRegValue HKLM "${RUN_KEY}" "${WATCH_VALUE}"
  ; The setup program's AutoRun entry would start a program that is gone.
  DeleteRegValue HKLM "${RUN_KEY}" "Quorvex"
  DeleteRegKey HKLM "${UNINST_KEY}"
  DeleteRegKey HKLM "Software\Quorvex"
SectionEnd
