; The Windows setup program: both programs into Program Files\ZARVOUpdater, the service
; registered, a Start-menu entry for the dialog, and an uninstaller.
; Built by packaging/windows/CMakeLists.txt (`make windows`).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!define NAME "ZARVOUpdater"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\${NAME}"
!define DESCRIPTION "Keeps the host name at the dynamic-DNS provider pointing at this network's external IPv4 address."
; The access rules of the programs' own code (platform/AccessControl-win32.h): the folder may be
; changed by SYSTEM and the Administrators only, as the service runs its programs as LocalSystem;
; the settings file holds passwords and keeps rules of its own.
!define FOLDER_ACCESS "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)"
!define SETTINGS_ACCESS "D:P(A;;FA;;;SY)(A;;FA;;;BA)"

Name "${NAME} ${VERSION}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\${NAME}"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage components
UninstPage instfiles

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

; Gives the file or folder $1 the owner (if any) and the protected DACL of the SDDL text $2, the
; DACL passed on to what a folder holds; $0 is 0 or the error.
Function Protect
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w r2, i 1, *p .R0, p 0) i .R1 ?e'
  Pop $0
  StrCmp $R1 0 protected
  System::Call 'advapi32::GetSecurityDescriptorDacl(p R0, *i .R2, *p .R3, *i .R4) i .R1 ?e'
  Pop $0
  StrCmp $R1 0 free
  System::Call 'advapi32::GetSecurityDescriptorOwner(p R0, *p .R5, *i .R4) i .R1 ?e'
  Pop $0
  StrCmp $R1 0 free
  ; SE_FILE_OBJECT; DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, and
  ; OWNER_SECURITY_INFORMATION where the rules name an owner: a folder made beforehand by a user
  ; would stay that user's, who could put any rules back.
  StrCmp $R5 0 dacl_only
  System::Call 'advapi32::SetNamedSecurityInfoW(w r1, i 1, i 0x80000005, p R5, p 0, p R3, p 0) i .r0'
  Goto free
dacl_only:
  System::Call 'advapi32::SetNamedSecurityInfoW(w r1, i 1, i 0x80000004, p 0, p 0, p R3, p 0) i .r0'
free:
  System::Call 'kernel32::LocalFree(p R0)'
protected:
FunctionEnd

Section "Install"
  ; The rules come before the programs: a folder chosen outside Program Files may let every user
  ; change it. An earlier installation's settings file first, or the folder's rules would reach it.
  CreateDirectory "$INSTDIR"
  ; Earlier versions' writers left copies of the settings, named "ini<hex>.tmp", when killed
  ; mid-write; the folder's rules would make them readable by all users.
  Delete "$INSTDIR\ini*.tmp"
  IfFileExists "$INSTDIR\zarvoupdater.ini" 0 settings_protected
  StrCpy $1 "$INSTDIR\zarvoupdater.ini"
  StrCpy $2 "${SETTINGS_ACCESS}"
  Call Protect
  StrCmp $0 0 settings_protected
  MessageBox MB_ICONSTOP|MB_OK "The access rules of $1 could not be set (error $0)." /SD IDOK
  Abort
settings_protected:
  StrCpy $1 "$INSTDIR"
  StrCpy $2 "${FOLDER_ACCESS}"
  Call Protect
  StrCmp $0 0 folder_protected
  MessageBox MB_ICONSTOP|MB_OK "The access rules of $1 could not be set (error $0)." /SD IDOK
  Abort
folder_protected:
  SetOutPath "$INSTDIR"
  File "/oname=zarvoupdater.exe" "${SERVICE_EXE}"
  File "/oname=configure.exe" "${CONFIGURE_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; All users' Start menu; the dialog asks for elevation itself (its manifest), since the
  ; settings file beside it is writable by administrators only.
  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\${NAME}"
  CreateShortcut "$SMPROGRAMS\${NAME}\Configuration.lnk" "$INSTDIR\configure.exe"

  ; Interactively the program registers itself and its message box confirms it; a silent setup
  ; shows no window that waits for a person, so it makes the same registration itself.
  IfSilent register_silently
  ExecWait '"$INSTDIR\zarvoupdater.exe" -install' $0
  Goto registered
register_silently:
  ExecWait '"$SYSDIR\sc.exe" create ${NAME} binPath= "\"$INSTDIR\zarvoupdater.exe\"" type= own start= auto error= normal obj= LocalSystem DisplayName= ${NAME}' $0
  StrCmp $0 0 0 registered
  ExecWait `"$SYSDIR\sc.exe" description ${NAME} "${DESCRIPTION}"` $0
  StrCmp $0 0 0 registered
  ExecWait '"$SYSDIR\sc.exe" failure ${NAME} reset= 86400 actions= restart/1000/restart/1000/restart/1000' $0
  StrCmp $0 0 0 registered
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\zarvoupdater.exe"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7
registered:
  StrCmp $0 0 +2
  DetailPrint "The service ${NAME} could not be registered (status $0)."

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "-un.Programs"
  IfSilent unregister_silently
  ExecWait '"$INSTDIR\zarvoupdater.exe" -uninstall'
  Goto unregistered
unregister_silently:
  ; net waits until the service has stopped, so that its program can be deleted.
  ExecWait '"$SYSDIR\net.exe" stop ${NAME}'
  ExecWait '"$SYSDIR\sc.exe" delete ${NAME}'
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
unregistered:
  Delete "$INSTDIR\zarvoupdater.exe"
  Delete "$INSTDIR\configure.exe"
  Delete "$INSTDIR\uninstall.exe"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${NAME}\Configuration.lnk"
  RMDir "$SMPROGRAMS\${NAME}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; Only when empty: the settings file and the logs stay unless their removal was ticked.
  RMDir "$INSTDIR"
SectionEnd

Section /o "un.remove settings and logs"
  Delete "$INSTDIR\zarvoupdater.ini"
  ; Copies that a writer killed in the middle of a write left behind.
  Delete "$INSTDIR\zarvoupdater.ini.*.tmp"
  Delete "$INSTDIR\ini*.tmp"
  RMDir /r "$INSTDIR\log"
  RMDir "$INSTDIR"
SectionEnd
