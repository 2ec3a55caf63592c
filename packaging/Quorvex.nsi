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
!include "x64.nsh"

Name "Quorvex"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Quorvex"
InstallDirRegKey HKLM "Software\Quorvex" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

; A signed release: its plug-ins come signed from PLUGINS, the uninstaller is signed before it
; goes into the installer, which writes it unchanged, and the installer once it is written.
!ifdef SIGN
  !addplugindir /x86-unicode "${PLUGINS}"
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
!define PROFILES_KEY "Software\Microsoft\Windows NT\CurrentVersion\ProfileList"

; The service runs btctl.exe and Mendalix.dll of the install folder as the system: only the
; administrators and the system may write there. The folder gets the access list of the
; service's data folder (administrators and the system full, users read and execute, nothing
; inherited from the drive's root, where every user may make and change folders), wherever
; it is; files written into it afterwards take that list.
!define FOLDER_SDDL "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"
!macro SecureInstallFolder
  StrLen $0 "$INSTDIR"
  ${If} $0 <= 3   ; a drive's root keeps its own list
    MessageBox MB_OK|MB_ICONSTOP "Choose a folder, not the root of a drive." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  CreateDirectory "$INSTDIR"
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${FOLDER_SDDL}", i 1, *p .r1, p 0) i .r0'
  ${If} $0 != 0
    System::Call 'advapi32::SetFileSecurityW(w "$INSTDIR", i 5, p r1) i .r0'
    System::Call 'kernel32::LocalFree(p r1)'
  ${EndIf}
  ${If} $0 == 0
    MessageBox MB_OK|MB_ICONSTOP "The folder $INSTDIR cannot be given an access list that only administrators can write. Choose another folder." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
!macroend

