; Per-user installer: no administrator rights, everything under the user's
; own folders and registry hive.
Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include "MUI2.nsh"

!ifndef VERSION
  !error "VERSION must be defined"
!endif
!define PRODUCT "Clipvane"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Clipvane"
!define ID_TRAY_EXIT 901

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

; A running copy is asked to quit the way its tray menu's "Выход" does, so
; its file can be replaced or removed.
!macro CloseRunningCopy
  FindWindow $0 "ClipvaneMain"
  StrCmp $0 0 +3
    SendMessage $0 ${WM_COMMAND} ${ID_TRAY_EXIT} 0 /TIMEOUT=5000
    Sleep 1000
!macroend

Section "Clipvane" SecMain
  SectionIn RO
  SetShellVarContext current
  !insertmacro CloseRunningCopy
  SetOutPath "$INSTDIR"
  File "/oname=Clipvane.exe" "${EXE}"
  File "/oname=Прочтите.txt" "${README}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Clipvane.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Clipvane.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section /o "Запускать вместе с Windows" SecStartup
  SetShellVarContext current
  CreateShortcut "$SMSTARTUP\${PRODUCT}.lnk" "$INSTDIR\Clipvane.exe"
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  !insertmacro CloseRunningCopy
  Delete "$INSTDIR\Clipvane.exe"
  Delete "$INSTDIR\Прочтите.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$SMSTARTUP\${PRODUCT}.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; The settings hold the link to the user's profile and the history of
  ; shots: they stay unless the user says otherwise.
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON1 \
    "Сохранить настройки и историю снимков Clipvane?$\r$\nОни пригодятся, если вы установите программу снова." \
    /SD IDYES IDYES keep
    RMDir /r "$LOCALAPPDATA\Clipvane"
  keep:
SectionEnd
