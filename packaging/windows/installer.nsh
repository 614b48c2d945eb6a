; What the Quenlor installer adds to CPack's NSIS script (cmake/WindowsPackage.cmake):
; its version information; the refusal of Windows older than Qt 6 supports; the refusal to
; change a folder whose programs run; an upgrade that asks, naming the installed version, and
; keeps its folder unless /D= names one; and the "Apps" entry's further values.
;
; Exit codes, of the installer and the uninstaller alike: 0 done; 1 cancelled on a page;
; 2 cancelled at the upgrade question, or the installed version's uninstaller failed;
; 32 a program of the folder runs; 1150 Windows older than 10 1809 (installer only).
!include LogicLib.nsh
!include WinVer.nsh
!include FileFunc.nsh

; The version information its Properties and inventory tools show, as the programs carry it.
VIProductVersion "${QUENLOR_VERSION}.0"
VIFileVersion "${QUENLOR_VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Quenlor"
VIAddVersionKey /LANG=1033 "CompanyName" "${QUENLOR_PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "Quenlor ${QUENLOR_VERSION} installer"
VIAddVersionKey /LANG=1033 "FileVersion" "${QUENLOR_VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${QUENLOR_VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright 2026 the Quenlor maintainers"

; Windows 10 1809 is build 17763: older systems lack what Qt 6's DLLs import, and the program
; would end at once on a missing-DLL error. Run first in .onInit, before anything is done.
!define QUENLOR_OLD_WINDOWS_EXIT_CODE 1150 ; ERROR_OLD_WIN_VERSION
!macro QuenlorRefuseOldWindows
  ${IfNot} ${AtLeastBuild} 17763
    MessageBox MB_OK|MB_ICONSTOP "Quenlor a besoin de Windows 10 version 1809 ou plus récent, en 64 bits. Ce Windows est plus ancien : rien n'a été installé.$\n$\nQuenlor needs Windows 10 version 1809 or later, 64-bit. This Windows is older: nothing was installed." /SD IDOK
    SetErrorLevel ${QUENLOR_OLD_WINDOWS_EXIT_CODE}
    Quit
  ${EndIf}
!macroend

; A program that runs holds its .exe: Windows refuses to open it for writing
; (ERROR_SHARING_VIOLATION), as it refuses to replace or delete it, so the installer would
; leave a mix of old and new files and the uninstaller a folder no one knows. The .exe files
; themselves are asked, so a copy of any version is seen, also one without this check.
!define QUENLOR_RUNNING_EXIT_CODE 32 ; ERROR_SHARING_VIOLATION
Var QuenlorRunning

; Sets QuenlorRunning to the name of the first program of <folder> that runs, else "".
!macro QuenlorFindRunning folder
  StrCpy $QuenlorRunning ""
  !insertmacro QuenlorIsRunning "${folder}" quenlor.exe
  !insertmacro QuenlorIsRunning "${folder}" p06-read.exe
!macroend
!macro QuenlorIsRunning folder program
  ${If} $QuenlorRunning == ""
    ; GENERIC_WRITE, every sharing, OPEN_EXISTING: nothing is created or changed.
    System::Call 'kernel32::CreateFileW(w "${folder}\${program}", i 0x40000000, i 7, p 0, i 3, i 0, p 0) p .r8 ?e'
    Pop $9
    ${If} $8 != -1
      System::Call 'kernel32::CloseHandle(p r8)'
    ${ElseIf} $9 == 32
      StrCpy $QuenlorRunning "${program}"
    ${EndIf}
  ${EndIf}
!macroend

; Before anything in <folder> changes: while one of its programs runs, asks to close it and
; try again, in French and English; cancelled, or silent (/S), exits 32 with nothing changed.
!macro QuenlorRefuseWhileRunning folder
  ${Do}
    !insertmacro QuenlorFindRunning "${folder}"
    ${If} $QuenlorRunning == ""
      ${Break}
    ${EndIf}
    ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$QuenlorRunning est ouvert depuis ${folder}. Fermez-le, puis choisissez Réessayer ; Annuler ne change rien.$\n$\n$QuenlorRunning is running from ${folder}. Close it, then choose Retry; Cancel changes nothing." /SD IDCANCEL IDRETRY`
      SetErrorLevel ${QUENLOR_RUNNING_EXIT_CODE}
      Quit
    ${EndIf}
  ${Loop}
