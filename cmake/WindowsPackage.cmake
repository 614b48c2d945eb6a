# The Windows deliverables, made by `cpack` in the cross build folder (make package-windows):
#   Quenlor-<version>-win64.zip   the program folder, ready to run from anywhere;
#   Quenlor-<version>-win64.exe   an NSIS installer with a Start-menu entry and an uninstaller.
# Both hold the same folder: the two programs, Qt's DLLs and plugins, and the compiler's
# runtime DLLs, which the programs share with Qt (one C++ runtime for all of them).

# The bench program is a window: no console beside it.
set_target_properties(quenlor PROPERTIES WIN32_EXECUTABLE ON)

install(TARGETS quenlor p06-read RUNTIME DESTINATION .)
foreach(module Core Gui Widgets)
    install(FILES $<TARGET_FILE:Qt6::${module}> DESTINATION .)
endforeach()
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
# The native style: windowsvista up to Qt 6.6, modernwindows from Qt 6.7 on (Debian 13's 6.8).
if(TARGET Qt6::QModernWindowsStylePlugin)
    install(FILES $<TARGET_FILE:Qt6::QModernWindowsStylePlugin> DESTINATION styles)
else()
    install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
endif()

# The compiler's runtime, where the compiler itself finds it.
set(QUENLOR_RUNTIME_DLLS "")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${dll_path}" OR NOT EXISTS "${dll_path}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
    endif()
    get_filename_component(dll_path "${dll_path}" REALPATH)
    list(APPEND QUENLOR_RUNTIME_DLLS "${dll_path}")
endforeach()
install(FILES ${QUENLOR_RUNTIME_DLLS} DESTINATION .)

# Debug sections are most of the size of Qt's DLLs: strip everything the folder holds.
if(NOT CMAKE_STRIP)
    message(FATAL_ERROR "no strip program for ${CMAKE_CXX_COMPILER}")
