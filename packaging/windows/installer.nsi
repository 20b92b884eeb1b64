; The Windows installer: the programs and the examples in Program Files, Start-menu
; entries with the tool's icon for the three windowed ones (sonavelle-cli.exe is run from a
; console), an uninstaller, and the entry in Programs and Features.
; Made by the sv-windows-packages target (cmake/WindowsApp.cmake):
;   makensis -DVERSION=1.8.0 -DSTAGE=<folder with the programs> -DICON=<.ico> -DOUTFILE=<.exe>
; /S installs or uninstalls silently.
Unicode true
; A 64-bit installer for 64-bit programs: it sees the real Program Files and registry.
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"

!define APP "Sonavelle Customize"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\SonavelleCustomize"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${APP} installer"
VIAddVersionKey "CompanyName" "Sonavelle"
VIAddVersionKey "LegalCopyright" "Sonavelle"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\sonavelle-customize.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}/sonavelle-customize.exe"
  File "${STAGE}/sonavelle-demo.exe"
  File "${STAGE}/sonavelle-cli.exe"
  File "${STAGE}/sonavelle-fleet.exe"
  File /r "${STAGE}/examples"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\sonavelle-customize.exe" "" \
    "$INSTDIR\sonavelle-customize.exe" 0
  CreateShortcut "$SMPROGRAMS\${APP} Demo.lnk" "$INSTDIR\sonavelle-demo.exe" "" \
    "$INSTDIR\sonavelle-demo.exe" 0
  CreateShortcut "$SMPROGRAMS\${APP} Fleet.lnk" "$INSTDIR\sonavelle-fleet.exe" "" \
    "$INSTDIR\sonavelle-fleet.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Sonavelle"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\sonavelle-customize.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only what the installer put there goes: the folder may have been one the user chose.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${APP}.lnk"
  Delete "$SMPROGRAMS\${APP} Demo.lnk"
  Delete "$SMPROGRAMS\${APP} Fleet.lnk"
  Delete "$INSTDIR\sonavelle-customize.exe"
  Delete "$INSTDIR\sonavelle-demo.exe"
  Delete "$INSTDIR\sonavelle-cli.exe"
  Delete "$INSTDIR\sonavelle-fleet.exe"
  RMDir /r "$INSTDIR\examples"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