!macroend

; First thing in .onInit: with no InstallDir in the script, $INSTDIR is empty unless /D=
; named a folder, even the default one; only a folder not given follows an upgrade.
Var QuenlorFolderGiven
!macro QuenlorTakeFolder
  ${If} $INSTDIR == ""
    StrCpy $INSTDIR "$PROGRAMFILES64\Quenlor"
    StrCpy $QuenlorFolderGiven 0
  ${Else}
    StrCpy $QuenlorFolderGiven 1
  ${EndIf}
!macroend

!define QUENLOR_APPS_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${QUENLOR_UNINSTALL_KEY}"

; The installed version's folder, where the upgrade installs and the old uninstaller ran.
Var QuenlorInstalledFolder

; In .onInit, $0 holding the installed version's UninstallString: the question names that
; version and its folder, in French and English; /S answers yes. Unless /D= named a folder,
; the new version goes into the installed one's: its InstallLocation, else the folder of its
; uninstaller. Neither folder may have a program running. Jumps to the script's labels uninst
; (yes) and inst (no).
!macro QuenlorAskUpgrade
  ReadRegStr $4 HKLM "${QUENLOR_APPS_KEY}" "DisplayVersion"
  ReadRegStr $QuenlorInstalledFolder HKLM "${QUENLOR_APPS_KEY}" "InstallLocation"
  ${If} $QuenlorInstalledFolder == ""
    StrCpy $QuenlorInstalledFolder $0
    StrCpy $5 $QuenlorInstalledFolder 1
    ${If} $5 == '"'
      StrCpy $QuenlorInstalledFolder $QuenlorInstalledFolder "" 1
    ${EndIf}
    StrCpy $5 $QuenlorInstalledFolder 1 -1
    ${If} $5 == '"'
      StrCpy $QuenlorInstalledFolder $QuenlorInstalledFolder -1
    ${EndIf}
    StrLen $5 "\Uninstall.exe"
    StrCpy $QuenlorInstalledFolder $QuenlorInstalledFolder -$5
  ${EndIf}
  ${If} $QuenlorFolderGiven == 0
    StrCpy $INSTDIR $QuenlorInstalledFolder
  ${EndIf}
  !insertmacro QuenlorRefuseWhileRunning $QuenlorInstalledFolder
  !insertmacro QuenlorRefuseWhileRunning $INSTDIR
  MessageBox MB_YESNOCANCEL|MB_ICONEXCLAMATION "Quenlor $4 est déjà installé dans $QuenlorInstalledFolder.$\n$\nLe désinstaller avant d'installer Quenlor ${QUENLOR_VERSION} ?$\n$\nQuenlor $4 is already installed in $QuenlorInstalledFolder.$\n$\nUninstall it before installing Quenlor ${QUENLOR_VERSION}?" /SD IDYES IDYES uninst IDNO inst
  Abort
!macroend

; Right after the old uninstaller, which ran in its folder and could not delete itself: it goes,
; with its folder when that is now empty.
!macro QuenlorRemoveOldUninstaller
  ${IfNot} ${Errors}
    Delete "$QuenlorInstalledFolder\Uninstall.exe"
    RMDir "$QuenlorInstalledFolder"
    ClearErrors
  ${EndIf}
!macroend

; The "Apps" entry's values that CPack does not write, or writes as text: the installed folder,
; the silent uninstall's command, no modify or repair buttons (DWORD 1), and the installed
; folder's size in KiB.
!macro QuenlorWriteAppsEntry
  WriteRegStr SHCTX "${QUENLOR_APPS_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${QUENLOR_APPS_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD SHCTX "${QUENLOR_APPS_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${QUENLOR_APPS_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD SHCTX "${QUENLOR_APPS_KEY}" "EstimatedSize" "$0"
!macroend
