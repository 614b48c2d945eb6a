; What the Quenlor installer adds to CPack's NSIS script (cmake/WindowsPackage.cmake):
; its version information; the refusal of Windows older than Qt 6 supports; an upgrade that
; asks, naming the installed version, and keeps its folder; and the "Apps" entry's further
; values.
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

!define QUENLOR_APPS_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${QUENLOR_UNINSTALL_KEY}"

; The installed version's folder, where the upgrade installs and the old uninstaller ran.
Var QuenlorInstalledFolder

; In .onInit, $0 holding the installed version's UninstallString: the question names that
; version and its folder, in French and English; /S answers yes. Unless /D= named another
; folder, the new version goes into the installed one's: its InstallLocation, else the folder
; of its uninstaller. Jumps to the script's labels uninst (yes) and inst (no).
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
  ${If} $INSTDIR == "$PROGRAMFILES64\Quenlor"
    StrCpy $INSTDIR $QuenlorInstalledFolder
  ${EndIf}
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
