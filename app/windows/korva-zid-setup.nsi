; The Windows setup, korva-zid-setup.exe: installs the program for the user
; who runs it, without administrator rights, into
; %LOCALAPPDATA%\Programs\korva-zid, with an entry in the Start menu and an
; uninstaller that Windows' "Installed apps" lists. The installed program
; keeps the user's files (config.ini, mods, rosters) in the user's own
; folders, %APPDATA%\korva-zid and %LOCALAPPDATA%\korva-zid, which the
; uninstaller never touches: it removes the files the setup put in place,
; one by one, and only folders that are empty then. /S installs and
; uninstalls without asking.
;
; Made by scripts/package-windows.sh:
;   makensis -DVERSION=x.y.z -DSTAGE=<folder> -DOUTFILE=<setup.exe> korva-zid-setup.nsi
; STAGE holds the program's files and files.nsh, which lists them
; (the macros InstallFiles and UninstallFiles).
Unicode true
; A 64-bit setup for the 64-bit program (and for wine prefixes without 32-bit
; support).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
BrandingText "Korva Quorin ZID ${VERSION}"

!define NAME "Korva Quorin ZID"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\korva-zid"

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\korva-zid"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${NAME}"
VIAddVersionKey /LANG=1033 "CompanyName" "Korva Quorin ZID team"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Korva Quorin ZID team"
VIAddVersionKey /LANG=1033 "FileDescription" "${NAME} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"

!include "MUI2.nsh"
!include "${STAGE}/files.nsh"

!define MUI_ICON "${STAGE}/korva-zid.ico"
!define MUI_UNICON "${STAGE}/korva-zid.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\korva-zid.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${NAME}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "Program"
  !insertmacro InstallFiles
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\korva-zid.exe" "" "$INSTDIR\korva-zid.exe" 0
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Korva Quorin ZID team"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\korva-zid.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Section "Uninstall"
  !insertmacro UninstallFiles
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${NAME}.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
