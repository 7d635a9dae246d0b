; SPDX-License-Identifier: MIT
; The Windows setup program: the program, the library with its header and
; import library, the help page, a Start-menu entry and an uninstaller, for
; the current user (no administrator rights needed) or for every user.
; makensis -DVERSION=x.y.z -DARCH=win64|win32 -DSTAGE=<folder> -DOUTFILE=<setup.exe>
; where STAGE holds quendle.exe, quendle_d.dll, quendle_d.h, libquendle_d.dll.a,
; wizards.html, quendle.ini, README.txt and LICENSE.txt.

Unicode true
!if "${ARCH}" == "win64"
    Target amd64-unicode
!else
    Target x86-unicode
!endif

!define PRODUCT "Quendle"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quendle"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "LegalCopyright" "MIT License"

; Per-user by default, into %LOCALAPPDATA%\Programs; /AllUsers (with
; administrator rights) installs into Program Files for everyone.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_INSTALLMODE_DEFAULT_CURRENTUSER
!if "${ARCH}" == "win64"
    !define MULTIUSER_USE_PROGRAMFILES64
!endif
!include MultiUser.nsh
!include MUI2.nsh

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\quendle.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
    !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
    !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "Quendle" SectionMain
    SectionIn RO
    SetOutPath "$INSTDIR"
    File "${STAGE}\quendle.exe"
    File "${STAGE}\quendle_d.dll"
    File "${STAGE}\wizards.html"
    File "${STAGE}\README.txt"
    File "${STAGE}\LICENSE.txt"
    ; A user's own settings live in the application-data folder; the INI
    ; beside the program only gives defaults, so an update may replace it.
    File "${STAGE}\quendle.ini"
    SetOutPath "$INSTDIR\sdk"
    File "${STAGE}\quendle_d.h"
    File "${STAGE}\libquendle_d.dll.a"

    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\quendle.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} help.lnk" "$INSTDIR\wizards.html"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\Uninstall.exe"

    ; SHCTX is HKCU for a per-user install and HKLM for everyone.
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PRODUCT} developers"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quendle.exe"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    Delete "$INSTDIR\quendle.exe"
    Delete "$INSTDIR\quendle_d.dll"
    Delete "$INSTDIR\wizards.html"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\quendle.ini"
    Delete "$INSTDIR\sdk\quendle_d.h"
    Delete "$INSTDIR\sdk\libquendle_d.dll.a"
    RMDir "$INSTDIR\sdk"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} help.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
