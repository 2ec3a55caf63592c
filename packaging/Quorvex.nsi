; Installer of the printer-link software: the setup program, the library, the help text and the
; command-line client, into Program Files, with a Start-menu entry and an uninstaller.
; Optional, off unless chosen (or /WATCHLINKS on a silent install; kept on an upgrade of an
; install that has it): keep printer links up with the service QuorvexLinkWatch, which runs
; "btctl watch --reconnect" with nobody logged on and connects bound printers again when their
; links drop.
; Built by makensis with -DSTAGE=<folder holding the files> -DOUTFILE=<installer path>, and
; -DSIGN=<signing script> for a signed release (packaging/make-release).

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

; A signed release: the uninstaller is signed before it goes into the installer, which writes
; it unchanged, and the installer once it is written.
!ifdef SIGN
  !uninstfinalize '"${SIGN}" "%1"' = 0
  !finalize '"${SIGN}" "%1"' = 0
!endif

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
!define SERVICE_KEY "System\CurrentControlSet\Services\QuorvexLinkWatch"

; The service and any console watch of an earlier install let go of btctl.exe and
; Mendalix.dll before they are replaced or removed. The btctl being installed does it, from
; the installer's own temporary folder, whatever version is installed.
!macro ReleaseInstalledFiles
  InitPluginsDir
  SetOutPath "$PLUGINSDIR"
  File "${STAGE}\btctl.exe"
  ExecWait '"$PLUGINSDIR\btctl.exe" service release "$INSTDIR"'
!macroend

Section "Setup program, library and btctl" SecMain
  SectionIn RO
  ; The log-on watch of earlier versions: the service takes its place.
  DeleteRegValue HKLM "${RUN_KEY}" "${WATCH_VALUE}"
  !insertmacro ReleaseInstalledFiles
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

Section /o "Keep printer links up (service)" SecWatch
  ExecWait '"$INSTDIR\btctl.exe" service install' $0
  ${If} $0 == 0
    ExecWait '"$INSTDIR\btctl.exe" service start'
  ${EndIf}
SectionEnd

; Not chosen: no service (an earlier install's goes).
Section "-NoService"
  ${IfNot} ${SectionIsSelected} ${SecWatch}
    ExecWait '"$INSTDIR\btctl.exe" service uninstall'
  ${EndIf}
SectionEnd

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/WATCHLINKS" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecWatch}
  ${EndIf}
  ClearErrors
  EnumRegKey $1 HKLM "${SERVICE_KEY}" 0
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecWatch}   ; an upgrade keeps the service
  ${EndIf}
FunctionEnd

; The settings file the user made (Quorvex.ini) stays unless /REMOVESETTINGS is given.
Section "Uninstall"
  ; The service (and its event source) and any console watch go before the files.
  ExecWait '"$INSTDIR\btctl.exe" service uninstall'
  ExecWait '"$INSTDIR\btctl.exe" service release "$INSTDIR"'
  SetShellVarContext all
  RMDir /r "$APPDATA\Quorvex"   ; the service's log and metrics
  SetShellVarContext current
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
