; A 32-bit installer, as most NSIS installers are, whose only work is to write an NSIS
; uninstaller beside itself and its Add/Remove Programs entry "NsisApp" (in the 32-bit view, as
; a 32-bit installer's HKLM is). Run, the uninstaller copies itself to %TEMP% and exits at once;
; the copy then takes a few seconds, deletes the entry and leaves uninstalled.txt in the
; uninstaller's folder.
Target x86-unicode
Name "Nixora NSIS Interop"
OutFile "${OUT}"
RequestExecutionLevel user
SilentInstall silent

!define ENTRY "Software\Microsoft\Windows\CurrentVersion\Uninstall\NsisApp"

Section
  WriteUninstaller "$EXEDIR\uninst.exe"
  WriteRegStr HKLM "${ENTRY}" "DisplayName" "NsisApp App"
  WriteRegStr HKLM "${ENTRY}" "UninstallString" '"$EXEDIR\uninst.exe" /S'
SectionEnd

Section "Uninstall"
  Sleep 3000
  DeleteRegKey HKLM "${ENTRY}"
  FileOpen $0 "$INSTDIR\uninstalled.txt" w
  FileWrite $0 "done"
  FileClose $0
SectionEnd
