; What the Quenlor installer adds to CPack's NSIS script (cmake/WindowsPackage.cmake):
; the refusal of Windows older than Qt 6 supports, and the size shown in "Apps".
!include LogicLib.nsh
!include WinVer.nsh
!include FileFunc.nsh

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

; The installed folder's size in KiB, for the "Apps" list.
!macro QuenlorWriteEstimatedSize
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD SHCTX "Software\Microsoft\Windows\CurrentVersion\Uninstall\${QUENLOR_UNINSTALL_KEY}" "EstimatedSize" "$0"
!macroend
