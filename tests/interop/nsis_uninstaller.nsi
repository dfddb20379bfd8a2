; An installer whose only work is to write an NSIS uninstaller beside itself (64-bit: the Wine
; here may have no 32-bit side). Run, the uninstaller copies itself to %TEMP% and exits at once;
; the copy then takes a few seconds, deletes the entry "NsisApp" and leaves uninstalled.txt in
; the uninstaller's folder.
Target amd64-unicode
Name "Nixora NSIS Interop"
OutFile "${OUT}"
RequestExecutionLevel user
SilentInstall silent

Section
  WriteUninstaller "$EXEDIR\uninst.exe"
SectionEnd

Section "Uninstall"
  Sleep 3000
  DeleteRegKey HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\NsisApp"
  FileOpen $0 "$INSTDIR\uninstalled.txt" w
  FileWrite $0 "done"
  FileClose $0
SectionEnd