endif()
install(CODE "
    file(GLOB_RECURSE binaries \"\${CMAKE_INSTALL_PREFIX}/*.exe\" \"\${CMAKE_INSTALL_PREFIX}/*.dll\")
    foreach(binary \${binaries})
        execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${binary}\"
            RESULT_VARIABLE stripped)
        if(NOT stripped EQUAL 0)
            message(FATAL_ERROR \"could not strip \${binary}\")
        endif()
    endforeach()")

# Signing, when a certificate is given (scripts/build-windows.sh passes SIGN_PKCS12 and the
# rest): the two programs after their stripping, which would drop a signature; the uninstaller
# and the installer as NSIS writes them (nsis/signing.nsh, included by installer.nsh).
set(QUENLOR_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file of the code-signing certificate and key")
set(QUENLOR_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the PKCS#12 file's password")
set(QUENLOR_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server")
set(signing_nsh "")
if(QUENLOR_SIGN_PKCS12)
    find_program(OSSLSIGNCODE osslsigncode REQUIRED)
    set(sign_command "${PROJECT_SOURCE_DIR}/scripts/sign-windows.sh" "${OSSLSIGNCODE}"
        "${QUENLOR_SIGN_PKCS12}" "${QUENLOR_SIGN_PASSWORD_FILE}" "${QUENLOR_SIGN_TIMESTAMP_URL}")
    # Each argument quoted: an empty password file or URL keeps its place.
    list(JOIN sign_command "\" \"" quoted)
    install(CODE "
        execute_process(COMMAND \"${quoted}\"
            \"\${CMAKE_INSTALL_PREFIX}/quenlor.exe\" \"\${CMAKE_INSTALL_PREFIX}/p06-read.exe\"
            RESULT_VARIABLE signed)
        if(NOT signed EQUAL 0)
            message(FATAL_ERROR \"could not sign the programs\")
        endif()")
    set(signing_nsh "!uninstfinalize '\"${quoted}\" \"%1\"' = 0\n!finalize '\"${quoted}\" \"%1\"' = 0\n")
endif()
file(WRITE ${PROJECT_BINARY_DIR}/nsis/signing.nsh "; Written by cmake/WindowsPackage.cmake\n${signing_nsh}")

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME Quenlor)
set(CPACK_PACKAGE_VENDOR ${QUENLOR_PUBLISHER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Reads the type, serial number and versions of an Emetteur Radio TALVERN8 on the bench")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Quenlor)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Quenlor)
# Start menu: "Quenlor" in the folder Quenlor (below), beside the uninstaller's entry.
set(CPACK_PACKAGE_EXECUTABLES quenlor Quenlor)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME Quenlor)
set(CPACK_NSIS_PACKAGE_NAME "Quenlor ${PROJECT_VERSION}")
set(CPACK_NSIS_INSTALLED_ICON_NAME quenlor.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# The licence page shows the project's own terms, not CPack's placeholder.
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/packaging/copyright)
# The program's icon on the installer, the uninstaller and the "Apps" entry (DisplayIcon, from
# CPACK_NSIS_INSTALLED_ICON_NAME above); the installer's window sharp on a scaled screen.
set(CPACK_NSIS_MUI_ICON ${QUENLOR_ICON})
set(CPACK_NSIS_MUI_UNIICON ${QUENLOR_ICON})
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# A 64-bit installer for a 64-bit program: it also runs where only 64-bit Windows programs
# can, such as a 64-bit-only Wine. packaging/windows/installer.nsh holds what the installer
# adds to CPack's script (its path unquoted: CPack mangles quotes in these variables).
set(CPACK_NSIS_DEFINES "Target amd64-unicode
!define MUI_STARTMENUPAGE_DEFAULTFOLDER Quenlor
!define QUENLOR_UNINSTALL_KEY ${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}
!define QUENLOR_VERSION ${PROJECT_VERSION}
!define QUENLOR_PUBLISHER ${QUENLOR_PUBLISHER}
!include /CHARSET=UTF8 ${PROJECT_SOURCE_DIR}/packaging/windows/installer.nsh
!include ${PROJECT_BINARY_DIR}/nsis/signing.nsh")
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "!insertmacro QuenlorRefuseWhileRunning $INSTDIR")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "!insertmacro QuenlorWriteAppsEntry")

# CPack's own NSIS script, with what CPack offers no hook for: the Windows version checked and
# the folder taken first thing in .onInit, with no InstallDir, so that a /D= naming the default
# folder is seen; the upgrade's question and folder (installer.nsh); the uninstaller's refusal
# while a program of its folder runs; the empty publisher's key removed at the end of the
# uninstall. CPack takes the script from CPACK_MODULE_PATH before its own.
set(nsis_template ${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.template.in)
file(READ ${nsis_template} patched)
function(quenlor_patch_nsis what from to)
    string(REPLACE "${from}" "${to}" result "${patched}")
    if(result STREQUAL patched)
        message(FATAL_ERROR "${nsis_template} has no place for ${what}")
    endif()
    set(patched "${result}" PARENT_SCOPE)
endfunction()
quenlor_patch_nsis("the Windows version check" "Function .onInit\n"
    "Function .onInit\n  !insertmacro QuenlorRefuseOldWindows\n  !insertmacro QuenlorTakeFolder\n")
quenlor_patch_nsis("the default folder"
    "  InstallDir \"@CPACK_NSIS_INSTALL_ROOT@\\@CPACK_PACKAGE_INSTALL_DIRECTORY@\"\n"
    "  ; No InstallDir: QuenlorTakeFolder sets the default in .onInit.\n")
quenlor_patch_nsis("the uninstaller's check of running programs" "Function un.onInit\n"
    "Function un.onInit\n  !insertmacro QuenlorRefuseWhileRunning $INSTDIR\n")
# The question's text differs between CMake releases; it never holds a double quote.
string(REGEX REPLACE
    "  MessageBox MB_YESNOCANCEL\\|MB_ICONEXCLAMATION \\\\\n  \"[^\"]*\" \\\\\n  /SD IDYES IDYES uninst IDNO inst\n  Abort\n"
    "  !insertmacro QuenlorAskUpgrade\n" result "${patched}")
if(result STREQUAL patched)
    message(FATAL_ERROR "${nsis_template} has no place for the upgrade's question")
endif()
string(REGEX REPLACE "(\n  ExecWait '\"\\$0\" /S[^\n]*\n)"
    "\\1  !insertmacro QuenlorRemoveOldUninstaller\n" patched "${result}")
if(result STREQUAL patched)
    message(FATAL_ERROR "${nsis_template} has no place for the old uninstaller's removal")
endif()
quenlor_patch_nsis("the publisher's key"
    "  DeleteRegKey /ifempty SHCTX \"Software\\@CPACK_PACKAGE_VENDOR@\\@CPACK_PACKAGE_INSTALL_REGISTRY_KEY@\"\n\n  Push $INSTDIR\\bin"
    "  DeleteRegKey /ifempty SHCTX \"Software\\@CPACK_PACKAGE_VENDOR@\\@CPACK_PACKAGE_INSTALL_REGISTRY_KEY@\"\n  DeleteRegKey /ifempty SHCTX \"Software\\@CPACK_PACKAGE_VENDOR@\"\n\n  Push $INSTDIR\\bin")
file(WRITE ${PROJECT_BINARY_DIR}/nsis/NSIS.template.in "${patched}")
list(PREPEND CMAKE_MODULE_PATH ${PROJECT_BINARY_DIR}/nsis)
include(CPack)