; Every program of the install folder lets go of its files before they are replaced or
; removed: the service (whatever it is doing), console watches, the setup program (asked to
; close as its Esc does, ended after a few seconds). The btctl being installed does it,
; whatever version is installed, from the secured install folder (never from a temporary
; folder where the user's programs may drop a DLL beside it).
!macro ReleaseInstalledFiles
  File "/oname=$INSTDIR\btctl-setup.exe" "${STAGE}\btctl.exe"
  ExecWait '"$INSTDIR\btctl-setup.exe" service release "$INSTDIR"' $0
  ${If} $0 != 0
    DetailPrint "Some programs of $INSTDIR did not end (btctl service release: $0)."
  ${EndIf}
!macroend

Var Held
; Frees $R0, a file of the install folder, for its replacement or removal. When a program
; still holds it, the user is told and may close that program and retry; $Held is 1 when the
; file stays held (always so with /S), and it is then replaced or removed at the next restart.
!macro FreeFileFunction UN RELEASER
Function ${UN}FreeFile
  retry:
  StrCpy $Held 0
  ClearErrors
  Delete "$R0"
  IfFileExists "$R0" 0 done
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$R0 is in use by a program that did not close.$\r$\nClose it and choose Retry, or choose Cancel to have it replaced or removed when Windows restarts." /SD IDCANCEL IDCANCEL later
  ExecWait '"${RELEASER}" service release "$INSTDIR"'
  Goto retry
  later:
  DetailPrint "$R0 is in use: it is replaced or removed at the next restart."
  StrCpy $Held 1
  done:
FunctionEnd
!macroend
!insertmacro FreeFileFunction "" "$INSTDIR\btctl-setup.exe"
!insertmacro FreeFileFunction "un." "$INSTDIR\btctl.exe"

!macro PutFile NAME
  StrCpy $R0 "$INSTDIR\${NAME}"
  Call FreeFile
  ${If} $Held == 1
    File "/oname=$INSTDIR\${NAME}.new" "${STAGE}\${NAME}"
    Rename /REBOOTOK "$INSTDIR\${NAME}.new" "$INSTDIR\${NAME}"
  ${Else}
    File "/oname=$INSTDIR\${NAME}" "${STAGE}\${NAME}"
  ${EndIf}
!macroend

!macro RemoveFile NAME
  StrCpy $R0 "$INSTDIR\${NAME}"
  Call un.FreeFile
  ${If} $Held == 1
    Delete /REBOOTOK "$R0"
  ${EndIf}
!macroend

Section "Setup program, library and btctl" SecMain
  SectionIn RO
  ; The log-on watch of earlier versions: the service takes its place.
  DeleteRegValue HKLM "${RUN_KEY}" "${WATCH_VALUE}"
  !insertmacro SecureInstallFolder
  !insertmacro ReleaseInstalledFiles
  SetOutPath "$INSTDIR"
  !insertmacro PutFile Quorvex.exe
  !insertmacro PutFile Mendalix.dll
  !insertmacro PutFile Quorvex.txt
  !insertmacro PutFile btctl.exe
!ifdef X64
  ; The library for 64-bit applications, on 64-bit Windows only.
  ${If} ${RunningX64}
    CreateDirectory "$INSTDIR\x64"
    !insertmacro PutFile x64\Mendalix.dll
  ${EndIf}
!endif
  Delete "$INSTDIR\btctl-setup.exe"
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

; A file that was in use is replaced or removed at the next restart: the user is told, and a
; silent run ends with 3010, the Windows installers' "restart needed".
!macro RestartNeeded
  IfRebootFlag 0 +3
    MessageBox MB_OK|MB_ICONINFORMATION "Some files were in use: Windows must restart to finish." /SD IDOK
    SetErrorLevel 3010
!macroend
Function .onInstSuccess
  !insertmacro RestartNeeded
FunctionEnd
Function un.onUninstSuccess
  !insertmacro RestartNeeded
FunctionEnd

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
  ; The service (and its event source), console watches and the setup program go before the
  ; files.
  ExecWait '"$INSTDIR\btctl.exe" service uninstall'
  ExecWait '"$INSTDIR\btctl.exe" service release "$INSTDIR"' $0
  ${If} $0 != 0
    DetailPrint "Some programs of $INSTDIR did not end (btctl service release: $0)."
  ${EndIf}
  SetShellVarContext all
  RMDir /r "$APPDATA\Quorvex"   ; the service's log and metrics
  SetShellVarContext current
  !insertmacro RemoveFile Quorvex.exe
  !insertmacro RemoveFile Mendalix.dll
  !insertmacro RemoveFile Quorvex.txt
  !insertmacro RemoveFile btctl.exe
  !insertmacro RemoveFile x64\Mendalix.dll
  Delete "$INSTDIR\btctl-setup.exe"
  Delete "$INSTDIR\*.new"   ; an upgrade's files still waiting for a restart
  Delete "$INSTDIR\x64\*.new"
  RMDir "$INSTDIR\x64"
  RMDir /r "$INSTDIR\sdk"
  ; The library's copies of the settings that btctl made for each user (QuorvexWatch in the
  ; temporary folder) and the one of earlier services in the system's: the file, then the
  ; folder when nothing else is in it (nothing is followed through a link a user put there).
  Delete "$TEMP\QuorvexWatch\Quorvex.ini"
  RMDir "$TEMP\QuorvexWatch"
  Delete "$WINDIR\Temp\QuorvexWatch\Quorvex.ini"
  RMDir "$WINDIR\Temp\QuorvexWatch"
  StrCpy $1 0
  ${Do}
    EnumRegKey $2 HKLM "${PROFILES_KEY}" $1
    ${IfThen} $2 == "" ${|} ${ExitDo} ${|}
    ReadRegStr $3 HKLM "${PROFILES_KEY}\$2" "ProfileImagePath"
    ExpandEnvStrings $3 $3
    ${ForEach} $4 0 1 + 1
      ${If} $4 == 0
        StrCpy $5 "$3\AppData\Local\Temp\QuorvexWatch"
      ${Else}
        StrCpy $5 "$3\Local Settings\Temp\QuorvexWatch"
      ${EndIf}
      Delete "$5\Quorvex.ini"
      RMDir "$5"
    ${Next}
    IntOp $1 $1 + 1
  ${Loop}
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
  ; A file in use goes at the restart, and the folder after it unless the settings file stays.
  ${If} ${RebootFlag}
  ${AndIfNot} ${FileExists} "$INSTDIR\Quorvex.ini"
    RMDir /REBOOTOK "$INSTDIR"
  ${Else}
    RMDir "$INSTDIR"
  ${EndIf}
  DeleteRegValue HKLM "${RUN_KEY}" "${WATCH_VALUE}"
  ; The setup program's AutoRun entry would start a program that is gone.
  DeleteRegValue HKLM "${RUN_KEY}" "Quorvex"
  DeleteRegKey HKLM "${UNINST_KEY}"
  DeleteRegKey HKLM "Software\Quorvex"
SectionEnd
