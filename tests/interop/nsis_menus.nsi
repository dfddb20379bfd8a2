; A 32-bit NSIS installer of the program ${NAME}: it copies itself as the program, writes an
; uninstaller, Start Menu shortcuts to both, a desktop shortcut, a file association for
; .${EXT} and its Add/Remove Programs entry. Wine's menu builder turns the shortcuts into menu
; entries and a desktop link. The uninstaller removes what the installer made, shortcuts first.
Target x86-unicode
Name "${NAME}"
OutFile "${OUT}"
RequestExecutionLevel user
SilentInstall silent
InstallDir "$PROGRAMFILES\${NAME}"

!define ENTRY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"

Section
  SetOutPath "$INSTDIR"
  CopyFiles /SILENT "$EXEPATH" "$INSTDIR\program.exe"
  WriteUninstaller "$INSTDIR\uninst.exe"
  CreateDirectory "$SMPROGRAMS\${NAME}"
  CreateShortCut "$SMPROGRAMS\${NAME}\${NAME}.lnk" "$INSTDIR\program.exe"
  CreateShortCut "$SMPROGRAMS\${NAME}\Uninstall ${NAME}.lnk" "$INSTDIR\uninst.exe"
  CreateShortCut "$DESKTOP\${NAME}.lnk" "$INSTDIR\program.exe"
  WriteRegStr HKCR ".${EXT}" "" "${EXT}.Document"
  WriteRegStr HKCR "${EXT}.Document\shell\open\command" "" '"$INSTDIR\program.exe" "%1"'
  WriteRegStr HKLM "${ENTRY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${ENTRY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${ENTRY}" "UninstallString" '"$INSTDIR\uninst.exe" /S'
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${NAME}\${NAME}.lnk"
  Delete "$SMPROGRAMS\${NAME}\Uninstall ${NAME}.lnk"
  RMDir "$SMPROGRAMS\${NAME}"
  Delete "$DESKTOP\${NAME}.lnk"
  DeleteRegKey HKCR ".${EXT}"
  DeleteRegKey HKCR "${EXT}.Document"
  DeleteRegKey HKLM "${ENTRY}"
  Delete "$INSTDIR\program.exe"
  Delete "$INSTDIR\uninst.exe"
  RMDir "$INSTDIR"
SectionEnd
